#include <fcntl.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <cerrno>

#include "platform/platform.h"
#include "utf16.h"

namespace quillmend::os {

bool ComputeSha256(const void* data, std::size_t size, std::uint8_t* digest) {
  unsigned int length = 0;
  return EVP_Digest(data, size, digest, &length, EVP_sha256(), nullptr) == 1 &&
         length == kSha256Size;
}

bool ComputeFileSha256(const char16_t* path, std::uint8_t* digest) {
  char narrow[posix::kNarrowPathCapacity];
  if (!posix::ToUtf8(path, narrow, sizeof(narrow))) return false;
  const int file = open(narrow, O_RDONLY | O_CLOEXEC);
  if (file < 0) return false;
  EVP_MD_CTX* context = EVP_MD_CTX_new();
  bool hashed = context != nullptr && EVP_DigestInit_ex(context, EVP_sha256(), nullptr) == 1;
  constexpr std::size_t kChunk = 1 << 14;
  unsigned char chunk[kChunk];
  for (;;) {
    const ssize_t got = read(file, chunk, kChunk);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      hashed = hashed && got == 0;
      break;
    }
    hashed = hashed && EVP_DigestUpdate(context, chunk, static_cast<std::size_t>(got)) == 1;
  }
  unsigned int length = 0;
  hashed = hashed && EVP_DigestFinal_ex(context, digest, &length) == 1 && length == kSha256Size;
  EVP_MD_CTX_free(context);
  close(file);
  return hashed;
}

}  // namespace quillmend::os
