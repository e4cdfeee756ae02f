// There is no message box off Windows: the text goes to standard error, under its caption.
#include <cstdio>
#include <string>

#include "platform/platform.h"
#include "utf16.h"

namespace quillmend::os {

void ShowInformationBox(const char16_t* text, const char16_t* caption) {
  std::string narrow_caption;
  std::string narrow_text;
  if (!posix::ToUtf8(caption, &narrow_caption) || !posix::ToUtf8(text, &narrow_text)) return;
  std::fprintf(stderr, "%s\n\n%s\n", narrow_caption.c_str(), narrow_text.c_str());
  std::fflush(stderr);
}

}  // namespace quillmend::os
