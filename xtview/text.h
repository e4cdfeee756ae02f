// Text conversions between the host's UTF-16, the console's UTF-8 and file system paths.
#pragma once

#include <filesystem>
#include <string>

namespace xtview {

// UTF-16 text up to its terminator as UTF-8; an unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(const char16_t* text);

std::filesystem::path PathFromUtf8(const std::string& text);
std::string PathToUtf8(const std::filesystem::path& path);

}  // namespace xtview
