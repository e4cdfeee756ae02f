// Text conversions between the console's UTF-8 and file system paths.
#pragma once

#include <filesystem>
#include <string>

namespace xtview {

std::filesystem::path PathFromUtf8(const std::string& text);
std::string PathToUtf8(const std::filesystem::path& path);

}  // namespace xtview
