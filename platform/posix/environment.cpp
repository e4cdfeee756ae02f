#include <cstdlib>
#include <cstring>

#include "platform/platform.h"

namespace quillmend::os {

// POSIX has one environment, which getenv and setenv share.
EnvironmentValue ReadEnvironmentVariable(const char* name, EnvironmentCopy, char* value,
                                         std::size_t capacity) {
  const char* found = std::getenv(name);
  if (found == nullptr) return EnvironmentValue::kUnset;
  const std::size_t length = std::strlen(found);
  if (length >= capacity) return EnvironmentValue::kUnusable;
  std::memcpy(value, found, length + 1);
  return EnvironmentValue::kSet;
}

EnvironmentValue ReadUserOrMachineSetting(const char*, const char*, char*, std::size_t) {
  return EnvironmentValue::kUnset;
}

}  // namespace quillmend::os
