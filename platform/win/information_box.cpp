#include <windows.h>

#include "platform/platform.h"
#include "wide.h"

namespace quillmend::os {

void ShowInformationBox(const char16_t* text, const char16_t* caption) {
  // No owner window: the box is modal to the calling thread only.
  MessageBoxW(nullptr, Wide(text), Wide(caption), MB_OK | MB_ICONINFORMATION);
}

}  // namespace quillmend::os
