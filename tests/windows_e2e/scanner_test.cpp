// Views beside a virus scanner that holds each new staged file for 40 ms: every view converts,
// and nothing is left behind.
#include <chrono>

#include "real_dll.h"
#include "support/sandbox.h"
#include "support/scanner.h"
#include "support/view_support.h"

namespace quillmend::test {
namespace {

constexpr int kViews = 12;
const char* const kFixtures[] = {"standard_fonts", "three_pages", "truetype"};

class ScannerTest : public ViewTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(RealGhostscriptAvailable()) << kNoRealDll;
    // Every view converts: none is answered from the cache.
    ASSERT_TRUE(ReadyWithCache("0", Ghostscript::kReal));
  }
};

TEST_F(ScannerTest, EveryViewConvertsBesideAScannerThatHoldsEachNewFile) {
  Scanner scanner(temp(), "QVT", std::chrono::milliseconds(40));
  ASSERT_EQ(scanner.unavailable, "");
  int converted = 0;
  for (int view = 0; view < kViews; ++view) {
    const std::string fixture = kFixtures[view % 3];
    converted += IsWholePdf15(Convert(ReadFileBytes(FixturePdf(fixture + ".pdf")))) ? 1 : 0;
  }
  EXPECT_EQ(converted, kViews);
  EXPECT_EQ(HostMessages(), std::vector<HostMessage>());
  EXPECT_EQ(EntriesOf(temp()), std::vector<std::string>());
  // The scanner got in the way: it held staged files of most views (12 to 22 of the 24 in runs
  // under Wine).
  EXPECT_GE(scanner.FilesHeld(), kViews / 2);
}

}  // namespace
}  // namespace quillmend::test
