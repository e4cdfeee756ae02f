#include "sha256.h"

#include "platform/platform.h"

namespace xtview {

std::string Sha256Hex(const std::uint8_t* bytes, std::uint64_t size) {
  std::uint8_t digest[quillmend::os::kSha256Size];
  if (!quillmend::os::ComputeSha256(bytes, size, digest)) return {};
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (const std::uint8_t byte : digest) {
    hex.push_back(kDigits[byte >> 4]);
    hex.push_back(kDigits[byte & 0xf]);
  }
  return hex;
}

}  // namespace xtview
