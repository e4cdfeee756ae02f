#include <windows.h>

#include "platform/platform.h"

namespace quillmend::os {

std::uint32_t CountLogicalProcessors() {
  const DWORD count = GetActiveProcessorCount(ALL_PROCESSOR_GROUPS);
  return count > 0 ? count : 1;
}

}  // namespace quillmend::os
