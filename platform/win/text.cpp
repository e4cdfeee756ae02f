#include <windows.h>

#include "platform/platform.h"
#include "wide.h"

namespace quillmend::os {

int Utf8Size(const char16_t* text) {
  return WideCharToMultiByte(CP_UTF8, 0, Wide(text), -1, nullptr, 0, nullptr, nullptr);
}

bool ConvertToUtf8(const char16_t* text, char* out, int size) {
  return WideCharToMultiByte(CP_UTF8, 0, Wide(text), -1, out, size, nullptr, nullptr) == size;
}

}  // namespace quillmend::os
