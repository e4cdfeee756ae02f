// The host a fuzz program plays: it exports the three host services from its own main program,
// serves one item at a time from memory and records what the plug-in told it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quillmend::fuzz {

struct HostItem {
  const std::uint8_t* bytes = nullptr;
  std::size_t length = 0;
  // What XWF_GetSize answers; the true length when empty.
  std::optional<std::int64_t> reported_size;
  // The most bytes one XWF_Read places, however many were asked for.
  std::optional<std::uint32_t> read_limit;
};

struct HostMessage {
  std::u16string text;
  std::uint32_t flags;
};

// Serves `item` until the next call; forgets earlier calls and messages.
void ServeItem(const HostItem& item);

// Every message since the last ServeItem.
const std::vector<HostMessage>& Messages();

// Calls of any host service since the last ServeItem.
int HostCalls();

// The handle the plug-in gets for the served item.
void* ItemHandle();

// What one XWF_Read call of `count` bytes at offset 0 places, as the host above answers it.
std::uint32_t BytesServedFor(const HostItem& item, std::uint32_t count);

}  // namespace quillmend::fuzz
