// Load: eight threads at once, each making a hundred requests that mix good PDFs, items that are
// no PDF and broken PDFs, over a cache too small for all the good ones; then the same with the
// stand-in failing at random steps. Every outcome
// is as expected, no two requests share a temporary name, nothing is left behind, and resident
// memory stays flat once warmed up.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <iostream>
#include <set>

#include "hostile_fixture.h"
#include "resident_memory.h"
#include "support/staging.h"
#include "support/system.h"
#include "support/view_contract.h"

namespace quillmend::test {
namespace {

constexpr int kThreads = 8;
constexpr int kRequestsPerThread = 100;
constexpr int kWarmUpRequestsPerThread = 25;

// A leak of one item-sized block per good request (about 300 of them per run, the largest item
// 256 KiB) would add far more than this; glibc's per-thread arenas are filled during the warm-up
// and then reuse their memory, which keeps the rest of the growth to a few MiB.
constexpr std::int64_t kResidentGrowthBoundKiB = 16 * 1024;

enum class Kind { kGood, kNotPdf, kBroken };

struct Item {
  Kind kind;
  std::string bytes;
  void* handle = nullptr;
};

struct Tally {
  std::atomic<int> good_failed{0};
  std::atomic<int> wrong{0};  // outcomes that break the expectation for their kind
};

class StressTest : public HostileTest {
 protected:
  void SetUp() override {
    // A small cache, which the good items overfill: views mix hits, misses and evictions.
    ASSERT_TRUE(ReadyWithCache("1"));
    for (const std::size_t size : {150, 4000, 65536, 180000, 200000, 220000, 240000, 262144})
      AddStressItem(Kind::kGood, PdfLikeBytes(size), {}, {});
    AddStressItem(Kind::kNotPdf, std::string(5000, 'x'), {}, {});
    AddStressItem(Kind::kNotPdf, "%pdf-" + PdfLikeBytes(3000).substr(5), {}, {});
    AddStressItem(Kind::kNotPdf, PdfLikeBytes(149), {}, {});
    AddStressItem(Kind::kNotPdf, PdfLikeBytes(3000), std::int64_t{-5}, {});
    // Broken: the host delivers less than it announced.
    AddStressItem(Kind::kBroken, PdfLikeBytes(65536), {}, std::uint32_t{4096});
    AddStressItem(Kind::kBroken, PdfLikeBytes(8000), std::int64_t{9000}, {});
  }

  void AddStressItem(Kind kind, std::string bytes, std::optional<std::int64_t> reported,
                     std::optional<std::uint32_t> limit) {
    items_.push_back({kind, bytes, AddItem({std::move(bytes), reported, limit})});
  }

  // Runs `per_thread` requests on each of kThreads threads at once. With `may_fail`, a good
  // item may also come back -2 (the stand-in was told to fail at random).
  void Run(int per_thread, bool may_fail, Tally* tally) {
    OnThreads(kThreads, per_thread, [&](int t, int r) {
      RunOne(items_[static_cast<std::size_t>(t * 7 + r * 3) % items_.size()], may_fail, tally);
    });
  }

  void RunOne(const Item& item, bool may_fail, Tally* tally) {
    std::int64_t size = 0x5EED;
    void* buffer = plugin_.View(item.handle, 1, nullptr, nullptr, nullptr, &size);
    bool expected = BrokenAnswerRule(buffer, size) == nullptr;
    switch (item.kind) {
      case Kind::kGood: {
        const bool copied = size == static_cast<std::int64_t>(item.bytes.size()) &&
                            buffer != nullptr &&
                            std::memcmp(buffer, item.bytes.data(), item.bytes.size()) == 0;
        if (!copied && size == -2) ++tally->good_failed;
        expected = expected && (copied || (may_fail && size == -2));
        break;
      }
      case Kind::kNotPdf:
        expected = expected && size == -1;
        break;
      case Kind::kBroken:
        expected = expected && size == -2;
        break;
    }
    if (BrokenReleaseRule(plugin_, buffer) != nullptr || !expected) ++tally->wrong;
  }

  // Every temporary name the stand-in was given, all distinct and all in the temporary
  // directory; returns how many there were.
  std::size_t ExpectDistinctTempNames(const StandinControl& standin) {
    const std::vector<std::string> names = standin.FilesNamed();
    const std::set<std::string> distinct(names.begin(), names.end());
    EXPECT_EQ(distinct.size(), names.size()) << "two requests shared a temporary name";
    const std::string prefix = PathUtf8(temp() / "QVT");
    for (const std::string& name : names) {
      EXPECT_EQ(name.rfind(prefix, 0), 0u) << name;
    }
    return names.size();
  }

  // The warm-up, then the measured run, both counted in `tally`; the growth of resident memory
  // between the two. No file descriptor may stay open, whatever the requests' outcomes.
  std::int64_t RunMeasured(bool may_fail, Tally* tally) {
    Run(kWarmUpRequestsPerThread, may_fail, tally);
    const std::int64_t before = ResidentKiB();
    const int descriptors = OpenDescriptors();
    Run(kRequestsPerThread, may_fail, tally);
    EXPECT_EQ(OpenDescriptors(), descriptors) << "a file was left open";
    const std::int64_t after = ResidentKiB();
    std::cout << "[ memory   ] resident " << before << " KiB after the warm-up, " << after
              << " KiB after " << kThreads * kRequestsPerThread << " requests\n";
    return after - before;
  }

