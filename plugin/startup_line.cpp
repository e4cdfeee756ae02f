#include "startup_line.h"

#include <cstddef>
#include <cstdint>

#include "ghostscript/ghostscript.h"
#include "host/host_api.h"
#include "host/message_line.h"
#include "platform/platform.h"
#include "view/document_cache.h"
#include "view/isolation.h"

namespace quillmend {

namespace {

// The longest line: two paths' worth, the digest, the product and the numbers.
constexpr std::size_t kLineCapacity = 3 * os::kPathCapacity + 256;
using Line = MessageLine<kLineCapacity>;

void AddRelease(Line* line) {
  GhostscriptRevision revision{};
  char release[32];
  if (GsApi.Revision == nullptr || GsApi.Revision(&revision, sizeof(revision)) != 0 ||
      revision.product == nullptr || revision.revision < 0 ||
      !FormReleaseName(revision.revision, release, sizeof(release))) {
    line->Add(u"Ghostscript of unknown release");
    return;
  }
  line->AddNarrow(revision.product);
  line->Add(u" ");
  line->AddNarrow(release);
  line->Add(u" (revision ");
  line->AddNumber(static_cast<std::uint64_t>(revision.revision));
  line->Add(u")");
}

void AddLibrary(Line* line) {
  char16_t path[os::kPathCapacity];
  if (!GetGhostscriptLibraryPath(path)) {
    line->Add(u" from a library whose path is unknown");
    return;
  }
  line->Add(u" from ");
  line->Add(path);
  std::uint8_t digest[os::kSha256Size];
  if (!os::ComputeFileSha256(path, digest)) {
    line->Add(u", SHA-256 unknown (the file cannot be read)");
    return;
  }
  line->Add(u", SHA-256 ");
  char16_t hex[2 * os::kSha256Size + 1];
  for (std::size_t i = 0; i < os::kSha256Size; ++i) {
    hex[2 * i] = u"0123456789abcdef"[digest[i] >> 4];
    hex[2 * i + 1] = u"0123456789abcdef"[digest[i] & 0xF];
  }
  hex[2 * os::kSha256Size] = u'\0';
  line->Add(hex);
}

void AddMode(Line* line) {
  if (!IsolationIsOn()) {
    line->Add(u"; Ghostscript runs in the host's process");
    return;
  }
  line->Add(u"; Ghostscript runs in a separate process, each view for at most ");
  line->AddNumber(TimeLimitSeconds());
  line->Add(u" s, ");
  line->AddNumber(MemoryLimitMiB());
  line->Add(u" MiB of memory and ");
  line->AddNumber(OutputLimitMiB());
  line->Add(u" MiB of output");
  if (ParallelWorkers() == 1) return;
  line->Add(u", first views in page ranges on ");
  line->AddNumber(ParallelWorkers());
  line->Add(u" workers side by side");
}

}  // namespace

void ReportWhatConverts() {
  Line line;
  line.Add(u"Quillmend " QUILLMEND_UTF16(QUILLMEND_VERSION) u" converts with ");
  AddRelease(&line);
  AddLibrary(&line);
  AddMode(&line);
  line.Add(u"; cache ");
  line.AddNumber(CacheBudgetMiB());
  line.Add(u" MiB.");
  HostApi.OutputMessage(line.text, kInformationFlags);
}

}  // namespace quillmend
