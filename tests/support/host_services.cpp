#include "host_services.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <mutex>

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
std::vector<HostMessage> messages;
int call_count = 0;

Item* Find(void* handle) {
  const auto value = reinterpret_cast<std::uintptr_t>(handle);
  if (value < kFirstHandle || value - kFirstHandle >= items.size()) return nullptr;
  return &items[value - kFirstHandle];
}

}  // namespace

void PrintTo(const HostMessage& message, std::ostream* out) {
  *out << "{\"" << ToUtf8(message.text) << "\", flags " << message.flags << "}";
}

void ResetHost() {
  std::lock_guard lock(host_mutex);
  items.clear();
  messages.clear();
  call_count = 0;
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

std::vector<HostMessage> HostMessages() {
  std::lock_guard lock(host_mutex);
  return messages;
}

std::int64_t ServeGetSize(void* item, void* option) {
  std::lock_guard lock(host_mutex);
  ++call_count;
  Item* found = Find(item);
  if (found == nullptr) return -1;
  found->calls.get_size_options.push_back(option);
  if (found->content.reported_size) return *found->content.reported_size;
  return static_cast<std::int64_t>(found->content.bytes.size());
}

std::uint32_t ServeRead(void* item, std::int64_t offset, std::uint8_t* buffer,
                        std::uint32_t count) {
  std::lock_guard lock(host_mutex);
  ++call_count;
  Item* found = Find(item);
  if (found == nullptr) return 0;
  const std::string& bytes = found->content.bytes;
  std::uint64_t available = 0;
  if (offset >= 0 && static_cast<std::uint64_t>(offset) < bytes.size()) {
    available = bytes.size() - static_cast<std::uint64_t>(offset);
  }
  std::uint64_t served = std::min<std::uint64_t>(count, available);
  if (found->content.read_limit)
    served = std::min<std::uint64_t>(served, *found->content.read_limit);
  if (served > 0) std::memcpy(buffer, bytes.data() + offset, served);
  const auto returned = static_cast<std::uint32_t>(served);
  found->calls.reads.push_back(ReadCall{offset, count, returned});
  return returned;
}

void ServeOutputMessage(const char16_t* text, std::uint32_t flags) {
  std::lock_guard lock(host_mutex);
  ++call_count;
  messages.push_back(HostMessage{text == nullptr ? u"(null)" : std::u16string(text), flags});
}

std::string ToUtf8(const std::u16string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size()) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::u16string ToUtf16(const std::string& text) {
  std::u16string out;
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  for (std::size_t i = 0; i < text.size();) {
    char32_t c = bytes[i];
    int continuation = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    if (continuation > 0) c &= 0x3F >> continuation;
    ++i;
    for (; continuation > 0 && i < text.size(); --continuation, ++i) {
      c = (c << 6) | (bytes[i] & 0x3F);
    }
    if (c >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
  }
  return out;
}

}  // namespace quillmend::test
