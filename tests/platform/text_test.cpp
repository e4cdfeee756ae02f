// The platform layer's conversion of paths to UTF-8 for Ghostscript, on its own: under Wine no
// folder name can hold a lone surrogate, so no view can bring one to it.
#include <gtest/gtest.h>

#include <string>

#include "platform/platform.h"

namespace quillmend::os {
namespace {

// The UTF-8 form with its terminator, as the plug-in hands a path to Ghostscript.
std::string Utf8(const char16_t* text) {
  const int size = Utf8Size(text);
  if (size <= 0) return "(no text)";
  std::string bytes(static_cast<std::size_t>(size), '\xFF');
  return ConvertToUtf8(text, bytes.data(), size) ? bytes : "(not converted)";
}

TEST(Utf8Test, SurrogatePairsBecomeOneFourByteSequenceEach) {
  EXPECT_EQ(Utf8(u"C:\\j\u00fcrgen\\\U0001F4C4\U00020BB7.tmp"),
            std::string("C:\\j\xC3\xBCrgen\\\xF0\x9F\x93\x84\xF0\xA0\xAE\xB7.tmp", 23) + '\0');
}

TEST(Utf8Test, ALoneSurrogateIsNoText) {
  for (const char16_t* text : {u"a\xD83D",
                               u"a\xD83D"
                               u"b",
                               u"a\xDCC4"
                               u"b",
                               u"\xDCC4\xD83D"}) {
    EXPECT_EQ(Utf8(text), "(no text)") << testing::PrintToString(std::u16string(text));
  }
}

}  // namespace
}  // namespace quillmend::os
