#include "platform/platform.h"

namespace quillmend::os {

bool IsPathSeparator(char c) {
  return c == '/';
}

std::size_t PathRootLength(const char* path, std::size_t length) {
  return length > 0 && path[0] == '/' ? 1 : 0;
}

}  // namespace quillmend::os
