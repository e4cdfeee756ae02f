#include <cstdlib>

#include "platform/platform.h"

namespace quillmend::os {

void* AllocateBlock(std::size_t bytes) {
  // malloc(0) may return null; a zero-length result must still be a real block.
  return std::malloc(bytes == 0 ? 1 : bytes);
}

void FreeBlock(void* block) {
  std::free(block);
}

}  // namespace quillmend::os
