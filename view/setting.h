// The plug-in's own settings: environment variables read once, when the host loads it.
#pragma once

#include <cstdint>

namespace quillmend {

// Reads `text` (NUL-terminated) into `*value`: decimal digits only, from `lowest` to `highest`,
// stopping as soon as the number passes `highest`, so that no length wraps it. False otherwise,
// with `*value` untouched.
bool ParseWholeNumber(const char* text, std::uint64_t lowest, std::uint64_t highest,
                      std::uint64_t* value);

// Reads the whole-number setting `name` into `*value`. Unset, it is `fallback`, quietly. Decimal
// digits only, from `lowest` to `highest`, it is that number. Anything else is `fallback` too,
// and the answer is false, for the caller to report.
bool ReadWholeNumberSetting(const char* name, std::uint64_t lowest, std::uint64_t highest,
                            std::uint64_t fallback, std::uint64_t* value);

}  // namespace quillmend
