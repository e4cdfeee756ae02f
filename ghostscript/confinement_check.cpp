#include "confinement_check.h"

#include <cstddef>

#include "ghostscript.h"
#include "platform/platform.h"

namespace quillmend {

namespace {

// The interpreter handles errors itself, as for a file named on the command line.
constexpr int kNoUserErrors = 0;

void Append(char** out, const char* text) {
  for (; *text != '\0'; ++text) *(*out)++ = *text;
}

}  // namespace

bool StagedInputIsOutOfReach(void* instance, const char* input) {
  // `status` finds a file only where a permit lets it read; `quit` then ends the program with a
  // result other than 0. The name goes in as a hex string, two digits a byte: a literal string
  // would need escapes, and would read a carriage return in the name (or CR LF) as a line feed,
  // asking about another file.
  constexpr char kPrefix[] = "<";
  constexpr char kSuffix[] = "> status { pop pop pop pop quit } if";
  constexpr char kDigits[] = "0123456789ABCDEF";
  std::size_t length = sizeof(kPrefix) + sizeof(kSuffix);
  for (const char* c = input; *c != '\0'; ++c) length += 2;
  auto* text = static_cast<char*>(os::AllocateBlock(length));
  if (text == nullptr) return false;
  char* out = text;
  Append(&out, kPrefix);
  for (const char* c = input; *c != '\0'; ++c) {
    const auto byte = static_cast<unsigned char>(*c);
    *out++ = kDigits[byte >> 4];
    *out++ = kDigits[byte & 0x0F];
  }
  Append(&out, kSuffix);
  *out = '\0';
  int exit_code = 0;
  const bool out_of_reach = GsApi.RunString(instance, text, kNoUserErrors, &exit_code) == 0;
  os::FreeBlock(text);
  return out_of_reach;
}

}  // namespace quillmend
