// A lone surrogate names no file: converted as U+FFFD it would hand Ghostscript a path that is
// not the file's, so WC_ERR_INVALID_CHARS makes it a failure instead.
#include <windows.h>

#include "platform/platform.h"
#include "wide.h"

namespace quillmend::os {

int Utf8Size(const char16_t* text) {
  return WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, Wide(text), -1, nullptr, 0, nullptr,
                             nullptr);
}

bool ConvertToUtf8(const char16_t* text, char* out, int size) {
  return WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, Wide(text), -1, out, size, nullptr,
                             nullptr) == size;
}

}  // namespace quillmend::os
