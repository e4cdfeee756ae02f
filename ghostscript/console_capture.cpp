#include "console_capture.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace quillmend {

namespace {

// Ghostscript's own phrases, as releases 10.0.0 to 10.05.1 print them.
constexpr char kPasswordPhrase[] = "requires a password";
constexpr char kUnreadablePhrases[][32] = {"Couldn't initialise file", "Catalog dictionary not"};
constexpr char kOutOfMemoryPhrase[] = "VMerror";

bool Contains(const char* text, std::size_t length, const char* phrase) {
  return std::string_view(text, length).find(phrase) != std::string_view::npos;
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
  // Piece by piece behind the carried end of what came before, so that a phrase split between
  // two writes is found whole.
  for (std::size_t at = 0; at < size;) {
    const std::size_t piece = std::min(size - at, kConsoleCarry);
    char window[2 * kConsoleCarry];
    std::memcpy(window, capture->carry, capture->carried);
    std::memcpy(window + capture->carried, text + at, piece);
    const std::size_t filled = capture->carried + piece;
    Search(capture, window, filled);
    capture->carried = std::min(filled, kConsoleCarry);
    std::memcpy(capture->carry, window + filled - capture->carried, capture->carried);
    at += piece;
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
