#include "console_capture.h"

#include <cstring>

namespace quillmend {

namespace {

// Ghostscript's own phrases, as releases 10.0.0 to 10.05.1 print them.
constexpr char kPasswordPhrase[] = "requires a password";
constexpr char kUnreadablePhrases[][32] = {"Couldn't initialise file", "Catalog dictionary not"};
constexpr char kOutOfMemoryPhrase[] = "VMerror";

bool Contains(const char* text, std::size_t length, const char* phrase) {
  const std::size_t phrase_length = std::strlen(phrase);
  for (std::size_t at = 0; at + phrase_length <= length; ++at) {
    if (std::memcmp(text + at, phrase, phrase_length) == 0) return true;
  }
  return false;
}

void Search(ConsoleCapture* capture, const char* text, std::size_t length) {
  capture->password = capture->password || Contains(text, length, kPasswordPhrase);
  for (const char* phrase : kUnreadablePhrases) {
    capture->unreadable = capture->unreadable || Contains(text, length, phrase);
  }
  capture->out_of_memory = capture->out_of_memory || Contains(text, length, kOutOfMemoryPhrase);
}

}  // namespace

int ReadNoConsoleInput(void*, char*, int) {
  return 0;
}

int CaptureConsoleOutput(void* handle, const char* text, int length) {
  auto* capture = static_cast<ConsoleCapture*>(handle);
  if (capture == nullptr || text == nullptr || length <= 0) return length < 0 ? 0 : length;
  const auto size = static_cast<std::size_t>(length);
  // A phrase split between two writes: the carried end of the last one, then the start of this.
  char joined[2 * kConsoleCarry];
  const std::size_t head = size < kConsoleCarry ? size : kConsoleCarry;
  std::memcpy(joined, capture->carry, capture->carried);
  std::memcpy(joined + capture->carried, text, head);
  Search(capture, joined, capture->carried + head);
  Search(capture, text, size);
  if (size >= kConsoleCarry) {
    std::memcpy(capture->carry, text + size - kConsoleCarry, kConsoleCarry);
    capture->carried = kConsoleCarry;
  } else {
    // The carry keeps its last kConsoleCarry bytes.
    const std::size_t keep =
        capture->carried + size > kConsoleCarry ? kConsoleCarry - size : capture->carried;
    std::memmove(capture->carry, capture->carry + capture->carried - keep, keep);
    std::memcpy(capture->carry + keep, text, size);
    capture->carried = keep + size;
  }
  return length;
}

FailureReason ReasonFromConsole(const ConsoleCapture& capture) {
  if (capture.password) return FailureReason::kPasswordRequired;
  if (capture.out_of_memory) return FailureReason::kOutOfMemory;
  if (capture.unreadable) return FailureReason::kUnreadable;
  return FailureReason::kUnknown;
}

}  // namespace quillmend
