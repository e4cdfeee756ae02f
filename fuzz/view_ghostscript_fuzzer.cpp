// Fuzzes the view path with the real Ghostscript library on PDF-shaped items (a seed corpus of
// small PDFs and their mutations), checking the plug-in's contract after every run. Leaks are
// LeakSanitizer's to find.
#include <bit>
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz_plugin.h"
#include "support/test_host.h"

namespace {

using quillmend::fuzz::Require;

constexpr std::size_t kMinimumItemSize = 150;
constexpr char kPdfHeader[] = "%PDF-";
constexpr std::size_t kPdfHeaderLength = 5;

quillmend::fuzz::Plugin plugin;

// Ghostscript is not instrumented, so libFuzzer cannot see what an input did inside it. These
// counters, which libFuzzer reads as coverage, stand in: each run marks its outcome (declined,
// failed, or the size class of the converted document), so inputs that change it are kept.
__attribute__((used, section("__libfuzzer_extra_counters"))) std::uint8_t outcome_counters[132];

void MarkOutcome(std::int64_t result_size) {
  std::size_t slot = result_size == -1 ? 0 : 1;
  if (result_size >= 0) {
    // Two classes per power of two: the bit width, and the bit below the leading one.
    const auto size = static_cast<std::uint64_t>(result_size);
    const int width = std::bit_width(size);
    const bool upper_half = width >= 2 && ((size >> (width - 2)) & 1) != 0;
    slot = 2 + static_cast<std::size_t>(width) * 2 + (upper_half ? 1 : 0);
  }
  if (outcome_counters[slot] < 255) ++outcome_counters[slot];
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  plugin = quillmend::fuzz::StartPlugin(QUILLMEND_FUZZ_PLUGIN, QUILLMEND_FUZZ_GHOSTSCRIPT);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  quillmend::test::ResetHost();
  void* handle =
      quillmend::test::AddItem({std::string(reinterpret_cast<const char*>(data), size), {}, {}});

  std::int64_t result_size = 0x5EED;
  void* buffer = plugin.View(handle, 1, nullptr, nullptr, nullptr, &result_size);

  MarkOutcome(result_size);
  Require(quillmend::test::BrokenCallsRule(handle));

  const bool recognised =
      size >= kMinimumItemSize && std::memcmp(data, kPdfHeader, kPdfHeaderLength) == 0;
  Require(recognised ? result_size != -1 : result_size == -1,
          "-1 exactly for items that are too short or lack the PDF header");
  Require(quillmend::test::BrokenAnswerRule(buffer, result_size));
  if (buffer != nullptr && result_size >= static_cast<std::int64_t>(kPdfHeaderLength)) {
    Require(std::memcmp(buffer, kPdfHeader, kPdfHeaderLength) == 0,
            "a returned document is a PDF document");
  }
  const auto messages = quillmend::test::HostMessages();
  Require(messages.size() <= 1, "at most one message per request");
  Require(messages.empty() || result_size == -2, "a failure message only with -2");
  Require(quillmend::test::BrokenReleaseRule(plugin, buffer));
  quillmend::fuzz::RequireNothingLeft();
  return 0;
}
