#include "workstation_settings.h"

#include <cstdio>

#include "ghostscript.h"

namespace quillmend {

namespace {

constexpr std::size_t kKeyCapacity = 256;
constexpr std::size_t kValueCapacity = 1024;

// Ghostscript's own key: "Software\<product>\<release>", the release as "10.00.0" (two digits
// for the minor part) from revision 10000; releases before 9.53 counted in hundredths, "9.52".
bool FormRegistryKey(char* key, std::size_t capacity) {
  if (GsApi.Revision == nullptr) return false;
  GhostscriptRevision revision{};
  if (GsApi.Revision(&revision, sizeof(revision)) != 0 || revision.product == nullptr) {
    return false;
  }
  const long number = revision.revision;  // NOLINT(google-runtime-int)
  int written = 0;
  if (number >= 9530) {
    written = std::snprintf(key, capacity, "Software\\%s\\%ld.%02ld.%ld", revision.product,
                            number / 1000, number % 1000 / 10, number % 10);
  } else {
    written = std::snprintf(key, capacity, "Software\\%s\\%ld.%02ld", revision.product,
                            number / 100, number % 100);
  }
  return written > 0 && static_cast<std::size_t>(written) < capacity;
}

}  // namespace

os::EnvironmentValue ReadGhostscriptSetting(const char* name, SettingSource source, char* value,
                                            std::size_t capacity) {
  switch (source) {
    case SettingSource::kProcess:
      return os::ReadEnvironmentVariable(name, os::EnvironmentCopy::kProcess, value, capacity);
    case SettingSource::kCRuntime:
      return os::ReadEnvironmentVariable(name, os::EnvironmentCopy::kCRuntime, value, capacity);
    case SettingSource::kRegistry:
      break;
  }
  char key[kKeyCapacity];
  if (!FormRegistryKey(key, sizeof(key))) return os::EnvironmentValue::kUnset;
  return os::ReadUserOrMachineSetting(key, name, value, capacity);
}

bool GhostscriptOptionsAreSet() {
  for (const SettingSource source : kSettingSources) {
    char value[kValueCapacity];
    const os::EnvironmentValue found =
        ReadGhostscriptSetting("GS_OPTIONS", source, value, sizeof(value));
    // An empty value adds nothing.
    if (found == os::EnvironmentValue::kUnusable) return true;
    if (found == os::EnvironmentValue::kSet && value[0] != '\0') return true;
  }
  return false;
}

}  // namespace quillmend
