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

bool RemoveArgumentPath(const char* path, int) { return std::remove(path) == 0; }

}  // namespace standin
