// Fuzzes the plug-in's own view path against the stand-in Ghostscript library. The input chooses
// how the host behaves (what size it reports, how short its reads are) and how the stand-in
// behaves; the rest is the item. Since the stand-in copies its input, every outcome is known in
// advance and checked exactly after every run. The plug-in runs with a small cache, so that
// repeated items are answered from it and its documents are often dropped.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <list>
#include <string>
#include <unordered_map>

#include "fuzz_plugin.h"
#include "support/staging.h"
#include "support/test_host.h"

namespace {

using quillmend::fuzz::Require;
using quillmend::test::ItemContent;

constexpr std::int64_t kMinimumItemSize = 150;
constexpr std::int64_t kLargestSingleRead = std::numeric_limits<std::uint32_t>::max();
constexpr char kPdfHeader[] = "%PDF-";
constexpr std::uint32_t kPdfHeaderLength = 5;
constexpr char16_t kConversionFailed[] = u"[ERROR] GhostScript conversion failed.";

// What the stand-in is told to do (QUILLMEND_STANDIN), and what that means for the request.
struct StandinMode {
  const char* words;
  bool conversion_fails;  // Ghostscript reports the failure: the plug-in sends its message
  bool output_missing;    // Ghostscript claims success but leaves no output file
  bool output_empty;
};

constexpr StandinMode kModes[] = {
    {"", false, false, false},
    {"fail-new", true, false, false},
    {"fail-encoding", true, false, false},
    {"fail-init", true, false, false},
    {"fail-remove", true, false, false},
    {"fail-run", true, false, false},
    {"fail-run-after-pages", true, false, false},
    {"fail-param", true, false, false},
    {"no-pages", true, false, false},
    {"fail-exit", true, false, false},
    {"no-output", false, true, false},
    {"empty-output", false, false, true},
    {"fail-init,empty-output", true, false, true},
};

quillmend::fuzz::Plugin plugin;

// The cache's budget in MiB. A document the plug-in converted may come back from the cache for
// the same bytes, whatever the stand-in is told. Each document costs the budget at least its
// 32-byte key, even an empty one, so what the cache can still hold is among the documents used
// last, as many as that cost fits into its budget.
constexpr char kCacheMiB[] = "1";
constexpr std::size_t kRecentDocuments = (std::size_t{1} << 20) / 32 + 1;

struct Kept {
  std::string staged;  // the bytes converted
  std::int64_t size;   // the converted document's length: a copy of them, or empty
};
std::list<Kept> recent;  // the most recently used first
std::unordered_map<std::string, std::list<Kept>::iterator> recent_index;

const Kept* FindRecent(const std::string& staged) {
  const auto found = recent_index.find(staged);
  return found == recent_index.end() ? nullptr : &*found->second;
}

void UseRecent(const std::string& staged, std::int64_t size) {
  const auto found = recent_index.find(staged);
  if (found != recent_index.end()) {
    // Converted again after the cache had dropped it: the new document is the one kept.
    found->second->size = size;
    recent.splice(recent.begin(), recent, found->second);
    return;
  }
  recent.push_front({staged, size});
  recent_index[staged] = recent.begin();
  if (recent.size() > kRecentDocuments) {
    recent_index.erase(recent.back().staged);
    recent.pop_back();
  }
}

// The size the host reports instead of the truth: each lie reaches a distinct path. None makes
// the plug-in allocate more than the item plus a little, since a size of 2^32 or more must be
// refused before any allocation.
std::int64_t LiedSize(int kind, std::int64_t amount, std::size_t length) {
  const auto actual = static_cast<std::int64_t>(length);
  switch (kind) {
    case 0:
      return -1;
    case 1:
      return std::numeric_limits<std::int64_t>::min();
    case 2:
      return kMinimumItemSize - 1;
    case 3:
      return kMinimumItemSize;
    case 4:
      return actual - amount;
    case 5:
      return actual + amount;
    case 6:
      return kLargestSingleRead + 1;
    case 7:
      return kLargestSingleRead + 1 + actual;
    default:
      return std::numeric_limits<std::int64_t>::max();
  }
}

struct Expected {
  std::int64_t size;         // -1, -2, or the length of the buffer
  std::uint32_t copied = 0;  // bytes of the item the buffer holds when one is returned
  bool message = false;      // the one conversion-failure message
  bool staged = false;       // the item was read whole and converted: the cache may answer
  std::uint32_t staged_length = 0;
};

Expected Predict(const ItemContent& item, const StandinMode& mode) {
  const std::int64_t size =
      item.reported_size ? *item.reported_size : static_cast<std::int64_t>(item.bytes.size());
  if (size < kMinimumItemSize) return {-1};
  const std::uint32_t header = quillmend::test::BytesServed(item, 0, kPdfHeaderLength);
  if (header != kPdfHeaderLength || item.bytes.compare(0, kPdfHeaderLength, kPdfHeader) != 0) {
    return {-1};
  }
  if (size > kLargestSingleRead) return {-2};
  const auto wanted = static_cast<std::uint32_t>(size);
  if (quillmend::test::BytesServed(item, 0, wanted) != wanted) return {-2};
  if (mode.conversion_fails) return {-2, 0, true, true, wanted};
  if (mode.output_missing) return {-2, 0, false, true, wanted};
  if (mode.output_empty) return {0, 0, false, true, wanted};
  return {size, wanted, false, true, wanted};
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("QUILLMEND_CACHE_MB", kCacheMiB, 1);
  plugin = quillmend::fuzz::StartPlugin(QUILLMEND_FUZZ_PLUGIN, QUILLMEND_FUZZ_GHOSTSCRIPT);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  const StandinMode& mode = input.PickValueInArray(kModes);
  const bool give_result_slot = input.ConsumeIntegralInRange(0, 31) != 0;
  // Most items begin with the PDF header, so that most runs get past recognition.
  const bool with_header = input.ConsumeIntegralInRange(0, 7) != 0;
  const bool lie_about_size = input.ConsumeIntegralInRange(0, 3) == 0;
  const int lie = input.ConsumeIntegralInRange(0, 8);
  const auto lie_amount = input.ConsumeIntegralInRange<std::int64_t>(1, 4096);
  const bool limit_reads = input.ConsumeIntegralInRange(0, 7) == 0;
  const auto read_limit = input.ConsumeIntegral<std::uint32_t>();

  ItemContent item;
  item.bytes = (with_header ? std::string(kPdfHeader) : std::string()) +
               input.ConsumeRemainingBytesAsString();
  const std::size_t length = item.bytes.size();
  if (lie_about_size) item.reported_size = LiedSize(lie, lie_amount, length);
  if (limit_reads) item.read_limit = static_cast<std::uint32_t>(read_limit % (length + 1));

  setenv("QUILLMEND_STANDIN", mode.words, 1);
  quillmend::test::ResetHost();
  void* handle = quillmend::test::AddItem(item);
  const int descriptors = quillmend::test::OpenDescriptors();

  if (!give_result_slot) {
    void* buffer = plugin.View(handle, 1, nullptr, nullptr, nullptr, nullptr);
    Require(buffer == nullptr, "no result slot: no buffer");
    Require(quillmend::test::HostCallCount() == 0, "no result slot: no host call");
    return 0;
  }

  std::int64_t result_size = 0x5EED;
  void* buffer = plugin.View(handle, 1, nullptr, nullptr, nullptr, &result_size);
  Expected expected = Predict(item, mode);
  Require(quillmend::test::BrokenCallsRule(handle));

  const std::string staged =
      expected.staged ? item.bytes.substr(0, expected.staged_length) : std::string();
  const Kept* kept = expected.staged ? FindRecent(staged) : nullptr;
  if (kept != nullptr && result_size == kept->size) {
    expected = {kept->size, static_cast<std::uint32_t>(kept->size), false, true,
                expected.staged_length};
  }
  Require(result_size == expected.size,
          "result size as the item, the stand-in and the cache dictate");
  Require(quillmend::test::BrokenAnswerRule(buffer, result_size));
  if (buffer != nullptr) {
    Require(std::memcmp(buffer, item.bytes.data(), expected.copied) == 0,
            "the buffer holds the converted document");
  }
  if (expected.staged && result_size >= 0) UseRecent(staged, result_size);
  const auto messages = quillmend::test::HostMessages();
  Require(messages.size() == (expected.message ? 1u : 0u), "one message per failed conversion");
  if (expected.message) {
    Require(messages[0].text == kConversionFailed && messages[0].flags == 2,
            "the conversion-failure message with flags 2");
  }
  Require(quillmend::test::BrokenReleaseRule(plugin, buffer));
  quillmend::fuzz::RequireNothingLeft();
  Require(quillmend::test::OpenDescriptors() == descriptors, "no descriptor left open");
  return 0;
}
