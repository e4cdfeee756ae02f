// XWF_GetSize, XWF_Read and XWF_OutputMessage, exported from this program as the host exports
// them from its main program. The item handle is a pointer to an Item.
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "host_item.h"

namespace quillmend::bench {

namespace {

std::atomic<int> error_messages{0};

std::string Narrow(const char16_t* text) {
  std::string narrow;
  for (; *text != u'\0'; ++text) narrow += *text < 0x80 ? static_cast<char>(*text) : '?';
  return narrow;
}

}  // namespace

int ErrorMessageCount() {
  return error_messages.load();
}

}  // namespace quillmend::bench

extern "C" {

__attribute__((visibility("default"))) std::int64_t XWF_GetSize(void* hVolumeOrItem, void*) {
  return static_cast<const quillmend::bench::Item*>(hVolumeOrItem)->size;
}

__attribute__((visibility("default"))) std::uint32_t XWF_Read(void* hVolumeOrItem,
                                                              std::int64_t Offset,
                                                              std::uint8_t* lpBuffer,
                                                              std::uint32_t nNumberOfBytesToRead) {
  const auto* item = static_cast<const quillmend::bench::Item*>(hVolumeOrItem);
  if (Offset < 0 || Offset >= item->size) return 0;
  const std::int64_t left = item->size - Offset;
  const auto count = static_cast<std::uint32_t>(
      left < static_cast<std::int64_t>(nNumberOfBytesToRead) ? left : nNumberOfBytesToRead);
  std::memcpy(lpBuffer, item->bytes + Offset, count);
  return count;
}

__attribute__((visibility("default"))) void XWF_OutputMessage(const char16_t* lpMessage,
                                                              std::uint32_t nFlags) {
  const std::string text = quillmend::bench::Narrow(lpMessage);
  if (text.rfind("[ERROR]", 0) == 0) ++quillmend::bench::error_messages;
  std::fprintf(stderr, "plug-in (flags %u): %s\n", nFlags, text.c_str());
}

}  // extern "C"
