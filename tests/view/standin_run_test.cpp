// Successful requests through the stand-in: what reaches Ghostscript, in which order, and what
// comes back to the host.
#include <algorithm>
#include <set>
#include <thread>

#include "support/system.h"
#include "view_fixture.h"

namespace quillmend::test {
namespace {

using StandinRunTest = ViewTest;

bool IsTempFileIn(const std::string& utf8_path, const std::filesystem::path& directory) {
  const std::filesystem::path path = Utf8Path(utf8_path);
  std::error_code error;
  return PathUtf8(path.filename()).rfind("QVT", 0) == 0 &&
         std::filesystem::equivalent(path.parent_path(), directory, error);
}

TEST_F(StandinRunTest, ReturnsTheConvertedDocumentAndReleasesIt) {
  ASSERT_TRUE(Ready(Ghostscript::kStandin));
  StandinControl standin(folder_.path(), "");
  const std::string document = PdfLikeBytes(5000);
  void* item = AddItem({document, {}, {}});

  const ViewResult result = ViewItem(plugin_, item);
  ASSERT_NE(result.buffer, nullptr);
  EXPECT_EQ(result.size, 5000);
  EXPECT_EQ(BufferBytes(result), document);
  EXPECT_EQ(plugin_.ReleaseMem(result.buffer), 1);

  const ItemCalls calls = CallsOn(item);
  EXPECT_EQ(calls.get_size_options, std::vector<void*>{reinterpret_cast<void*>(1)});
  ASSERT_EQ(calls.reads.size(), 2u);
  EXPECT_EQ(calls.reads[1].offset, 0);
  EXPECT_EQ(calls.reads[1].requested, 5000u);
  EXPECT_TRUE(HostMessages().empty());
  EXPECT_TRUE(EntriesOf(temp()).empty());
}

TEST_F(StandinRunTest, EmptyOutputIsAValidBufferOfSizeZero) {
  ASSERT_TRUE(Ready(Ghostscript::kStandin));
  StandinControl standin(folder_.path(), "empty-output");
  const ViewResult result = ViewItem(plugin_, AddItem({PdfLikeBytes(400), {}, {}}));
  EXPECT_NE(result.buffer, nullptr);
  EXPECT_EQ(result.size, 0);
  EXPECT_EQ(plugin_.ReleaseMem(result.buffer), 1);
  EXPECT_TRUE(HostMessages().empty());
  EXPECT_TRUE(EntriesOf(temp()).empty());
}

TEST_F(StandinRunTest, GhostscriptGetsTheFixedArgumentsInOrder) {
  ASSERT_TRUE(Ready(Ghostscript::kStandin));
  StandinControl standin(folder_.path(), "");
  const ViewResult result = ViewItem(plugin_, AddItem({PdfLikeBytes(400), {}, {}}));
  ASSERT_NE(result.buffer, nullptr);
  plugin_.ReleaseMem(result.buffer);

  const std::vector<std::string> log = standin.LogLines();
  ASSERT_EQ(log.size(), 15u) << testing::PrintToString(log);
  const std::vector<std::string> fixed = {"new",
                                          "encoding 1",
                                          "init 10",
                                          "arg 0 1337",
                                          "arg 1 -sDEVICE=pdfwrite",
                                          "arg 2 -dNoOutputFonts",
                                          "arg 3 -dCompatibilityLevel=1.5",
                                          "arg 4 -r150",
                                          "arg 5 -dQUIET",
                                          "arg 6 -dSAFER",
                                          "arg 7 -o"};
  EXPECT_EQ(std::vector<std::string>(log.begin(), log.begin() + 11), fixed);
  EXPECT_EQ(log[13], "exit");
  EXPECT_EQ(log[14], "delete");

  const std::vector<std::string> outputs = standin.Arguments(8);
  const std::vector<std::string> inputs = standin.Arguments(9);
  ASSERT_EQ(outputs.size(), 1u);
  ASSERT_EQ(inputs.size(), 1u);
  EXPECT_TRUE(IsTempFileIn(outputs[0], temp())) << outputs[0];
  EXPECT_TRUE(IsTempFileIn(inputs[0], temp())) << inputs[0];
  EXPECT_NE(outputs[0], inputs[0]);
  EXPECT_TRUE(EntriesOf(temp()).empty());
}

TEST_F(StandinRunTest, GhostscriptWithoutArgumentEncodingStillConverts) {
  ASSERT_TRUE(Ready(Ghostscript::kStandinWithoutEncoding));
  StandinControl standin(folder_.path(), "");
  const std::string document = PdfLikeBytes(400);
  const ViewResult result = ViewItem(plugin_, AddItem({document, {}, {}}));
  EXPECT_EQ(BufferBytes(result), document);
  EXPECT_EQ(plugin_.ReleaseMem(result.buffer), 1);
  const std::vector<std::string> log = standin.LogLines();
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log[0], "new");
  EXPECT_EQ(log[1], "init 10");
  EXPECT_TRUE(HostMessages().empty());
  EXPECT_TRUE(EntriesOf(temp()).empty());
}

// A user whose temporary directory holds characters outside ASCII (and outside any one ANSI
// code page). Under Wine the stand-in decodes the paths as Ghostscript does: in the ANSI code
// page unless UTF-8 was requested, so without the encoding call it cannot open the files.
TEST_F(StandinRunTest, NonAsciiTempDirectoryReachesGhostscriptAsUtf8) {
  ASSERT_TRUE(Ready(Ghostscript::kStandin));
  StandinControl standin(folder_.path(), "");
  const std::filesystem::path directory =
      folder_.path() / Utf8Path("j\u00fcrgen \u0416\u043e\u0440\u0430");
  ScopedTempDirectory temp_directory(directory);

  const std::string document = PdfLikeBytes(400);
  const ViewResult result = ViewItem(plugin_, AddItem({document, {}, {}}));
  EXPECT_EQ(BufferBytes(result), document);
  EXPECT_EQ(plugin_.ReleaseMem(result.buffer), 1);
  EXPECT_TRUE(HostMessages().empty());

  for (int index : {8, 9}) {
    const std::vector<std::string> paths = standin.Arguments(index);
    ASSERT_EQ(paths.size(), 1u);
    EXPECT_NE(paths[0].find("j\u00fcrgen \u0416\u043e\u0440\u0430"), std::string::npos) << paths[0];
    EXPECT_TRUE(IsTempFileIn(paths[0], directory)) << paths[0];
  }
  EXPECT_TRUE(EntriesOf(directory).empty());
}

TEST_F(StandinRunTest, ConcurrentRequestsUseDistinctTempFiles) {
  ASSERT_TRUE(Ready(Ghostscript::kStandin));
  // Each conversion lasts a while, so the requests overlap.
  StandinControl standin(folder_.path(), "sleep");
  constexpr int kThreads = 8;
  constexpr int kRequestsPerThread = 4;
  std::vector<std::string> documents;
  std::vector<void*> items;
  for (int i = 0; i < kThreads; ++i) {
    documents.push_back(PdfLikeBytes(1000 + 37 * static_cast<std::size_t>(i)));
    items.push_back(AddItem({documents.back(), {}, {}}));
  }
  std::vector<int> matches(kThreads, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int r = 0; r < kRequestsPerThread; ++r) {
        const ViewResult result = ViewItem(plugin_, items[t]);
        if (BufferBytes(result) == documents[t]) ++matches[t];
        plugin_.ReleaseMem(result.buffer);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();

  EXPECT_EQ(matches, std::vector<int>(kThreads, kRequestsPerThread));
  EXPECT_TRUE(HostMessages().empty());
  std::vector<std::string> names = standin.Arguments(8);
  const std::vector<std::string> inputs = standin.Arguments(9);
  names.insert(names.end(), inputs.begin(), inputs.end());
  EXPECT_EQ(names.size(), 2u * kThreads * kRequestsPerThread);
  EXPECT_EQ(std::set<std::string>(names.begin(), names.end()).size(), names.size());
  EXPECT_TRUE(EntriesOf(temp()).empty());
}

}  // namespace
}  // namespace quillmend::test
