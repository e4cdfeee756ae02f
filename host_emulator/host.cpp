#include "host.h"

#include <algorithm>
#include <cstring>
#include <mutex>

namespace quillmend::host_emulator {

namespace {

// Constant-initialized, so a program may replace them from its own static initializers.
HostServices services = {GetItemSize, ReadItem, OutputMessage};
MessageSink message_sink = nullptr;

std::mutex messages_mutex;
std::vector<Message> messages;

bool IsHighSurrogate(char32_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLowSurrogate(char32_t unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}

void AppendUtf8(char32_t code, std::string* out) {
  if (code < 0x80) {
    out->push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (code >> 6)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else if (code < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (code >> 12)));
    out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (code >> 18)));
    out->push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
}

}  // namespace

std::uint32_t BytesAt(const Item& item, std::int64_t offset, std::uint32_t count) {
  if (offset < 0 || offset >= item.size) return 0;
  return static_cast<std::uint32_t>(std::min<std::int64_t>(count, item.size - offset));
}

std::int64_t GetItemSize(void* item, void* /*option*/) {
  if (item == nullptr) return -1;
  return static_cast<const Item*>(item)->size;
}

std::uint32_t ReadItem(void* item, std::int64_t offset, std::uint8_t* buffer, std::uint32_t count) {
  if (item == nullptr || buffer == nullptr) return 0;
  const Item& served = *static_cast<const Item*>(item);
  const std::uint32_t placed = BytesAt(served, offset, count);
  if (placed > 0) std::memcpy(buffer, served.bytes + offset, placed);
  return placed;
}

void OutputMessage(const char16_t* text, std::uint32_t flags) {
  if (message_sink != nullptr) {
    message_sink(text, flags);
    return;
  }
  std::lock_guard lock(messages_mutex);
  messages.push_back(Message{text == nullptr ? u"(null)" : std::u16string(text), flags});
}

void SetServices(const HostServices& replacement) {
  services = replacement;
}

const HostServices& Services() {
  return services;
}

void SetMessageSink(MessageSink sink) {
  message_sink = sink;
}

std::vector<Message> Messages() {
  std::lock_guard lock(messages_mutex);
  return messages;
}

void ForgetMessages() {
  std::lock_guard lock(messages_mutex);
  messages.clear();
}

std::string Utf16ToUtf8(const char16_t* text) {
  std::string out;
  if (text == nullptr) return out;
  for (std::size_t i = 0; text[i] != u'\0'; ++i) {
    char32_t code = text[i];
    // At the end of the text the next unit is the terminator, which is no low surrogate.
    if (IsHighSurrogate(code) && IsLowSurrogate(text[i + 1])) {
      code = 0x10000 + ((code - 0xD800) << 10) + (static_cast<char32_t>(text[i + 1]) - 0xDC00);
      ++i;
    } else if (IsHighSurrogate(code) || IsLowSurrogate(code)) {
      code = 0xFFFD;
    }
    AppendUtf8(code, &out);
  }
  return out;
}

}  // namespace quillmend::host_emulator
