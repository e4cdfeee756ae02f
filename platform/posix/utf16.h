// UTF-16 <-> UTF-8 for the POSIX side of the platform layer, where the system speaks bytes.
#pragma once

#include <cstddef>

#include "platform/platform.h"

namespace quillmend::os::posix {

// Bytes of the UTF-8 form of `text`, without terminator; -1 when `text` holds an unpaired
// surrogate and so names nothing.
long Utf8Length(const char16_t* text);

// Writes the UTF-8 form of `text` and a terminator into `out`, which has room for
// Utf8Length(text) + 1 bytes.
void EncodeUtf8(const char16_t* text, char* out);

// A path buffer's text in UTF-8 takes at most three bytes per UTF-16 unit (four per surrogate
// pair), terminator included.
inline constexpr std::size_t kNarrowPathCapacity = 3 * kPathCapacity;

// The UTF-8 form of `text` with its terminator in `out` (capacity bytes). False for an unpaired
// surrogate or when it does not fit.
bool ToUtf8(const char16_t* text, char* out, std::size_t capacity);

// Decodes UTF-8 `text` into `out` (capacity units, terminator included). False for text that is
// not valid UTF-8 or does not fit.
bool FromUtf8(const char* text, char16_t* out, std::size_t capacity);

}  // namespace quillmend::os::posix
