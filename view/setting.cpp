#include "setting.h"

#include "platform/platform.h"

namespace quillmend {

bool ParseWholeNumber(const char* text, std::uint64_t lowest, std::uint64_t highest,
                      std::uint64_t* value) {
  if (*text == '\0') return false;
  std::uint64_t number = 0;
  for (; *text != '\0'; ++text) {
    if (*text < '0' || *text > '9') return false;
    number = number * 10 + static_cast<std::uint64_t>(*text - '0');
    if (number > highest) return false;
  }
  if (number < lowest) return false;
  *value = number;
  return true;
}

bool ReadWholeNumberSetting(const char* name, std::uint64_t lowest, std::uint64_t highest,
                            std::uint64_t fallback, std::uint64_t* value) {
  char text[16];
  const os::EnvironmentValue found =
      os::ReadEnvironmentVariable(name, os::EnvironmentCopy::kProcess, text, sizeof(text));
  *value = fallback;
  if (found == os::EnvironmentValue::kUnset) return true;
  return found == os::EnvironmentValue::kSet && ParseWholeNumber(text, lowest, highest, value);
}

}  // namespace quillmend
