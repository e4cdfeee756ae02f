#include "items.h"

#include <cstring>
#include <fstream>

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

bool ReadWholeFile(const std::filesystem::path& file, std::vector<std::uint8_t>* bytes) {
  std::ifstream stream(file, std::ios::binary);
  if (!stream) return false;
  stream.seekg(0, std::ios::end);
  const std::streamoff size = stream.tellg();
  if (size < 0) return false;
  stream.seekg(0);
  bytes->resize(static_cast<std::size_t>(size));
  return static_cast<bool>(stream.read(reinterpret_cast<char*>(bytes->data()), size));
}

}  // namespace quillmend::bench
