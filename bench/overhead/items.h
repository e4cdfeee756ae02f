// The items the overhead is measured on: PDF-shaped blocks of a chosen size, or files read whole.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

namespace quillmend::bench {

// `size` bytes that begin with a PDF header and go on with bytes from a fixed pseudo-random
// sequence, which no step can compress or skip.
std::vector<std::uint8_t> MakePdfShapedBytes(std::size_t size);

// The whole file; false when it cannot be read.
bool ReadWholeFile(const std::filesystem::path& file, std::vector<std::uint8_t>* bytes);

}  // namespace quillmend::bench
