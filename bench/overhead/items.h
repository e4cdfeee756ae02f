// The items the overhead is measured on, besides files: PDF-shaped blocks of a chosen size.
#pragma once

#include <cstdint>
#include <vector>

namespace quillmend::bench {

// `size` bytes that begin with a PDF header and go on with bytes from a fixed pseudo-random
// sequence, which no step can compress or skip.
std::vector<std::uint8_t> MakePdfShapedBytes(std::size_t size);

}  // namespace quillmend::bench
