#include "test_host.h"

#include <algorithm>
#include <deque>
#include <mutex>

namespace quillmend::host_emulator {

void PrintTo(const Message& message, std::ostream* out) {
  *out << "{\"" << Utf16ToUtf8(message.text.c_str()) << "\", flags " << message.flags << "}";
}

}  // namespace quillmend::host_emulator

namespace quillmend::test {

namespace {

struct Item {
  ItemContent content;
  ItemCalls calls;
};

// Items are addressed by their position; handles start above zero so none is null.
constexpr std::uintptr_t kFirstHandle = 0x1000;

std::mutex host_mutex;
std::deque<Item> items;
int call_count = 0;

Item* Find(void* handle) {
  const auto value = reinterpret_cast<std::uintptr_t>(handle);
  if (value < kFirstHandle || value - kFirstHandle >= items.size()) return nullptr;
  return &items[value - kFirstHandle];
}

host_emulator::Item InMemory(const ItemContent& content) {
  return {reinterpret_cast<const std::uint8_t*>(content.bytes.data()),
          static_cast<std::int64_t>(content.bytes.size())};
}

std::uint32_t Limited(const ItemContent& content, std::uint32_t count) {
  return content.read_limit ? std::min(count, *content.read_limit) : count;
}

std::int64_t GetSize(void* handle, void* option) {
  std::lock_guard lock(host_mutex);
  ++call_count;
  Item* found = Find(handle);
  if (found == nullptr) return -1;
  found->calls.get_size_options.push_back(option);
  if (found->content.reported_size) return *found->content.reported_size;
  return static_cast<std::int64_t>(found->content.bytes.size());
}

std::uint32_t Read(void* handle, std::int64_t offset, std::uint8_t* buffer, std::uint32_t count) {
  std::lock_guard lock(host_mutex);
  ++call_count;
  Item* found = Find(handle);
  if (found == nullptr) return 0;
  host_emulator::Item item = InMemory(found->content);
  const std::uint32_t returned =
      host_emulator::ReadItem(&item, offset, buffer, Limited(found->content, count));
  found->calls.reads.push_back(ReadCall{offset, count, returned});
  return returned;
}

void OutputMessage(const char16_t* text, std::uint32_t flags) {
  {
    std::lock_guard lock(host_mutex);
    ++call_count;
  }
  host_emulator::OutputMessage(text, flags);
}

[[maybe_unused]] const bool installed =
    (host_emulator::SetServices({GetSize, Read, OutputMessage}), true);

}  // namespace

void ResetHost() {
  std::lock_guard lock(host_mutex);
  items.clear();
  call_count = 0;
  host_emulator::ForgetMessages();
}

void* AddItem(ItemContent content) {
  std::lock_guard lock(host_mutex);
  items.push_back(Item{std::move(content), {}});
  return reinterpret_cast<void*>(kFirstHandle + items.size() - 1);
}

ItemCalls CallsOn(void* item) {
  std::lock_guard lock(host_mutex);
  const Item* found = Find(item);
  return found == nullptr ? ItemCalls{} : found->calls;
}

int HostCallCount() {
  std::lock_guard lock(host_mutex);
  return call_count;
}

namespace {

const std::u16string kFailure = u"[ERROR] GhostScript conversion failed.";
const std::u16string kReasonStart = u"Reason: ";
const std::u16string kStartupStart = u"Quillmend ";
const std::u16string kLoaded = u"Quillmend viewer X-Tension loaded.";

bool StartsWith(const std::u16string& text, const std::u16string& start) {
  return text.rfind(start, 0) == 0;
}

bool IsStartupLine(const HostMessage& message) {
  return message.flags == 0 && message.text != kLoaded && StartsWith(message.text, kStartupStart);
}

// The messages split into the design's own and the reason lines; start-up lines are left out.
struct SortedMessages {
  std::vector<HostMessage> own;
  std::vector<std::u16string> reasons;
};

SortedMessages Sort() {
  SortedMessages sorted;
  // Concurrent views may interleave their lines: each reason line must answer a failure before
  // it that has none yet, and every failure must have one. A reason line with no failure before
  // it stays among the messages, where it shows.
  int unanswered = 0;
  for (const HostMessage& message : host_emulator::Messages()) {
    if (IsStartupLine(message)) continue;
    if (unanswered > 0 && message.flags == 0 && StartsWith(message.text, kReasonStart)) {
      --unanswered;
      sorted.reasons.push_back(message.text);
      continue;
    }
    sorted.own.push_back(message);
    if (message.text == kFailure) ++unanswered;
  }
  // So does a failure without its reason line: no expected list holds this.
  if (unanswered != 0) sorted.own.push_back({u"(a failure without its reason line)", 0});
  return sorted;
}

}  // namespace

std::vector<HostMessage> HostMessages() {
  return Sort().own;
}

std::vector<HostMessage> AllHostMessages() {
  return host_emulator::Messages();
}

std::vector<std::u16string> ReasonLines() {
  return Sort().reasons;
}

std::uint32_t BytesServed(const ItemContent& content, std::int64_t offset, std::uint32_t count) {
  return host_emulator::BytesAt(InMemory(content), offset, Limited(content, count));
}

std::string ToUtf8(const std::u16string& text) {
  return host_emulator::Utf16ToUtf8(text.c_str());
}

}  // namespace quillmend::test
