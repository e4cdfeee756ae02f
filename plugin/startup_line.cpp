#include "startup_line.h"

#include <cstddef>
#include <cstdint>

#include "ghostscript/ghostscript.h"
#include "host/host_api.h"
#include "platform/platform.h"
#include "view/document_cache.h"
#include "view/isolation.h"

namespace quillmend {

namespace {

// The longest line: two paths' worth, the digest, the product and the numbers.
constexpr std::size_t kLineCapacity = 3 * os::kPathCapacity + 256;

struct Line {
  char16_t text[kLineCapacity];
  std::size_t used = 0;

  void Add(const char16_t* part) {
    for (; *part != u'\0' && used + 1 < kLineCapacity; ++part) text[used++] = *part;
    text[used] = u'\0';
  }
  // Narrow text of the library's own (its product name): ASCII passes, anything else shows as
  // a question mark.
  void AddNarrow(const char* part) {
    for (; *part != '\0' && used + 1 < kLineCapacity; ++part) {
      const auto byte = static_cast<unsigned char>(*part);
      text[used++] = byte >= 0x20 && byte < 0x7F ? static_cast<char16_t>(byte) : u'?';
    }
    text[used] = u'\0';
  }
  void AddNumber(std::uint64_t number) {
    char16_t digits[21];
    std::size_t count = 0;
    do {
      digits[count++] = static_cast<char16_t>(u'0' + number % 10);
      number /= 10;
    } while (number > 0);
    while (count > 0 && used + 1 < kLineCapacity) text[used++] = digits[--count];
    text[used] = u'\0';
  }
  // Two digits at least, as Ghostscript writes a release's minor part.
  void AddTwoDigits(std::uint64_t number) {
    if (number < 10) Add(u"0");
    AddNumber(number);
  }
};

void AddRelease(Line* line) {
  GhostscriptRevision revision{};
  if (GsApi.Revision == nullptr || GsApi.Revision(&revision, sizeof(revision)) != 0 ||
      revision.product == nullptr || revision.revision < 0) {
    line->Add(u"Ghostscript of unknown release");
    return;
  }
  const auto number = static_cast<std::uint64_t>(revision.revision);
  line->AddNarrow(revision.product);
  line->Add(u" ");
  // 10000 is 10.00.0; releases before 9.53 counted in hundredths: 952 is 9.52.
  if (number >= 9530) {
    line->AddNumber(number / 1000);
    line->Add(u".");
    line->AddTwoDigits(number % 1000 / 10);
    line->Add(u".");
    line->AddNumber(number % 10);
  } else {
    line->AddNumber(number / 100);
    line->Add(u".");
    line->AddTwoDigits(number % 100);
  }
  line->Add(u" (revision ");
  line->AddNumber(number);
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
