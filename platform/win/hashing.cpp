#include <windows.h>
// bcrypt.h needs windows.h's types first.
#include <bcrypt.h>

#include <climits>

#include "platform/platform.h"
#include "wide.h"

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

// Feeds a SHA-256 hash through `feed` and writes its digest.
template <typename Feed>
bool Sha256Of(Feed feed, std::uint8_t* digest) {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  if (!BCRYPT_SUCCESS(
          BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0))) {
    return false;
  }
  // Without a buffer of ours for the hash object, CNG allocates and frees it itself.
  BCRYPT_HASH_HANDLE hash = nullptr;
  bool hashed = BCRYPT_SUCCESS(BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0));
  hashed = hashed && feed(hash) && BCRYPT_SUCCESS(BCryptFinishHash(hash, digest, kSha256Size, 0));
  if (hash != nullptr) BCryptDestroyHash(hash);
  BCryptCloseAlgorithmProvider(algorithm, 0);
  return hashed;
}

}  // namespace

bool ComputeSha256(const void* data, std::size_t size, std::uint8_t* digest) {
  return Sha256Of([&](BCRYPT_HASH_HANDLE hash) { return HashAll(hash, data, size); }, digest);
}

bool ComputeFileSha256(const char16_t* path, std::uint8_t* digest) {
  // Shared as the loader shares a library it has mapped.
  HANDLE file = CreateFileW(Wide(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool hashed = Sha256Of(
      [file](BCRYPT_HASH_HANDLE hash) {
        constexpr DWORD kChunk = 1 << 14;
        UCHAR chunk[kChunk];
        for (;;) {
          DWORD got = 0;
          if (!ReadFile(file, chunk, kChunk, &got, nullptr)) return false;
          if (got == 0) return true;
          if (!BCRYPT_SUCCESS(BCryptHashData(hash, chunk, got, 0))) return false;
        }
      },
      digest);
  CloseHandle(file);
  return hashed;
}

}  // namespace quillmend::os
