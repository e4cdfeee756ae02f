// There is no message box off Windows: the text goes to standard error, under its caption.
#include <cstdio>

#include "platform/platform.h"
#include "utf16.h"

namespace quillmend::os {

namespace {

constexpr std::size_t kTextCapacity = 4096;

}  // namespace

void ShowInformationBox(const char16_t* text, const char16_t* caption) {
  char narrow_caption[kTextCapacity];
  char narrow_text[kTextCapacity];
  if (!posix::ToUtf8(caption, narrow_caption, sizeof(narrow_caption)) ||
      !posix::ToUtf8(text, narrow_text, sizeof(narrow_text))) {
    return;
  }
  std::fprintf(stderr, "%s\n\n%s\n", narrow_caption, narrow_text);
  std::fflush(stderr);
}

}  // namespace quillmend::os
