// What Ghostscript writes to its console during a conversion goes here instead of the process's
// own standard streams. It is never kept or passed on: it is only searched, as it arrives, for a
// few fixed phrases that tell why a document could not be converted.
#pragma once

#include <cstddef>

#include "failure_reason.h"

namespace quillmend {

// The longest phrase looked for, less one: what is kept of one write to find a phrase that the
// next completes.
inline constexpr std::size_t kConsoleCarry = 48;

struct ConsoleCapture {
  char carry[kConsoleCarry];
  std::size_t carried;
  bool password;       // "This file requires a password for access."
  bool unreadable;     // "Couldn't initialise file." or no catalogue
  bool out_of_memory;  // a VMerror
};

// The callbacks gsapi_set_stdio takes; `handle` is the ConsoleCapture given to
// gsapi_new_instance. Input is always at its end.
int ReadNoConsoleInput(void* handle, char* buffer, int length);
int CaptureConsoleOutput(void* handle, const char* text, int length);

// The reason the console tells for a run that converted no page, or kUnknown.
FailureReason ReasonFromConsole(const ConsoleCapture& capture);

}  // namespace quillmend
