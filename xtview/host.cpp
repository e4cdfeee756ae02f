#include "host.h"

#include <atomic>
#include <string>

#include "console.h"

namespace xtview {

namespace {

std::atomic<bool> quiet_messages = false;

constexpr char kErrorPrefix[] = "[ERROR]";

void PrintMessage(const char16_t* message, std::uint32_t flags) {
  const std::string text = quillmend::host_emulator::Utf16ToUtf8(message);
  if (quiet_messages && text.rfind(kErrorPrefix, 0) != 0) return;
  console::Print(sys::Stream::Out, "plug-in (flags " + std::to_string(flags) + "): " + text);
}

}  // namespace

void SetQuietMessages(bool quiet) {
  quiet_messages = quiet;
  quillmend::host_emulator::SetMessageSink(PrintMessage);
}

}  // namespace xtview
