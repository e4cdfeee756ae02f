// Converted documents kept in memory, keyed by the SHA-256 of the item's bytes, so that viewing
// the same bytes again (the same item, or a copy of it elsewhere in the case) costs a copy
// instead of a conversion. The cache never touches the disk. Its documents together stay
// within a budget; the least recently used go first. Every function may be called from any
// thread.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace quillmend {

// The identity of an item's bytes. A cryptographic digest, so that no crafted item can be made
// to share its key with another document.
struct DocumentKey {
  std::uint8_t digest[os::kSha256Size];
};

// The budget is read from this environment variable at start-up, in MiB; 0 turns the cache off.
inline constexpr char kCacheBudgetVariable[] = "QUILLMEND_CACHE_MB";
inline constexpr std::uint64_t kDefaultCacheMiB = 256;
inline constexpr std::uint64_t kLargestCacheMiB = std::uint64_t{1} << 20;

// Sets the budget from kCacheBudgetVariable, or to the default when it is unset. False when it
// is set to anything but a whole number from 0 to kLargestCacheMiB: the budget is then the
// default.
bool ConfigureCacheFromEnvironment();

// Sets the budget in bytes, 0 turning the cache off, and drops what no longer fits.
void SetCacheBudget(std::uint64_t bytes);

bool CacheIsOn();

// The budget in whole MiB.
std::uint64_t CacheBudgetMiB();

// A new block (os::AllocateBlock) holding a copy of the document cached under `key`, its length
// in `*length`. Null when there is none, or no block for the copy.
void* CopyCachedDocument(const DocumentKey& key, std::uint32_t* length);

// Keeps a copy of `document` under `key`, dropping the least recently used documents to make
// room. A document larger than a quarter of the budget is not kept, so that one document
// cannot empty the cache.
void CacheDocument(const DocumentKey& key, const void* document, std::uint32_t length);

// Frees every cached document and turns the cache off.
void ReleaseCache();

}  // namespace quillmend