  void ExpectFlat(std::int64_t growth) {
    if (UnderAddressSanitizer()) return;  // its quarantine keeps freed blocks resident
    EXPECT_LT(growth, kResidentGrowthBoundKiB) << "resident memory grew by " << growth << " KiB";
  }

  std::vector<Item> items_;
};

// Each conversion lasts a while (the stand-in's "sleep"), so that the threads' conversions overlap;
// the stand-in's count of live instances shows that they did.
TEST_F(StressTest, EightThreadsMixingGoodNonPdfAndBrokenItems) {
  StandinControl standin(folder_.path(), "sleep");
  Tally tally;
  const std::int64_t growth = RunMeasured(false, &tally);
  EXPECT_EQ(tally.wrong, 0) << "requests with an unexpected outcome";
  // Overlapping at all shows that nothing serialises the views (how many at once is the
  // scheduler's matter).
  EXPECT_GE(standin.PeakAlive(), 2);
  EXPECT_TRUE(HostMessages().empty());
  const std::size_t names = ExpectDistinctTempNames(standin);
  std::cout << "[ stress   ] " << kThreads * (kRequestsPerThread + kWarmUpRequestsPerThread)
            << " requests, " << names << " temporary names, all distinct\n";
  ExpectNothingLeftIn(temp());
  ExpectFlat(growth);
}

int CountLines(const std::vector<std::string>& lines, const std::string& prefix) {
  return static_cast<int>(std::count_if(lines.begin(), lines.end(), [&](const std::string& line) {
    return line.rfind(prefix, 0) == 0;
  }));
}

TEST_F(StressTest, EightThreadsWithGhostscriptFailingAtRandomSteps) {
  ScopedEnvironment seed("QUILLMEND_STANDIN_SEED", "20240611");
  StandinControl standin(folder_.path(), "fail-random,sleep");
  Tally tally;
  const std::int64_t growth = RunMeasured(true, &tally);
  EXPECT_EQ(tally.wrong, 0) << "requests with an unexpected outcome";
  // Overlapping at all shows that nothing serialises the views (how many at once is the
  // scheduler's matter).
  EXPECT_GE(standin.PeakAlive(), 2);

  // Each forced failure fails exactly one good request; all but a missing output file are
  // failures Ghostscript reports, and each of those brings exactly one message.
  const std::vector<std::string> log = standin.LogLines();
  const int forced = CountLines(log, "forced ");
  const int forced_silent = CountLines(log, "forced no-output");
  const std::vector<HostMessage> messages = HostMessages();
  EXPECT_EQ(static_cast<int>(messages.size()), forced - forced_silent);
  for (const HostMessage& message : messages) EXPECT_EQ(message, kConversionFailed);
  EXPECT_EQ(tally.good_failed, forced) << "a good item failed without a forced failure";
  const std::size_t names = ExpectDistinctTempNames(standin);
  std::cout << "[ stress   ] " << kThreads * (kRequestsPerThread + kWarmUpRequestsPerThread)
            << " requests, " << forced << " failures forced (" << forced_silent
            << " of them a missing output), " << names << " temporary names, all distinct\n";
  ExpectNothingLeftIn(temp());
  ExpectFlat(growth);
}

// A smaller mix through the real library: good fixtures, no PDF, and a PDF header over garbage,
// four threads at once. Ghostscript's own state is shared by its instances; the plug-in's is not.
class RealStressTest : public HostileTest {};

TEST_F(RealStressTest, FourThreadsMixingFixturesNonPdfAndGarbage) {
  if (!RealGhostscriptAvailable()) GTEST_SKIP() << "no real Ghostscript library here";
  ASSERT_TRUE(Ready(Ghostscript::kReal));
  constexpr int kRealThreads = 4;
  constexpr int kRealRequestsPerThread = 6;
  std::vector<Item> items;
  for (const char* name : {"standard_fonts.pdf", "three_pages.pdf", "truetype.pdf"}) {
    items.push_back({Kind::kGood, ReadFileBytes(FixturePdf(name))});
  }
  items.push_back({Kind::kNotPdf, std::string(4000, '%')});
  std::string garbage = "%PDF-1.7\n";
  for (int i = 0; garbage.size() < 6000; ++i) garbage += static_cast<char>((i * 131) % 256);
  items.push_back({Kind::kBroken, garbage});
  for (Item& item : items) item.handle = AddItem({item.bytes, {}, {}});

  std::atomic<int> wrong{0};
  std::atomic<int> failed{0};
  OnThreads(kRealThreads, kRealRequestsPerThread, [&](int t, int r) {
    const Item& item = items[static_cast<std::size_t>(t + r) % items.size()];
    std::int64_t size = 0x5EED;
    void* buffer = plugin_.View(item.handle, 1, nullptr, nullptr, nullptr, &size);
    const bool pdf = buffer != nullptr && size >= 8 && std::memcmp(buffer, "%PDF-1.5", 8) == 0;
    const bool expected = item.kind == Kind::kGood     ? pdf
                          : item.kind == Kind::kNotPdf ? size == -1 && buffer == nullptr
                                                       : (size == -2 && buffer == nullptr) || pdf;
    if (size == -2) ++failed;
    if (BrokenReleaseRule(plugin_, buffer) != nullptr || !expected) ++wrong;
  });
  EXPECT_EQ(wrong, 0) << "requests with an unexpected outcome";
  EXPECT_EQ(static_cast<int>(HostMessages().size()), failed.load());
  ExpectNothingLeftIn(temp());
}

}  // namespace
}  // namespace quillmend::test
