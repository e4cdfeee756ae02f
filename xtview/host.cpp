#include "host.h"

#include <atomic>
#include <mutex>
#include <string>

#include "console.h"

namespace xtview {

namespace {

std::atomic<bool> quiet_messages = false;

constexpr char kErrorPrefix[] = "[ERROR]";
constexpr char kReasonPrefix[] = "Reason: ";
constexpr char kStartupPrefix[] = "Quillmend ";
constexpr char kLoaded[] = "Quillmend viewer X-Tension loaded.";

thread_local std::string failure_reason;
std::mutex startup_lock;
std::string startup_line;

// Keeps the plain lines that follow the plug-in's messages: a view's reason, and the start-up
// line.
void Remember(const std::string& text, std::uint32_t flags) {
  if (flags != 0) return;
  if (text.rfind(kReasonPrefix, 0) == 0) {
    failure_reason = text.substr(sizeof(kReasonPrefix) - 1);
  } else if (text.rfind(kStartupPrefix, 0) == 0 && text != kLoaded) {
    const std::lock_guard guard(startup_lock);
    startup_line = text;
  }
}

void PrintMessage(const char16_t* message, std::uint32_t flags) {
  const std::string text = quillmend::host_emulator::Utf16ToUtf8(message);
  Remember(text, flags);
  if (quiet_messages && text.rfind(kErrorPrefix, 0) != 0) return;
  console::Print(sys::Stream::Out, "plug-in (flags " + std::to_string(flags) + "): " + text);
}

}  // namespace

std::string TakeFailureReason() {
  std::string reason = std::move(failure_reason);
  failure_reason.clear();
  return reason;
}

std::string PluginStartupLine() {
  const std::lock_guard guard(startup_lock);
  return startup_line;
}

void SetQuietMessages(bool quiet) {
  quiet_messages = quiet;
  quillmend::host_emulator::SetMessageSink(PrintMessage);
}

}  // namespace xtview
