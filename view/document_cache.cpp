#include "document_cache.h"

#include <atomic>
#include <cstring>
#include <new>

#include "scope_exit.h"
#include "setting.h"

namespace quillmend {

namespace {

// One block per cached document: this header, then the document's bytes.
struct Entry {
  Entry* newer;
  Entry* older;
  DocumentKey key;
  std::uint32_t length;
};

std::uint8_t* BytesOf(Entry* entry) {
  return reinterpret_cast<std::uint8_t*>(entry + 1);
}

// What an entry costs the budget: its header too, so that even empty documents are bounded in
// number.
std::uint64_t CostOf(std::uint64_t length) {
  return sizeof(Entry) + length;
}

// The documents from the most to the least recently used, and what they cost together. Guarded
// by the shared-state lock.
struct Documents {
  Entry* newest;
  Entry* oldest;
  std::uint64_t held;
};

Documents documents;

// Written under the lock; also read without it, to spare a view the hashing when the cache is
// off.
std::atomic<std::uint64_t> budget{0};

auto LockDocuments() {
  os::LockSharedState();
  return ScopeExit(&os::UnlockSharedState);
}

void Unlink(Entry* entry) {
  (entry->newer != nullptr ? entry->newer->older : documents.newest) = entry->older;
  (entry->older != nullptr ? entry->older->newer : documents.oldest) = entry->newer;
}

void PushNewest(Entry* entry) {
  entry->newer = nullptr;
  entry->older = documents.newest;
  (documents.newest != nullptr ? documents.newest->newer : documents.oldest) = entry;
  documents.newest = entry;
}

void DropOldestUntilWithin(std::uint64_t limit) {
  while (documents.held > limit && documents.oldest != nullptr) {
    Entry* oldest = documents.oldest;
    Unlink(oldest);
    documents.held -= CostOf(oldest->length);
    os::FreeBlock(oldest);
  }
}

Entry* Find(const DocumentKey& key) {
  for (Entry* entry = documents.newest; entry != nullptr; entry = entry->older) {
    if (std::memcmp(entry->key.digest, key.digest, sizeof(key.digest)) == 0) return entry;
  }
  return nullptr;
}

bool Fits(std::uint64_t length, std::uint64_t limit) {
  return limit != 0 && CostOf(length) <= limit / 4;
}

}  // namespace

bool ConfigureCacheFromEnvironment() {
  std::uint64_t mib = kDefaultCacheMiB;
  const bool usable =
      ReadWholeNumberSetting(kCacheBudgetVariable, 0, kLargestCacheMiB, kDefaultCacheMiB, &mib);
  SetCacheBudget(mib << 20);
  return usable;
}

void SetCacheBudget(std::uint64_t bytes) {
  const auto locked = LockDocuments();
  budget.store(bytes);
  DropOldestUntilWithin(bytes);
}

std::uint64_t CacheBudgetMiB() {
  return budget.load() >> 20;
}

bool CacheIsOn() {
  return budget.load() != 0;
}

void* CopyCachedDocument(const DocumentKey& key, std::uint32_t* length) {
  const auto locked = LockDocuments();
  Entry* entry = Find(key);
  if (entry == nullptr) return nullptr;
  void* copy = os::AllocateBlock(entry->length);
  if (copy == nullptr) return nullptr;
  std::memcpy(copy, BytesOf(entry), entry->length);
  Unlink(entry);
  PushNewest(entry);
  *length = entry->length;
  return copy;
}

void CacheDocument(const DocumentKey& key, const void* document, std::uint32_t length) {
  if (!Fits(length, budget.load())) return;
  // The copy is made before the lock is taken, so that other views wait only for the list.
  void* block = os::AllocateBlock(CostOf(length));
  if (block == nullptr) return;
  Entry* entry = new (block) Entry{nullptr, nullptr, key, length};
  std::memcpy(BytesOf(entry), document, length);

  bool kept = false;
  {
    const auto locked = LockDocuments();
    const std::uint64_t limit = budget.load();
    // Another view of the same bytes may have finished first; its copy is as good as this one.
    if (Fits(length, limit) && Find(key) == nullptr) {
      DropOldestUntilWithin(limit - CostOf(length));
      PushNewest(entry);
      documents.held += CostOf(length);
      kept = true;
    }
  }
  if (!kept) os::FreeBlock(block);
}

void ReleaseCache() {
  SetCacheBudget(0);
}

}  // namespace quillmend
