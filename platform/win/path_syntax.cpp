#include "platform/platform.h"

namespace quillmend::os {

bool IsPathSeparator(char c) {
  return c == '/' || c == '\\';
}

std::size_t PathRootLength(const char* path, std::size_t length) {
  if (length == 0) return 0;
  if (length > 1 && path[0] == '\\' && path[1] == '\\') {
    // A network path: the root ends after the separator that follows the share's name.
    bool past_server = false;
    for (std::size_t i = 2; i < length; ++i) {
      if (!IsPathSeparator(path[i])) continue;
      if (past_server) return i + 1;
      past_server = true;
    }
    return length;
  }
  if (IsPathSeparator(path[0])) return 1;
  if (length > 1 && path[1] == ':') return length > 2 && IsPathSeparator(path[2]) ? 3 : 2;
  return 0;
}

}  // namespace quillmend::os
