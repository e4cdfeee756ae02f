#include "system.h"

#include <cstdio>
#include <system_error>

namespace quillmend::test {

std::filesystem::path RealGhostscriptLibrary() {
  const std::optional<std::string> release = GetEnvironmentValue(kRealGhostscriptReleaseVariable);
  const std::filesystem::path library =
      release && !release->empty()
          ? ExecutableDirectory() / ("real-gs-" + *release) / kGhostscriptFileName
          : DefaultRealGhostscriptLibrary();
  std::error_code error;
  return std::filesystem::exists(library, error) ? library : std::filesystem::path();
}

long GhostscriptRevisionOf(const std::filesystem::path& file) {  // NOLINT(google-runtime-int)
  // gsapi_revision's structure, in the library's own types.
  struct Revision {
    const char* product;
    const char* copyright;
    long revision;  // NOLINT(google-runtime-int)
    long date;      // NOLINT(google-runtime-int)
  };
  using RevisionFunction = int (*)(void*, int);
  void* library = file.empty() ? nullptr : OpenLibrary(file, false);
  if (library == nullptr) return 0;
  auto revision_of =
      reinterpret_cast<RevisionFunction>(host_emulator::FindSymbol(library, "gsapi_revision"));
  Revision revision{};
  if (revision_of == nullptr || revision_of(&revision, sizeof revision) != 0) return 0;
  return revision.revision;
}

long RealGhostscriptRevision() {  // NOLINT(google-runtime-int)
  return GhostscriptRevisionOf(RealGhostscriptLibrary());
}

std::string GhostscriptReleaseName(long revision) {  // NOLINT(google-runtime-int)
  char name[32];
  std::snprintf(name, sizeof name, "%ld.%02ld.%ld", revision / 1000, revision % 1000 / 10,
                revision % 10);
  return name;
}

std::string RealGhostscriptRegistryKey() {
  const long revision = RealGhostscriptRevision();  // NOLINT(google-runtime-int)
  if (revision == 0) return {};
  return "Software\\GPL Ghostscript\\" + GhostscriptReleaseName(revision);
}

std::filesystem::path Utf8Path(const std::string& text) {
  return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

std::string PathUtf8(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

}  // namespace quillmend::test
