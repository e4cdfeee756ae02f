// SHA-256 (FIPS 180-4), self-contained, so that xtview needs no library to name the files it
// loads by their digests.
#pragma once

#include <cstdint>
#include <string>

namespace xtview {

// The SHA-256 digest of `size` bytes, as 64 lowercase hexadecimal digits.
std::string Sha256Hex(const std::uint8_t* bytes, std::uint64_t size);

}  // namespace xtview
