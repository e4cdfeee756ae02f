#include <openssl/evp.h>

#include "platform/platform.h"

namespace quillmend::os {

bool ComputeSha256(const void* data, std::size_t size, std::uint8_t* digest) {
  unsigned int length = 0;
  return EVP_Digest(data, size, digest, &length, EVP_sha256(), nullptr) == 1 &&
         length == kSha256Size;
}

}  // namespace quillmend::os
