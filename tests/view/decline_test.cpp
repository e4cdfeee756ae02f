// Items the plug-in must not take, and calls it must refuse before touching anything.
#include <cstdint>
#include <limits>
#include <optional>

#include "support/view_fixture.h"

namespace quillmend::test {
namespace {

struct DeclineCase {
  const char* name;
  std::string bytes;
  std::optional<std::int64_t> reported_size;
  std::optional<std::uint32_t> read_limit;
  std::size_t expected_reads;  // 0: declined on the size alone
};

void PrintTo(const DeclineCase& c, std::ostream* out) {
  *out << c.name;
}

std::string Padded(std::string head) {
  while (head.size() < 400) head += "% padding line\n";
  return head;
}

class DeclineTest : public ViewTest, public testing::WithParamInterface<DeclineCase> {};

TEST_P(DeclineTest, AnswersNotTakenAndCreatesNothing) {
  ASSERT_TRUE(Ready(Ghostscript::kStandin));
  StandinControl standin(folder_.path(), "");
  const DeclineCase& c = GetParam();
  void* item = AddItem({c.bytes, c.reported_size, c.read_limit});

  const ViewResult result = ViewItem(plugin_, item);
  EXPECT_EQ(result.buffer, nullptr);
  EXPECT_EQ(result.size, -1);

  const ItemCalls calls = CallsOn(item);
  EXPECT_EQ(calls.get_size_options, std::vector<void*>{reinterpret_cast<void*>(1)});
  ASSERT_EQ(calls.reads.size(), c.expected_reads);
  for (const ReadCall& read : calls.reads) {
    EXPECT_EQ(read.offset, 0);
    EXPECT_LE(read.requested, 5u) << "a header read, not the whole item";
  }
  EXPECT_TRUE(HostMessages().empty());
  EXPECT_TRUE(EntriesOf(temp()).empty());
  EXPECT_TRUE(standin.LogLines().empty());
}

const std::int64_t kMostNegative = std::numeric_limits<std::int64_t>::min();

INSTANTIATE_TEST_SUITE_P(
    Items, DeclineTest,
    testing::Values(
        DeclineCase{"Empty", "", {}, {}, 0},
        DeclineCase{"OneByteShortOfTheMinimum", PdfLikeBytes(149), {}, {}, 0},
        DeclineCase{"ReportedShorterThanItIs", PdfLikeBytes(1000), 149, {}, 0},
        DeclineCase{"NegativeSize", PdfLikeBytes(1000), -1, {}, 0},
        DeclineCase{"MostNegativeSize", PdfLikeBytes(1000), kMostNegative, {}, 0},
        DeclineCase{"LowerCaseHeader", Padded("%pdf-1.4\n"), {}, {}, 1},
        DeclineCase{"PostScriptBehindPdf", Padded("%PDF\n%!PS\n/Helvetica findfont\n"), {}, {}, 1},
        DeclineCase{"PdfThenDigit", Padded("%PDF1.4\n"), {}, {}, 1},
        DeclineCase{"PdfThenSpace", Padded("%PDF -1.4\n"), {}, {}, 1},
        DeclineCase{"ByteOrderMark", Padded("\xEF\xBB\xBF%PDF-1.4\n"), {}, {}, 1},
        DeclineCase{"LeadingSpace", Padded(" %PDF-1.4\n"), {}, {}, 1},
        DeclineCase{"LeadingNewline", Padded("\n%PDF-1.4\n"), {}, {}, 1},
        DeclineCase{"NulInHeader", Padded(std::string("%PDF\0-1.4\n", 10)), {}, {}, 1},
        DeclineCase{"ShortHeaderRead", PdfLikeBytes(1000), {}, 4, 1},
        DeclineCase{"NothingRead", PdfLikeBytes(1000), {}, 0, 1}),
    [](const testing::TestParamInfo<DeclineCase>& info) { return info.param.name; });

using AcceptTest = ViewTest;

TEST_F(AcceptTest, ExactlyTheMinimumSizeIsTaken) {
  ASSERT_TRUE(Ready(Ghostscript::kStandin));
  const std::string document = PdfLikeBytes(150);
  void* item = AddItem({document, {}, {}});
  const ViewResult result = ViewItem(plugin_, item);
  EXPECT_EQ(result.size, 150);
  EXPECT_EQ(BufferBytes(result), document);
  EXPECT_EQ(plugin_.ReleaseMem(result.buffer), 1);
  // The header, then the whole item in one read.
  const ItemCalls calls = CallsOn(item);
  ASSERT_EQ(calls.reads.size(), 2u);
  EXPECT_EQ(calls.reads[1].offset, 0);
  EXPECT_EQ(calls.reads[1].requested, 150u);
  EXPECT_TRUE(EntriesOf(temp()).empty());
}

using RefusedCallTest = ViewTest;

TEST_F(RefusedCallTest, NullResultSizeSlotTouchesNothing) {
  ASSERT_TRUE(Ready(Ghostscript::kStandin));
  StandinControl standin(folder_.path(), "");
  void* item = AddItem({PdfLikeBytes(400), {}, {}});
  EXPECT_EQ(plugin_.View(item, 1, nullptr, nullptr, nullptr, nullptr), nullptr);
  EXPECT_EQ(HostCallCount(), 0);
  EXPECT_TRUE(standin.LogLines().empty());
  EXPECT_TRUE(EntriesOf(temp()).empty());
}

TEST_F(RefusedCallTest, ViewBeforeInitCallsNoService) {
  ResetHost();
  ASSERT_TRUE(LoadPlugin(folder_.path() / "plugin", Ghostscript::kStandin, &plugin_));
  ExpectViewTouchesNothing(plugin_, folder_.path(), 0);
}

TEST_F(RefusedCallTest, ViewAfterFailedInitCallsNoService) {
  ResetHost();
  ASSERT_TRUE(LoadPlugin(folder_.path() / "plugin", Ghostscript::kNone, &plugin_));
  ASSERT_EQ(plugin_.Init(0, 0, nullptr, nullptr), -1);
  ResetHost();
  ExpectViewTouchesNothing(plugin_, folder_.path(), 0);
}

TEST(ReleaseMemTest, NullIsNotABuffer) {
  TestFolder folder;
  Plugin plugin;
  ASSERT_TRUE(LoadPlugin(folder.path() / "plugin", Ghostscript::kNone, &plugin));
  EXPECT_EQ(plugin.ReleaseMem(nullptr), 0);
}

}  // namespace
}  // namespace quillmend::test
