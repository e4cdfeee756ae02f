#include <windows.h>

#include <atomic>

#include "platform/platform.h"

namespace quillmend::os {

namespace {

std::atomic<void (*)()> release_at_unload{nullptr};

}  // namespace

void CallWhenUnloaded(void (*release)()) {
  release_at_unload.store(release);
}

}  // namespace quillmend::os

// The C runtime's own entry point calls this after its set-up. Only FreeLibrary's detach
// (reserved null) releases anything: at process exit other threads have already been ended,
// possibly inside the lock, and the system takes back the whole address space.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
  if (reason != DLL_PROCESS_DETACH || reserved != nullptr) return TRUE;
  void (*release)() = quillmend::os::release_at_unload.load();
  if (release != nullptr) release();
  return TRUE;
}
