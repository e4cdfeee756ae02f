#include "items.h"

#include <cstring>

namespace quillmend::bench {

std::vector<std::uint8_t> MakePdfShapedBytes(std::size_t size) {
  static constexpr char kHeader[] = "%PDF-1.7\n%\xE2\xE3\xCF\xD3\n";
  std::vector<std::uint8_t> bytes(size);
  std::uint64_t state = 0x9E3779B97F4A7C15ULL;
  for (std::size_t i = 0; i < size; i += sizeof(state)) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    std::memcpy(bytes.data() + i, &state, std::min(sizeof(state), size - i));
  }
  std::memcpy(bytes.data(), kHeader, std::min(sizeof(kHeader) - 1, size));
  return bytes;
}

}  // namespace quillmend::bench
