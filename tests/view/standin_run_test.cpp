// Successful requests through the stand-in: what reaches Ghostscript, in which order, and what
// comes back to the host.
#include <algorithm>
#include <set>

#include "support/system.h"
#include "support/view_fixture.h"

namespace quillmend::test {
namespace {

class StandinRunTest : public ViewTest {
 protected:
  // One view of a document the stand-in copies, with the library `ghostscript`: it comes back
  // whole and is released, no message is sent and nothing is left. The stand-in's log of it.
  std::vector<std::string> ViewCopied(Ghostscript ghostscript, const std::string& words) {
    if (!Ready(ghostscript)) return {};
    StandinControl standin(folder_.path(), words);
    const std::string document = PdfLikeBytes(400);
    const ViewResult result = ViewItem(plugin_, AddItem({document, {}, {}}));
    EXPECT_EQ(BufferBytes(result), document);
    EXPECT_EQ(plugin_.ReleaseMem(result.buffer), 1);
    EXPECT_TRUE(HostMessages().empty());
    EXPECT_TRUE(EntriesOf(temp()).empty());
    return standin.LogLines();
  }
};

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

// The fixed arguments, in order: the program-name slot, the device and its settings, the output.
const std::vector<std::string> kStartArguments = {"arg 0 1337",
                                                  "arg 1 -sDEVICE=pdfwrite",
                                                  "arg 2 -dNoOutputFonts",
                                                  "arg 3 -dCompatibilityLevel=1.5",
                                                  "arg 4 -r150",
                                                  "arg 5 -dQUIET",
                                                  "arg 6 -dSAFER",
                                                  "arg 7 -o"};

// The calls of one successful view, with the paths, the permit removals and the files' modes
// (checked on their own) taken out.
std::vector<std::string> CallsWithoutPaths(const std::vector<std::string>& log) {
  std::vector<std::string> calls;
  for (const std::string& line : log) {
    if (line.rfind("remove ", 0) == 0 || line.rfind("modes ", 0) == 0) continue;
    const bool path =
        line.rfind("arg 8 ", 0) == 0 || line.rfind("arg 9 ", 0) == 0 || line.rfind("run ", 0) == 0;
    if (line.rfind("string ", 0) == 0) {
      calls.emplace_back("string");
    } else {
      calls.push_back(path ? line.substr(0, line.rfind(' ')) : line);
    }
  }
  return calls;
}

// A library that can withdraw permits gets the ten arguments in two steps: the first nine start
// the interpreter, the temporary directory's permits go, the interpreter is asked whether the
// input is out of reach, and only then does the input run.
TEST_F(StandinRunTest, GhostscriptStartsThenLosesTheTempDirectoryThenRunsTheInput) {
  ASSERT_TRUE(Ready(Ghostscript::kStandin));
  StandinControl standin(folder_.path(), "");
  const ViewResult result = ViewItem(plugin_, AddItem({PdfLikeBytes(400), {}, {}}));
  ASSERT_NE(result.buffer, nullptr);
  plugin_.ReleaseMem(result.buffer);

  std::vector<std::string> expected = {"new", "alive 1", "encoding 1", "init 9"};
  expected.insert(expected.end(), kStartArguments.begin(), kStartArguments.end());
  expected.insert(expected.end(), {"arg 8", "string", "run", "param PageCount", "exit", "delete"});
  const std::vector<std::string> log = standin.LogLines();
  EXPECT_EQ(CallsWithoutPaths(log), expected) << testing::PrintToString(log);

  // Every permit on the temporary directory goes after start-up and before the input runs.
  const auto starts = [](const char* prefix) {
    return [prefix](const std::string& line) { return line.rfind(prefix, 0) == 0; };
  };
  const auto run = std::find_if(log.begin(), log.end(), starts("run "));
  const auto started = std::find_if(log.begin(), run, starts("arg 8 "));
  for (const char* type : {"0", "1", "2"}) {
    const std::string entry = std::string("remove ") + type + " " + PathUtf8(temp()) + "/*";
    EXPECT_NE(std::find(started, run, entry), run) << entry;
  }

  const std::vector<std::string> files = standin.FilesNamed();
  ASSERT_EQ(files.size(), 2u);
  EXPECT_TRUE(IsTempFileIn(files[0], temp())) << files[0];
  EXPECT_TRUE(IsTempFileIn(files[1], temp())) << files[1];
  EXPECT_NE(files[0], files[1]);
  EXPECT_TRUE(EntriesOf(temp()).empty());
}

// An older library without permit control gets all ten arguments in one call.
TEST_F(StandinRunTest, GhostscriptWithoutPermitControlGetsOneCall) {
  std::vector<std::string> expected = {"new", "alive 1", "encoding 1", "init 10"};
  expected.insert(expected.end(), kStartArguments.begin(), kStartArguments.end());
  expected.insert(expected.end(), {"arg 8", "arg 9", "param PageCount", "exit", "delete"});
  EXPECT_EQ(CallsWithoutPaths(ViewCopied(Ghostscript::kStandinWithoutControlPaths, "")), expected);
}

// There the one call's result alone tells a failure: the stand-in has copied the document and
// counted its page before it reports the error.
TEST_F(StandinRunTest, GhostscriptWithoutPermitControlFailingInItsOneCallFails) {
  ASSERT_TRUE(Ready(Ghostscript::kStandinWithoutControlPaths));
  StandinControl standin(folder_.path(), "fail-init");
  const ViewResult result = ViewItem(plugin_, AddItem({PdfLikeBytes(400), {}, {}}));
  EXPECT_EQ(result.buffer, nullptr);
  EXPECT_EQ(result.size, -2);
  EXPECT_EQ(HostMessages(), std::vector<HostMessage>{kConversionFailed});
  EXPECT_TRUE(EntriesOf(temp()).empty());
}

TEST_F(StandinRunTest, GhostscriptWithoutArgumentEncodingStillConverts) {
  const std::vector<std::string> log = ViewCopied(Ghostscript::kStandinWithoutEncoding, "");
  ASSERT_GE(log.size(), 3u);
  EXPECT_EQ(std::vector<std::string>(log.begin(), log.begin() + 3),
            (std::vector<std::string>{"new", "alive 1", "init 9"}));
}

// A library that cannot tell how many pages it wrote is taken at its word, as before.
TEST_F(StandinRunTest, WithoutAPageCountARunThatReportsSuccessConverts) {
  ViewCopied(Ghostscript::kStandinWithoutGetParam, "no-pages");
}

// A user whose temporary directory holds characters outside ASCII (and outside any one ANSI
// code page, some outside the Basic Multilingual Plane). Under Wine the stand-in decodes the
// paths as Ghostscript does: in the ANSI code page unless UTF-8 was requested, so without the
// encoding call, or with a surrogate pair encoded half by half, it cannot open the files.
TEST_F(StandinRunTest, NonAsciiTempDirectoryReachesGhostscriptAsUtf8) {
  ASSERT_TRUE(Ready(Ghostscript::kStandin));
  StandinControl standin(folder_.path(), "");
  const std::filesystem::path directory = folder_.path() / Utf8Path(kFarFromAsciiName);
  ScopedTempDirectory temp_directory(directory);

  const std::string document = PdfLikeBytes(400);
  const ViewResult result = ViewItem(plugin_, AddItem({document, {}, {}}));
  EXPECT_EQ(BufferBytes(result), document);
  EXPECT_EQ(plugin_.ReleaseMem(result.buffer), 1);
  EXPECT_TRUE(HostMessages().empty());

  const std::vector<std::string> paths = standin.FilesNamed();
  ASSERT_EQ(paths.size(), 2u);
  for (const std::string& path : paths) {
    EXPECT_NE(path.find(kFarFromAsciiName), std::string::npos) << path;
    EXPECT_TRUE(IsTempFileIn(path, directory)) << path;
  }
  EXPECT_TRUE(EntriesOf(directory).empty());
}

TEST_F(StandinRunTest, ConcurrentRequestsUseDistinctTempFiles) {
  // Every request converts: repeats of a document are not answered from the cache.
  ASSERT_TRUE(ReadyWithCache("0"));
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
  OnThreads(kThreads, kRequestsPerThread, [&](int t, int) {
    const ViewResult result = ViewItem(plugin_, items[t]);
    if (BufferBytes(result) == documents[t]) ++matches[t];
    plugin_.ReleaseMem(result.buffer);
  });

  EXPECT_EQ(matches, std::vector<int>(kThreads, kRequestsPerThread));
  // Overlapping at all shows that nothing serialises the views; how many overlap at once is the
  // scheduler's matter, and a loaded machine may never run all eight together.
  EXPECT_GE(standin.PeakAlive(), 2) << "the requests never overlapped";
  EXPECT_TRUE(HostMessages().empty());
  const std::vector<std::string> names = standin.FilesNamed();
  EXPECT_EQ(names.size(), 2u * kThreads * kRequestsPerThread);
  EXPECT_EQ(std::set<std::string>(names.begin(), names.end()).size(), names.size());
  EXPECT_TRUE(EntriesOf(temp()).empty());
}

}  // namespace
}  // namespace quillmend::test
