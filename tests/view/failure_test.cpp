// Every failure after a PDF item has been recognised: -2, no buffer, the conversion-failure
// message exactly once, with its reason, for a failed conversion or a temporary directory that
// cannot take the item, and never otherwise, and no temporary file left.
#include <algorithm>
#include <cstdint>
#include <limits>

#include "fault_seams.h"
#include "support/view_fixture.h"

namespace quillmend::test {
namespace {

class FailureTest : public ViewTest {
 protected:
  void SetUp() override { ASSERT_TRUE(Ready(Ghostscript::kStandin, PluginBuild::kFaultHooks)); }

  // The request failed after recognition and left nothing of its own behind.
  void ExpectFailedAndClean(const ViewResult& result) {
    EXPECT_EQ(result.buffer, nullptr);
    EXPECT_EQ(result.size, -2);
    EXPECT_EQ(QvtFilesIn(temp()), std::vector<std::string>());
  }

  // The same for a failure before Ghostscript: no message, and the stand-in never called.
  void ExpectFailedSilently(const ViewResult& result, const StandinControl& standin) {
    ExpectFailedAndClean(result);
    EXPECT_TRUE(HostMessages().empty());
    EXPECT_TRUE(standin.LogLines().empty());
  }

  // The same for a temporary directory that could not take the item: the failure and its reason.
  void ExpectFailedForTheTempDirectory(const ViewResult& result, const StandinControl& standin) {
    ExpectFailedAndClean(result);
    EXPECT_EQ(HostMessages(), std::vector<HostMessage>{kConversionFailed});
    EXPECT_EQ(ReasonLines(), std::vector<std::u16string>{kTempDirectoryReason});
    EXPECT_TRUE(standin.LogLines().empty());
  }

  // Makes the creation of the request's `which`-th temporary file (0: input, 1: output) fail:
  // -2, the failure with its reason, Ghostscript never asked, and only the files the test placed
  // remain.
  void ExpectTempFileCreationFails(int which) {
    StandinControl standin(folder_.path(), "");
    TempFileCreationFailure failure(temp(), which);
    if (!failure.unavailable.empty()) GTEST_SKIP() << failure.unavailable;
    ScopedTempDirectory temp_directory(failure.directory);
    const ViewResult result = ViewItem(plugin_, AddItem({PdfLikeBytes(400), {}, {}}));
    EXPECT_EQ(result.buffer, nullptr);
    EXPECT_EQ(result.size, -2);
    EXPECT_EQ(QvtFilesIn(failure.directory), failure.placed);
    EXPECT_EQ(HostMessages(), std::vector<HostMessage>{kConversionFailed});
    EXPECT_EQ(ReasonLines(), std::vector<std::u16string>{kTempDirectoryReason});
    EXPECT_TRUE(standin.LogLines().empty());
  }
};

TEST_F(FailureTest, MissingTempDirectory) {
  StandinControl standin(folder_.path(), "");
  const std::filesystem::path missing = folder_.path() / "no such folder";
  ScopedTempDirectory temp_directory(missing, false);
  ExpectFailedForTheTempDirectory(ViewItem(plugin_, AddItem({PdfLikeBytes(400), {}, {}})), standin);
  EXPECT_FALSE(std::filesystem::exists(missing));
}

TEST_F(FailureTest, FirstTempFileCannotBeCreated) {
  ExpectTempFileCreationFails(0);
}

// The first file was made and must be gone again.
TEST_F(FailureTest, SecondTempFileCannotBeCreated) {
  ExpectTempFileCreationFails(1);
}

TEST_F(FailureTest, ItemReadComesBackShort) {
  StandinControl standin(folder_.path(), "");
  void* item = AddItem({PdfLikeBytes(1000), {}, 600});
  ExpectFailedSilently(ViewItem(plugin_, item), standin);
  ASSERT_EQ(CallsOn(item).reads.size(), 2u);
  EXPECT_EQ(CallsOn(item).reads[1].requested, 1000u);
}

TEST_F(FailureTest, ItemShorterThanItsReportedSize) {
  StandinControl standin(folder_.path(), "");
  ExpectFailedSilently(ViewItem(plugin_, AddItem({PdfLikeBytes(300), 1000, {}})), standin);
}

TEST_F(FailureTest, StagingWriteFails) {
  StandinControl standin(folder_.path(), "");
  void* item = AddItem({PdfLikeBytes(100000), {}, {}});
  ViewResult result;
  {
    FileSizeLimit limit(4096);
    if (!limit.unavailable.empty()) GTEST_SKIP() << limit.unavailable;
    result = ViewItem(plugin_, item);
  }
  ExpectFailedForTheTempDirectory(result, standin);
  EXPECT_EQ(CallsOn(item).reads.size(), 2u) << "the item was read, then its write failed";
}

// Items of 2^32 bytes or more do not fit the single 32-bit read: refused before any staging.
class HugeItemTest : public FailureTest, public testing::WithParamInterface<std::int64_t> {};

TEST_P(HugeItemTest, IsRefusedWithoutReadingIt) {
  StandinControl standin(folder_.path(), "");
  void* item = AddItem({PdfLikeBytes(400), GetParam(), {}});
  ExpectFailedSilently(ViewItem(plugin_, item), standin);
  EXPECT_EQ(CallsOn(item).reads.size(), 1u) << "only the header may be read";
}

INSTANTIATE_TEST_SUITE_P(Sizes, HugeItemTest,
                         testing::Values(std::int64_t{1} << 32, (std::int64_t{1} << 32) + 1,
                                         std::numeric_limits<std::int64_t>::max()));

// Ghostscript's own failures, forced through the stand-in. Ghostscript keeps a document it
// failed on open until its instance exits, and so does the stand-in under hold-input: on Windows
// the staged input can go only once the instance has exited.
class GhostscriptFailureTest : public FailureTest,
                               public testing::WithParamInterface<const char*> {};

TEST_P(GhostscriptFailureTest, ReportsOneConversionFailure) {
  StandinControl standin(folder_.path(), GetParam());
  ExpectFailedAndClean(ViewItem(plugin_, AddItem({PdfLikeBytes(400), {}, {}})));
  EXPECT_EQ(HostMessages(), std::vector<HostMessage>{kConversionFailed});
  const std::vector<std::string> log = standin.LogLines();
  EXPECT_EQ(std::count(log.begin(), log.end(), "new"), 1);
  EXPECT_EQ(std::count(log.begin(), log.end(), "exit"), 1);
  EXPECT_EQ(std::count(log.begin(), log.end(), "delete"), 1);
}

INSTANTIATE_TEST_SUITE_P(Faults, GhostscriptFailureTest,
                         testing::Values("fail-new", "fail-encoding", "fail-init", "fail-remove",
                                         "fail-run", "fail-run-after-pages", "fail-param",
                                         "no-pages", "fail-exit", "hold-input,fail-run"),
                         [](const testing::TestParamInfo<const char*>& info) {
                           std::string name = info.param;
                           std::erase_if(name, [](char c) { return c == '-' || c == ','; });
                           return name;
                         });

TEST_F(FailureTest, ConversionLeavesNoOutputFile) {
  StandinControl standin(folder_.path(), "no-output");
  ExpectFailedAndClean(ViewItem(plugin_, AddItem({PdfLikeBytes(400), {}, {}})));
  EXPECT_TRUE(HostMessages().empty()) << "the conversion itself reported success";
  const std::vector<std::string> log = standin.LogLines();
  EXPECT_NE(std::find(log.begin(), log.end(), "param PageCount"), log.end());
}

}  // namespace
}  // namespace quillmend::test
