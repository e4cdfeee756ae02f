#include <windows.h>

#include "platform/platform.h"

namespace quillmend::os {

// The process's default heap is shared with the host, so either side can free what the other
// allocated.
void* AllocateBlock(std::size_t bytes) {
  return HeapAlloc(GetProcessHeap(), 0, bytes);
}

void FreeBlock(void* block) {
  if (block != nullptr) HeapFree(GetProcessHeap(), 0, block);
}

}  // namespace quillmend::os
