#include "host.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>
#include <type_traits>

#include "console.h"
#include "host/host_api.h"
#include "text.h"

namespace xtview {

namespace {

std::atomic<bool> quiet_messages = false;

constexpr char kErrorPrefix[] = "[ERROR]";

}  // namespace

void SetQuietMessages(bool quiet) {
  quiet_messages = quiet;
}

}  // namespace xtview

// The host declares the message text as wchar_t, which on Windows is one UTF-16 unit: the same
// argument layout as char16_t, which the plug-in uses on every platform.
extern "C" {

XTVIEW_EXPORT std::int64_t XWF_GetSize(void* hVolumeOrItem, void* /*lpOptional*/) {
  // A whole file has one size whichever of the host's size kinds is asked for.
  if (hVolumeOrItem == nullptr) return -1;
  return static_cast<const xtview::Item*>(hVolumeOrItem)->size;
}

XTVIEW_EXPORT std::uint32_t XWF_Read(void* hVolumeOrItem, std::int64_t Offset,
                                     std::uint8_t* lpBuffer, std::uint32_t nNumberOfBytesToRead) {
  if (hVolumeOrItem == nullptr || lpBuffer == nullptr) return 0;
  const auto* item = static_cast<const xtview::Item*>(hVolumeOrItem);
  if (Offset < 0 || Offset >= item->size) return 0;
  const std::int64_t count = std::min<std::int64_t>(nNumberOfBytesToRead, item->size - Offset);
  std::memcpy(lpBuffer, item->bytes + Offset, static_cast<std::size_t>(count));
  return static_cast<std::uint32_t>(count);
}

XTVIEW_EXPORT void XWF_OutputMessage(const char16_t* lpMessage, std::uint32_t nFlags) {
  const std::string text = xtview::Utf16ToUtf8(lpMessage);
  if (xtview::quiet_messages && text.rfind(xtview::kErrorPrefix, 0) != 0) return;
  xtview::console::Print(xtview::sys::Stream::Out,
                         "plug-in (flags " + std::to_string(nFlags) + "): " + text);
}

}  // extern "C"

// The exports must be exactly what the plug-in binds.
static_assert(std::is_same_v<decltype(&XWF_GetSize), quillmend::XwfGetSize>);
static_assert(std::is_same_v<decltype(&XWF_Read), quillmend::XwfRead>);
static_assert(std::is_same_v<decltype(&XWF_OutputMessage), quillmend::XwfOutputMessage>);
