#include <windows.h>
// bcrypt.h needs windows.h's types first.
#include <bcrypt.h>

#include <climits>

#include "platform/platform.h"

namespace quillmend::os {

namespace {

// CNG takes at most ULONG_MAX bytes per call: larger data goes in several.
bool HashAll(BCRYPT_HASH_HANDLE hash, const void* data, std::size_t size) {
  auto* bytes = static_cast<PUCHAR>(const_cast<void*>(data));
  while (size > 0) {
    const ULONG part = size > ULONG_MAX ? ULONG_MAX : static_cast<ULONG>(size);
    if (!BCRYPT_SUCCESS(BCryptHashData(hash, bytes, part, 0))) return false;
    bytes += part;
    size -= part;
  }
  return true;
}

}  // namespace

bool ComputeSha256(const void* data, std::size_t size, std::uint8_t* digest) {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  if (!BCRYPT_SUCCESS(
          BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0))) {
    return false;
  }
  // Without a buffer of ours for the hash object, CNG allocates and frees it itself.
  BCRYPT_HASH_HANDLE hash = nullptr;
  bool hashed = BCRYPT_SUCCESS(BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0));
  hashed = hashed && HashAll(hash, data, size) &&
           BCRYPT_SUCCESS(BCryptFinishHash(hash, digest, kSha256Size, 0));
  if (hash != nullptr) BCryptDestroyHash(hash);
  BCryptCloseAlgorithmProvider(algorithm, 0);
  return hashed;
}

}  // namespace quillmend::os
