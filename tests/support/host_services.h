// The test host: what the three host services see and answer. The exported XWF_ functions of a
// test program (host_exports.cpp) forward here, so a test can serve items from memory, inject the
// host's faults and inspect every call the plug-in made.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace quillmend::test {

struct ItemContent {
  std::string bytes;
  // What XWF_GetSize answers instead of the true length: a lie (negative, short or huge).
  std::optional<std::int64_t> reported_size;
  // The most bytes a single XWF_Read places, however many were asked for.
  std::optional<std::uint32_t> read_limit;
};

struct ReadCall {
  std::int64_t offset;
  std::uint32_t requested;
  std::uint32_t returned;
};

struct ItemCalls {
  std::vector<void*> get_size_options;  // one entry per XWF_GetSize call
  std::vector<ReadCall> reads;
};

struct HostMessage {
  std::u16string text;
  std::uint32_t flags;
  bool operator==(const HostMessage&) const = default;
};
void PrintTo(const HostMessage& message, std::ostream* out);

// Forgets every item, call and message.
void ResetHost();

// Registers an item and returns the handle the plug-in will be given for it.
void* AddItem(ItemContent content);

ItemCalls CallsOn(void* item);

// Calls of any of the three services, on any item, since the last reset.
int HostCallCount();

std::vector<HostMessage> HostMessages();

std::string ToUtf8(const std::u16string& text);
std::u16string ToUtf16(const std::string& text);

// The bodies of the three services.
std::int64_t ServeGetSize(void* item, void* option);
std::uint32_t ServeRead(void* item, std::int64_t offset, std::uint8_t* buffer, std::uint32_t count);
void ServeOutputMessage(const char16_t* text, std::uint32_t flags);

}  // namespace quillmend::test
