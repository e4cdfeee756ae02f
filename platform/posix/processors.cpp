#include <sched.h>

#include "platform/platform.h"

namespace quillmend::os {

std::uint32_t CountLogicalProcessors() {
  cpu_set_t allowed;
  CPU_ZERO(&allowed);
  if (sched_getaffinity(0, sizeof(allowed), &allowed) != 0) return 1;
  const int count = CPU_COUNT(&allowed);
  return count > 0 ? static_cast<std::uint32_t>(count) : 1;
}

}  // namespace quillmend::os
