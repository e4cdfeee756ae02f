#include <climits>

#include "platform/platform.h"
#include "utf16.h"

namespace quillmend::os {

int Utf8Size(const char16_t* text) {
  const long length = posix::Utf8Length(text);
  if (length < 0 || length >= INT_MAX) return 0;
  return static_cast<int>(length + 1);
}

bool ConvertToUtf8(const char16_t* text, char* out, int size) {
  if (Utf8Size(text) != size) return false;
  posix::EncodeUtf8(text, out);
  return true;
}

}  // namespace quillmend::os
