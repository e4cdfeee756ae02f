// The host emulator as the tests extend it: items whose size can lie and whose reads can come
// short, and a log of every call the plug-in made. Its services take the place of the emulator's
// truthful ones in every program that links it; messages stay the emulator's record.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "host_emulator/host.h"

namespace quillmend::host_emulator {
void PrintTo(const Message& message, std::ostream* out);
}

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

using HostMessage = host_emulator::Message;

// Forgets every item, call and message.
void ResetHost();

// Registers an item and returns the handle the plug-in will be given for it.
void* AddItem(ItemContent content);

ItemCalls CallsOn(void* item);

// Calls of any of the three services, on any item, since the last reset.
int HostCallCount();

// The messages since the last reset, as the host would show them, but for the lines that come
// with the plug-in's fixed messages: each failure's reason line (flags 0, beginning "Reason: ",
// right after "[ERROR] GhostScript conversion failed.") and the start-up line that names what
// converts (flags 0, beginning "Quillmend " and a version). A failure without exactly one reason
// line after it, or a reason line without a failure, stays visible among the messages, so that no
// expected list matches. AllHostMessages keeps every line.
std::vector<HostMessage> HostMessages();
std::vector<HostMessage> AllHostMessages();

// The reason lines since the last reset, one per failure, in order.
std::vector<std::u16string> ReasonLines();

// What one XWF_Read of `count` bytes at `offset` places from an item of this content.
std::uint32_t BytesServed(const ItemContent& content, std::int64_t offset, std::uint32_t count);

std::string ToUtf8(const std::u16string& text);

}  // namespace quillmend::test
