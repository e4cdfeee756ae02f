#include <sys/stat.h>

#include <cstdlib>

#include "standin_platform.h"

namespace standin {

std::string GetEnvironment(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}

std::FILE* OpenArgumentPath(const char* path, const char* mode, int) {
  return std::fopen(path, mode);
}

bool RemoveArgumentPath(const char* path, int) {
  return std::remove(path) == 0;
}

std::string PermissionBits(const char* path) {
  struct stat status;
  if (stat(path, &status) != 0) return "none";
  char bits[8];
  std::snprintf(bits, sizeof(bits), "%o", static_cast<unsigned>(status.st_mode & 07777));
  return bits;
}

}  // namespace standin
