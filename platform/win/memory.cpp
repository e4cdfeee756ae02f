#include <windows.h>

#include "platform/platform.h"
#include "system_calls.h"

namespace quillmend::os {

// The process's default heap is shared with the host, so either side can free what the other
// allocated.
void* AllocateBlock(std::size_t bytes) {
  return Win32.HeapAlloc(GetProcessHeap(), 0, bytes);
}

void FreeBlock(void* block) {
  if (block != nullptr) Win32.HeapFree(GetProcessHeap(), 0, block);
}

}  // namespace quillmend::os
