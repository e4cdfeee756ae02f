// SHA-256 digests as text, from the platform's cryptography (the plug-in's own), so that xtview
// names the files it loads by their digests.
#pragma once

#include <cstdint>
#include <string>

namespace xtview {

// The SHA-256 digest of `size` bytes, as 64 lowercase hexadecimal digits; empty when the
// system's cryptography cannot give it.
std::string Sha256Hex(const std::uint8_t* bytes, std::uint64_t size);

}  // namespace xtview
