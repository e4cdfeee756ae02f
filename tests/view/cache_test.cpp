// The cache of converted documents: bytes seen before come back as a copy, without Ghostscript
// and without a file; anything else converts; the cache keeps to its budget, least recently used
// first; failures are never kept.

#include "support/creation_watch.h"
#include "support/view_fixture.h"

namespace quillmend::test {
namespace {

class CacheTest : public ViewTest {
 protected:
  // Views `document` as an item of its own; true when exactly those bytes came back.
  bool ViewsWhole(const std::string& document) { return Convert(document) == document; }

  // How many conversions the stand-in has run.
  int Conversions() const { return static_cast<int>(standin_.Values("new").size()); }

  StandinControl standin_{folder_.path(), ""};
};

// A document of `size` bytes that differs from the others of its size by `tag`.
std::string Tagged(std::size_t size, char tag) {
  std::string document = PdfLikeBytes(size);
  document[size / 2] = tag;
  return document;
}

TEST_F(CacheTest, RepeatedBytesComeBackWithoutAConversionOrAFile) {
  ASSERT_TRUE(Ready(Ghostscript::kStandin));
  const std::string document = PdfLikeBytes(5000);
  void* item = AddItem({document, {}, {}});
  const ViewResult first = ViewItem(plugin_, item);
  EXPECT_EQ(BufferBytes(first), document);
  EXPECT_EQ(plugin_.ReleaseMem(first.buffer), 1);

  CreationWatch watch(temp());
  // The same item again, and another item with the same bytes: each gets a block of its own.
  const ViewResult again = ViewItem(plugin_, item);
  const ViewResult copy = ViewItem(plugin_, AddItem({document, {}, {}}));
  EXPECT_EQ(BufferBytes(again), document);
  EXPECT_EQ(BufferBytes(copy), document);
  EXPECT_NE(again.buffer, copy.buffer);
  EXPECT_EQ(plugin_.ReleaseMem(again.buffer), 1);
  EXPECT_EQ(plugin_.ReleaseMem(copy.buffer), 1);

  EXPECT_EQ(Conversions(), 1);
  EXPECT_TRUE(HostMessages().empty());
  if (watch.unavailable.empty()) {
    EXPECT_TRUE(watch.Created().empty());
  }
  EXPECT_TRUE(EntriesOf(temp()).empty());
}

TEST_F(CacheTest, OtherBytesConvert) {
  ASSERT_TRUE(Ready(Ghostscript::kStandin));
  const std::string document = PdfLikeBytes(5000);
  std::string last_byte_changed = document;
  last_byte_changed.back() ^= 1;
  // Only the last view, of bytes seen before, comes from the cache.
  for (const std::string& bytes : {document, last_byte_changed, document + " ", document}) {
    EXPECT_TRUE(ViewsWhole(bytes));
  }
  EXPECT_EQ(Conversions(), 3);
}

TEST_F(CacheTest, KeepsToItsBudgetDroppingTheLeastRecentlyUsed) {
  ASSERT_TRUE(ReadyWithCache("4"));
  // Four of these fill the 4 MiB; a fifth pushes out the one used longest ago.
  std::vector<std::string> documents;
  for (char tag = 'a'; tag <= 'e'; ++tag) documents.push_back(Tagged(1000000, tag));
  struct Step {
    std::size_t document;
    bool converts;
  };
  const Step steps[] = {{0, true},  {1, true},  {2, true},  {3, true},  {0, false}, {4, true},
                        {0, false}, {2, false}, {3, false}, {4, false}, {1, true}};
  int conversions = 0;
  for (const Step& step : steps) {
    EXPECT_TRUE(ViewsWhole(documents[step.document]));
    conversions += step.converts ? 1 : 0;
    EXPECT_EQ(Conversions(), conversions) << "viewing document " << step.document;
  }

  // More than a quarter of the budget is never kept.
  const std::string large = Tagged((std::size_t{1} << 20) + 1, 'f');
  EXPECT_TRUE(ViewsWhole(large));
  EXPECT_TRUE(ViewsWhole(large));
  EXPECT_EQ(Conversions(), conversions + 2);
}

TEST_F(CacheTest, FailedConversionsAreNotKept) {
  ASSERT_TRUE(Ready(Ghostscript::kStandin));
  const std::string document = PdfLikeBytes(5000);
  {
    StandinControl failing(folder_.path(), "fail-run");
    for (int view = 0; view < 2; ++view) {
      const ViewResult result = ViewItem(plugin_, AddItem({document, {}, {}}));
      EXPECT_EQ(result.buffer, nullptr);
      EXPECT_EQ(result.size, -2);
    }
    EXPECT_EQ(HostMessages(), std::vector<HostMessage>(2, kConversionFailed));
    EXPECT_EQ(Conversions(), 2);
  }
  EXPECT_TRUE(ViewsWhole(document));
  EXPECT_TRUE(ViewsWhole(document));
  EXPECT_EQ(Conversions(), 3);
}

TEST_F(CacheTest, BudgetZeroConvertsEveryTimeAndAnUnusableSettingKeepsTheDefault) {
  ASSERT_TRUE(ReadyWithCache("0"));
  const std::string document = PdfLikeBytes(5000);
  CreationWatch watch(temp());
  EXPECT_TRUE(ViewsWhole(document));
  EXPECT_TRUE(ViewsWhole(document));
  EXPECT_EQ(Conversions(), 2);
  if (watch.unavailable.empty()) {
    EXPECT_EQ(watch.Created().size(), 4u);
  }

  // Each new start reads the setting again. One that is no number, or a number above 1048576
  // (2^44 MiB would wrap around to no cache at all, as bytes), is reported and ignored.
  int conversions = Conversions();
  for (const char* setting :
       {"64M", "1048577", "17592186044416", "123456789012345678901234567890"}) {
    ResetHost();
    ScopedEnvironment budget("QUILLMEND_CACHE_MB", setting);
    EXPECT_EQ(plugin_.Init(1, 0, nullptr, nullptr), 2);
    const std::vector<HostMessage> messages = HostMessages();
    ASSERT_EQ(messages.size(), 2u) << setting;
    EXPECT_EQ(messages[1].text.rfind(u"[WARNING] QUILLMEND_CACHE_MB is not a whole number", 0), 0u)
        << setting;
    const std::string tagged = Tagged(5000, setting[0]);
    EXPECT_TRUE(ViewsWhole(tagged + setting));
    EXPECT_TRUE(ViewsWhole(tagged + setting));
    EXPECT_EQ(Conversions(), ++conversions) << setting;
  }
}

}  // namespace
}  // namespace quillmend::test
