#include "workstation_settings.h"

#include <cstdio>

#include "ghostscript.h"

namespace quillmend {

namespace {

constexpr std::size_t kKeyCapacity = 256;
constexpr std::size_t kValueCapacity = 1024;

// Ghostscript's own key: "Software\<family>\<release>" (FormReleaseName). The library names its
// product, not its family: a snapshot build's product "GPL Ghostscript GIT PRERELEASE" belongs to
// the family "GPL Ghostscript". The family leads the product's name, so the key is formed for the
// first `words` words of it.
bool FormRegistryKey(const GhostscriptRevision& revision, int words, char* key,
                     std::size_t capacity) {
  std::size_t length = 0;
  for (int seen = 0; revision.product[length] != '\0'; ++length) {
    if (revision.product[length] == ' ' && ++seen == words) break;
  }
  char release[32];
  if (!FormReleaseName(revision.revision, release, sizeof(release))) return false;
  const int written = std::snprintf(key, capacity, "Software\\%.*s\\%s", static_cast<int>(length),
                                    revision.product, release);
  return written > 0 && static_cast<std::size_t>(written) < capacity;
}

// The number of words in the product's name.
int CountWords(const char* product) {
  int words = 1;
  for (; *product != '\0'; ++product) words += *product == ' ' ? 1 : 0;
  return words;
}

// The value under the key of the whole product name or, failing that, of each shorter leading
// part of it, one of which is the family's.
os::EnvironmentValue ReadRegistrySetting(const char* name, char* value, std::size_t capacity) {
  if (GsApi.Revision == nullptr) return os::EnvironmentValue::kUnset;
  GhostscriptRevision revision{};
  if (GsApi.Revision(&revision, sizeof(revision)) != 0 || revision.product == nullptr) {
    return os::EnvironmentValue::kUnset;
  }
  for (int words = CountWords(revision.product); words > 0; --words) {
    char key[kKeyCapacity];
    if (!FormRegistryKey(revision, words, key, sizeof(key))) continue;
    const os::EnvironmentValue found = os::ReadUserOrMachineSetting(key, name, value, capacity);
    if (found != os::EnvironmentValue::kUnset) return found;
  }
  return os::EnvironmentValue::kUnset;
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
  return ReadRegistrySetting(name, value, capacity);
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
