#include "utf16.h"

#include <cstdint>

namespace quillmend::os::posix {

namespace {

bool IsHighSurrogate(char32_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLowSurrogate(char32_t unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}

// The code point at text[*i], advancing *i past it; 0xFFFFFFFF for an unpaired surrogate.
char32_t NextCodePoint(const char16_t* text, std::size_t* i) {
  const char32_t unit = text[(*i)++];
  if (IsHighSurrogate(unit)) {
    const char32_t low = text[*i];
    if (!IsLowSurrogate(low)) return 0xFFFFFFFF;
    ++*i;
    return 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
  }
  if (IsLowSurrogate(unit)) return 0xFFFFFFFF;
  return unit;
}

int EncodedLength(char32_t code_point) {
  if (code_point < 0x80) return 1;
  if (code_point < 0x800) return 2;
  if (code_point < 0x10000) return 3;
  return 4;
}

}  // namespace

long Utf8Length(const char16_t* text) {
  long length = 0;
  for (std::size_t i = 0; text[i] != u'\0';) {
    const char32_t code_point = NextCodePoint(text, &i);
    if (code_point == 0xFFFFFFFF) return -1;
    length += EncodedLength(code_point);
  }
  return length;
}

void EncodeUtf8(const char16_t* text, char* out) {
  auto* bytes = reinterpret_cast<unsigned char*>(out);
  for (std::size_t i = 0; text[i] != u'\0';) {
    const char32_t c = NextCodePoint(text, &i);
    switch (EncodedLength(c)) {
      case 1:
        *bytes++ = static_cast<unsigned char>(c);
        break;
      case 2:
        *bytes++ = static_cast<unsigned char>(0xC0 | (c >> 6));
        *bytes++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
        break;
      case 3:
        *bytes++ = static_cast<unsigned char>(0xE0 | (c >> 12));
        *bytes++ = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
        *bytes++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
        break;
      default:
        *bytes++ = static_cast<unsigned char>(0xF0 | (c >> 18));
        *bytes++ = static_cast<unsigned char>(0x80 | ((c >> 12) & 0x3F));
        *bytes++ = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
        *bytes++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
        break;
    }
  }
  *bytes = '\0';
}

bool ToUtf8(const char16_t* text, char* out, std::size_t capacity) {
  const long length = Utf8Length(text);
  if (length < 0 || static_cast<std::size_t>(length) >= capacity) return false;
  EncodeUtf8(text, out);
  return true;
}

bool FromUtf8(const char* text, char16_t* out, std::size_t capacity) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text);
  std::size_t used = 0;
  while (*bytes != '\0') {
    char32_t c = 0;
    int continuation = 0;
    char32_t minimum = 0;
    if (*bytes < 0x80) {
      c = *bytes;
    } else if ((*bytes & 0xE0) == 0xC0) {
      c = *bytes & 0x1F, continuation = 1, minimum = 0x80;
    } else if ((*bytes & 0xF0) == 0xE0) {
      c = *bytes & 0x0F, continuation = 2, minimum = 0x800;
    } else if ((*bytes & 0xF8) == 0xF0) {
      c = *bytes & 0x07, continuation = 3, minimum = 0x10000;
    } else {
      return false;
    }
    ++bytes;
    for (int k = 0; k < continuation; ++k, ++bytes) {
      if ((*bytes & 0xC0) != 0x80) return false;
      c = (c << 6) | (*bytes & 0x3F);
    }
    // Overlong forms, surrogates and values past Unicode are not text.
    if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
    const std::size_t units = c >= 0x10000 ? 2 : 1;
    if (used + units + 1 > capacity) return false;
    if (units == 2) {
      out[used++] = static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      out[used++] = static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      out[used++] = static_cast<char16_t>(c);
    }
  }
  if (used + 1 > capacity) return false;
  out[used] = u'\0';
  return true;
}

}  // namespace quillmend::os::posix
