// Another program's passing hold on a file: a virus scanner opens every new file in the temporary
// directory and may hold it for a few milliseconds without sharing it. Opening or deleting a
// staged file in that moment fails; those steps are tried again for up to about a quarter of a
// second, so that a scanner neither fails a view nor leaves a copy of the evidence behind.
#pragma once

#include <windows.h>

namespace quillmend::os {

// Waits between attempts: 255 ms in all.
inline constexpr DWORD kRetryDelaysMs[] = {5, 10, 20, 40, 80, 100};

// Errors another program's passing hold on a file gives.
inline bool IsPassingLock(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED ||
         error == ERROR_LOCK_VIOLATION;
}

// Makes `attempt` until it succeeds, fails with an error `passing` does not accept, or the delays
// run out.
template <typename Attempt, typename Passing>
bool Retrying(Attempt attempt, Passing passing) {
  for (const DWORD delay : kRetryDelaysMs) {
    if (attempt()) return true;
    if (!passing(GetLastError())) return false;
    Sleep(delay);
  }
  return attempt();
}

template <typename Attempt>
bool Retrying(Attempt attempt) {
  return Retrying(attempt, IsPassingLock);
}

}  // namespace quillmend::os
