#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>

#include "platform/platform.h"

namespace quillmend::os {

namespace {

// Blocks of at least this size are laid on huge pages where the system offers them: filling a
// fresh block costs one page fault per page, and with 4 KiB pages that can cost more than the
// copy itself (a staging block and a result block are filled fresh on every view).
constexpr std::size_t kHugePage = std::size_t{2} << 20;

}  // namespace

void* AllocateBlock(std::size_t bytes) {
  // malloc(0) may return null; a zero-length result must still be a real block.
  if (bytes < kHugePage) return std::malloc(bytes == 0 ? 1 : bytes);
  if (bytes > SIZE_MAX - kHugePage) return nullptr;
  const std::size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
  void* block = std::aligned_alloc(kHugePage, rounded);
  // Only a hint, its outcome not examined: without huge pages the block is an ordinary one.
  if (block != nullptr) madvise(block, rounded, MADV_HUGEPAGE);
  return block;
}

void FreeBlock(void* block) {
  std::free(block);
}

}  // namespace quillmend::os
