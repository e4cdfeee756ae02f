#include "fuzz_host.h"

#include <algorithm>
#include <cstring>

namespace quillmend::fuzz {

namespace {

// Fuzz programs run one input at a time on one thread: plain globals suffice.
HostItem served;
std::vector<HostMessage> messages;
int calls = 0;
char handle_anchor;

}  // namespace

void ServeItem(const HostItem& item) {
  served = item;
  messages.clear();
  calls = 0;
}

const std::vector<HostMessage>& Messages() {
  return messages;
}

int HostCalls() {
  return calls;
}

void* ItemHandle() {
  return &handle_anchor;
}

std::uint32_t BytesServedFor(const HostItem& item, std::uint32_t count) {
  std::uint64_t served_bytes = std::min<std::uint64_t>(count, item.length);
  if (item.read_limit) served_bytes = std::min<std::uint64_t>(served_bytes, *item.read_limit);
  return static_cast<std::uint32_t>(served_bytes);
}

}  // namespace quillmend::fuzz

using quillmend::fuzz::served;

extern "C" {

__attribute__((visibility("default"))) std::int64_t XWF_GetSize(void* item, void*) {
  ++quillmend::fuzz::calls;
  if (item != quillmend::fuzz::ItemHandle()) __builtin_trap();
  if (served.reported_size) return *served.reported_size;
  return static_cast<std::int64_t>(served.length);
}

__attribute__((visibility("default"))) std::uint32_t XWF_Read(void* item, std::int64_t offset,
                                                              std::uint8_t* buffer,
                                                              std::uint32_t count) {
  ++quillmend::fuzz::calls;
  // The plug-in reads only from the start of the item, and only for an item it was given.
  if (item != quillmend::fuzz::ItemHandle() || offset != 0) __builtin_trap();
  const std::uint32_t placed = quillmend::fuzz::BytesServedFor(served, count);
  if (placed > 0) std::memcpy(buffer, served.bytes, placed);
  return placed;
}

__attribute__((visibility("default"))) void XWF_OutputMessage(const char16_t* text,
                                                              std::uint32_t flags) {
  ++quillmend::fuzz::calls;
  quillmend::fuzz::messages.push_back({text == nullptr ? u"(null)" : text, flags});
}

}  // extern "C"
