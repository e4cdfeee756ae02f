// A message to the host assembled in place from fixed texts, paths and numbers: no allocation,
// and a line too long for its buffer is cut short rather than overrun.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quillmend {

template <std::size_t kCapacity>
struct MessageLine {
  char16_t text[kCapacity] = {};
  std::size_t used = 0;

  void Add(const char16_t* part) {
    for (; *part != u'\0' && used + 1 < kCapacity; ++part) text[used++] = *part;
    text[used] = u'\0';
  }

  // Narrow text from a library (Ghostscript's product name): printable ASCII passes, anything
  // else shows as a question mark.
  void AddNarrow(const char* part) {
    for (; *part != '\0' && used + 1 < kCapacity; ++part) {
      const auto byte = static_cast<unsigned char>(*part);
      text[used++] = byte >= 0x20 && byte < 0x7F ? static_cast<char16_t>(byte) : u'?';
    }
    text[used] = u'\0';
  }

  void AddNumber(std::uint64_t number) {
    char16_t digits[20];
    std::size_t count = 0;
    do {
      digits[count++] = static_cast<char16_t>(u'0' + number % 10);
      number /= 10;
    } while (number > 0);
    while (count > 0 && used + 1 < kCapacity) text[used++] = digits[--count];
    text[used] = u'\0';
  }
};

}  // namespace quillmend
