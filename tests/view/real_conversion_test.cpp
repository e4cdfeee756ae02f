// Conversions through the real Ghostscript library, on the fixture PDFs made at build time.
#include <atomic>
#include <memory>
#include <optional>
#include <set>
#include <tuple>

#include "support/creation_watch.h"
#include "support/pdf_builder.h"
#include "support/pdf_check.h"
#include "support/system.h"
#include "support/view_fixture.h"

namespace quillmend::test {
namespace {

// Pages are rendered at 30 dpi in grey and compared by their mean absolute pixel difference.
// A page's "ink" is that difference against a blank page of its size: what the comparison would
// show if all its text had vanished. Text drawn as outlines rasterises a little differently from
// the hinted glyphs it replaces, along every glyph edge; with Debian 12's Ghostscript and poppler
// that costs 0.17 to 0.44 of the page's ink on the fixtures (the most for hinted TrueType).
// So a converted page must stay under 0.6 of its ink away from the original, and every fixture
// page carries enough ink (text set large) for the comparison to mean something.
constexpr int kRenderDpi = 30;
constexpr double kSameRenderShareOfInk = 0.6;
constexpr double kLeastInk = 5.0;

struct Fixture {
  const char* name;
  int pages;
};
void PrintTo(const Fixture& fixture, std::ostream* out) {
  *out << fixture.name;
}

class RealGhostscriptTest : public ViewTest {
 protected:
  void SetUp() override {
    if (!RealGhostscriptAvailable()) GTEST_SKIP() << "no real Ghostscript library here";
    ASSERT_TRUE(Ready(Ghostscript::kReal));
  }

  // Convert, and what came back written to `output`.
  std::string Convert(const std::string& document, const std::filesystem::path& output) {
    const std::string bytes = ViewTest::Convert(document);
    if (!bytes.empty()) WriteFileBytes(output, bytes);
    return bytes;
  }
};

// How a conversion runs: in the host's process, in one worker, or in four side by side.
enum class Conversion { kInProcess, kWorker, kFourWorkers };

// The second line of the header qpdf writes, where Ghostscript's bytes differ: the mark of a
// document joined from page ranges.
constexpr char kJoinedMark[] = "\n%\xbf\xf7\xa2\xfe\n";
// The fewest pages a view splits into ranges.
constexpr int kFewestPagesToSplit = 8;

// Each fixture converts alike in the host's process and in the worker (the second parameter).
class RealConversionTest : public RealGhostscriptTest,
                           public testing::WithParamInterface<std::tuple<Fixture, Conversion>> {
 protected:
  void SetUp() override {
    if (!RealGhostscriptAvailable()) GTEST_SKIP() << "no real Ghostscript library here";
    switch (std::get<1>(GetParam())) {
      case Conversion::kInProcess:
        ASSERT_TRUE(Ready(Ghostscript::kReal));
        break;
      case Conversion::kWorker:
        ASSERT_TRUE(ReadyIsolated(Ghostscript::kReal));
        break;
      case Conversion::kFourWorkers:
        ASSERT_TRUE(ReadyIsolated(Ghostscript::kReal, {{"QUILLMEND_PARALLEL", "4"}}));
        break;
    }
  }
  const Fixture& fixture() const { return std::get<0>(GetParam()); }
  bool Joined() const {
    return std::get<1>(GetParam()) == Conversion::kFourWorkers &&
           fixture().pages >= kFewestPagesToSplit;
  }
};

GrayPage BlankLike(const GrayPage& page) {
  GrayPage blank = page;
  std::fill(blank.pixels.begin(), blank.pixels.end(), static_cast<unsigned char>(255));
  return blank;
}

TEST_P(RealConversionTest, TextSurvivesAsOutlines) {
  const std::filesystem::path input = FixturePdf(fixture().name);
  const std::filesystem::path output = folder_.path() / "converted.pdf";
  const std::string converted = Convert(ReadFileBytes(input), output);
  ASSERT_EQ(converted.rfind("%PDF-1.5", 0), 0u) << converted.substr(0, 16);
  // Long documents are joined from their ranges; short ones convert whole.
  EXPECT_EQ(converted.compare(8, sizeof(kJoinedMark) - 1, kJoinedMark) == 0, Joined());
  EXPECT_TRUE(AllHostMessages().empty());
  EXPECT_TRUE(QvtFilesIn(temp()).empty());
  if (std::get<1>(GetParam()) != Conversion::kInProcess) {
    EXPECT_EQ(EntriesOf(temp()), std::vector<std::string>()) << "the worker left files";
  }
  if (!PdfToolsAvailable()) GTEST_SKIP() << "poppler's tools cannot run here";
  EXPECT_EQ(PdfComplaints(output), "");

  bool ok = false;
  EXPECT_FALSE(PdfFonts(input, &ok).empty()) << "the fixture itself should use fonts";
  EXPECT_TRUE(ok);
  EXPECT_EQ(PdfFonts(output, &ok), std::vector<std::string>());
  EXPECT_TRUE(ok);
  EXPECT_EQ(PdfPageCount(input), fixture().pages);
  EXPECT_EQ(PdfPageCount(output), fixture().pages);

  const std::vector<GrayPage> before = RenderGray(input, kRenderDpi, folder_.path() / "before");
  const std::vector<GrayPage> after = RenderGray(output, kRenderDpi, folder_.path() / "after");
  ASSERT_EQ(before.size(), static_cast<std::size_t>(fixture().pages));
  ASSERT_EQ(after.size(), before.size());
  for (std::size_t page = 0; page < before.size(); ++page) {
    const double ink = MeanAbsoluteDifference(before[page], BlankLike(before[page]));
    ASSERT_GT(ink, kLeastInk) << "page " << page + 1 << " has too little text to tell";
    const double difference = MeanAbsoluteDifference(before[page], after[page]);
    EXPECT_GE(difference, 0) << "page " << page + 1 << " changed size";
    EXPECT_LT(difference, kSameRenderShareOfInk * ink) << "page " << page + 1 << ", ink " << ink;
  }
}

std::string NameOf(const testing::TestParamInfo<std::tuple<Fixture, Conversion>>& info) {
  const std::string name = std::get<0>(info.param).name;
  const char* const kSuffixes[] = {"", "_worker", "_four_workers"};
  return name.substr(0, name.find('.')) + kSuffixes[static_cast<int>(std::get<1>(info.param))];
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, RealConversionTest,
    testing::Combine(
        testing::Values(Fixture{"standard_fonts.pdf", 1}, Fixture{"three_pages.pdf", 3},
                        Fixture{"truetype.pdf", 1}, Fixture{"forty_pages.pdf", 40}),
        testing::Values(Conversion::kInProcess, Conversion::kWorker, Conversion::kFourWorkers)),
    NameOf);

// The library the plug-in loads is the one of the release under test, and a release named for the
// tests (gs10.05) is the one that library reports.
TEST_F(RealGhostscriptTest, TheReleaseUnderTestIsTheOneThatConverts) {
  EXPECT_EQ(ViewTest::Convert(ReadFileBytes(FixturePdf("standard_fonts.pdf"))).rfind("%PDF-1.5", 0),
            0u);
  const std::filesystem::path beside_plugin = folder_.path() / "plugin" / kGhostscriptFileName;
  ASSERT_TRUE(IsLibraryLoaded(beside_plugin));
  const long revision = GhostscriptRevisionOf(beside_plugin);  // NOLINT(google-runtime-int)
  EXPECT_EQ(revision, RealGhostscriptRevision());
  const std::optional<std::string> release = GetEnvironmentValue(kRealGhostscriptReleaseVariable);
  if (release && release->rfind("gs", 0) == 0) {
    EXPECT_EQ(GhostscriptReleaseName(revision).rfind(release->substr(2) + ".", 0), 0u)
        << *release << " is not " << GhostscriptReleaseName(revision);
  }
}

// Where Ghostscript cannot open such a path, the view fails as for any document it cannot open.
TEST_F(RealGhostscriptTest, NonAsciiTempDirectory) {
  const std::filesystem::path directory = folder_.path() / Utf8Path(kFarFromAsciiName);
  ScopedTempDirectory temp_directory(directory);
  const ViewResult result =
      ViewItem(plugin_, AddItem({ReadFileBytes(FixturePdf("standard_fonts.pdf")), {}, {}}));
  if (kRealGhostscriptOpensPathsBeyondTheBasicPlane) {
    EXPECT_EQ(BufferBytes(result).rfind("%PDF-1.5", 0), 0u);
    EXPECT_TRUE(HostMessages().empty());
  } else {
    EXPECT_EQ(result.size, -2);
    EXPECT_EQ(HostMessages(), std::vector<HostMessage>{kConversionFailed});
  }
  plugin_.ReleaseMem(result.buffer);
  EXPECT_TRUE(QvtFilesIn(directory).empty());
}

// The view of `document` failed: -2, the one message, nothing left.
void ExpectFailedView(const Plugin& plugin, const std::string& document,
                      const std::filesystem::path& temp, const std::string& what,
                      const std::u16string& reason) {
  const ViewResult result = ViewItem(plugin, AddItem({document, {}, {}}));
  EXPECT_EQ(result.size, -2) << what;
  EXPECT_EQ(result.buffer, nullptr) << what;
  EXPECT_EQ(AllHostMessages(), FailedWith(reason)) << what;
  EXPECT_EQ(EntriesOf(temp), std::vector<std::string>()) << what;
}

// A workstation's GS_OPTIONS would be added to every run: a page range leaves pages out, and
// -dNOSAFER opens every file to the document. No view may come back short or unguarded.
TEST_F(RealGhostscriptTest, GhostscriptOptionsOfTheWorkstationFailEveryView) {
  const std::string document = ReadFileBytes(FixturePdf("three_pages.pdf"));
  for (const char* options : {"-dLastPage=1", "-dFirstPage=2", "-dNOSAFER"}) {
    ScopedEnvironment set("GS_OPTIONS", std::string(options));
    ResetHost();
    ExpectFailedView(plugin_, document, temp(), options, kOptionsReason);
  }
}

// The same options in the registry key of the library's own release, where Ghostscript for
// Windows looks when the environment has none. Other programs' views share the registry, so
// this test runs alone (RegistryOptions in its name).
TEST_F(RealGhostscriptTest, RegistryOptionsOfTheWorkstationFailEveryView) {
  const std::string key = RealGhostscriptRegistryKey();
  ASSERT_FALSE(key.empty()) << "cannot read the real library's revision";
  if (!SetUserRegistryValue(key, "GS_OPTIONS", "-dLastPage=1")) GTEST_SKIP() << "no registry";
  ExpectFailedView(plugin_, ReadFileBytes(FixturePdf("three_pages.pdf")), temp(), key,
                   kOptionsReason);
  SetUserRegistryValue(key, "GS_OPTIONS", {});
}

// Ghostscript lets documents read below its library folders (GS_LIB). One around the temporary
// directory opens it again, which the withdrawal cannot know of: the check before the document
// runs finds the input readable, and the view fails. Also where the directory's name holds a
// carriage return, which a PostScript literal string reads as a line feed: the check must ask
// about the input by its very name. Without GS_LIB the same view converts.
TEST_F(RealGhostscriptTest, ALibraryFolderAroundTheInputFailsTheView) {
  const std::string fixture = ReadFileBytes(FixturePdf("standard_fonts.pdf"));
  std::vector<std::pair<std::filesystem::path, std::string>> directories = {
      {temp(), "the temporary directory"}};
  if (kFileNamesMayHoldControlCharacters) {
    directories.emplace_back(folder_.path() / "cr\rt", "a carriage return in its name");
  }
  for (const auto& [directory, what] : directories) {
    // Bytes of its own, so that no view is answered from the cache.
    const std::string document = fixture + "% " + what + "\n";
    ScopedTempDirectory temp_directory(directory);
    {
      ScopedEnvironment library("GS_LIB", PathUtf8(folder_.path()));
      ResetHost();
      ExpectFailedView(plugin_, document, directory, "GS_LIB around " + what, kPermitReason);
    }
    ResetHost();
    EXPECT_EQ(ViewTest::Convert(document).rfind("%PDF-1.5", 0), 0u) << "no GS_LIB, " << what;
    EXPECT_TRUE(HostMessages().empty()) << "no GS_LIB, " << what;
    EXPECT_EQ(EntriesOf(directory), std::vector<std::string>()) << "no GS_LIB, " << what;
  }
}

// Ghostscript reads the output name as a page-number format. A temporary directory whose name
// holds "%d" (or "%5", "%%") must still get every page into the staged output, and nothing into
// the folder the format would name.
TEST_F(RealGhostscriptTest, PercentSignsInTheTempDirectory) {
  const std::string document = ReadFileBytes(FixturePdf("three_pages.pdf"));
  const std::filesystem::path page_one = folder_.path() / "pct1";
  std::filesystem::create_directories(page_one);
  for (const char* name : {"pct%d", "100%", "a%%b", "pct%5"}) {
    const std::filesystem::path directory = folder_.path() / name;
    ScopedTempDirectory temp_directory(directory);
    const std::filesystem::path output = folder_.path() / "percent.pdf";
    const std::string converted = Convert(document, output);
    EXPECT_EQ(converted.rfind("%PDF-1.5", 0), 0u) << name;
    EXPECT_TRUE(HostMessages().empty()) << name;
    EXPECT_EQ(EntriesOf(directory), std::vector<std::string>()) << name;
    EXPECT_EQ(EntriesOf(page_one), std::vector<std::string>()) << name;
    if (PdfToolsAvailable() && !converted.empty()) {
      EXPECT_EQ(PdfPageCount(output), 3) << name;
    }
    ResetHost();
  }
}

// The real library in the worker, under a two-second limit.
class RealWorkerTest : public ViewTest {
 protected:
  void SetUp() override {
    if (!RealGhostscriptAvailable()) GTEST_SKIP() << "no real Ghostscript library here";
    ASSERT_TRUE(ReadyIsolated(Ghostscript::kReal, {{"QUILLMEND_TIME_LIMIT_S", "2"}}));
  }
};

// A page bomb: one page listed a thousand times in the page tree, a few KB that take Ghostscript
// minutes and hundreds of MB of output.
std::string PageBomb() {
  constexpr int kReferences = 1000;
  std::string kids;
  for (int i = 0; i < kReferences; ++i) kids += "3 0 R ";
  const std::string text = "BT /F1 10 Tf 20 TL 40 750 Td " + [] {
    std::string lines;
    for (int i = 0; i < 30; ++i) lines += "(A line of text on a page) '";
    return lines;
  }() + " ET";
  return BuildPdf(
      {"<< /Type /Catalog /Pages 2 0 R >>",
       "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(kReferences) + " >>",
       "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R "
       "/Resources << /Font << /F1 5 0 R >> >> >>",
       StreamObject("", text), "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"});
}

// In the worker the time limit ends a page bomb, and the host is told the conversion failed.
TEST_F(RealWorkerTest, APageBombEndsAtTheTimeLimit) {
  ExpectFailedView(plugin_, PageBomb(), temp(), "page bomb", TimeLimitReason(2));
}

// Split among four workers, the page bomb still ends at the time limit, which covers the view.
TEST_F(RealWorkerTest, APageBombInFourWorkersEndsAtTheTimeLimit) {
  ScopedEnvironment parallel("QUILLMEND_PARALLEL", std::string("4"));
  ScopedEnvironment isolation("QUILLMEND_ISOLATION", std::string("process"));
  ScopedEnvironment time_limit("QUILLMEND_TIME_LIMIT_S", std::string("2"));
  ASSERT_EQ(host_emulator::StartPlugin(plugin_), 2);
  ResetHost();
  ExpectFailedView(plugin_, PageBomb(), temp(), "page bomb", TimeLimitReason(2));
}

// Ghostscript for Windows reads TMPDIR from the registry key of its release where its
// environment has none (the in-host RegistryConfinement test shows that it does). The worker's
// environment names the view's own folder, so its scratch files land there and go with it, also
// when the worker is ended at the time limit. The registry is shared: this runs alone.
TEST_F(RealWorkerTest, RegistryOptionsTmpdirGetsNoScratchFileOfTheWorker) {
  const std::filesystem::path folder = folder_.path() / "registry-tmpdir";
  std::filesystem::create_directories(folder);
  const std::string key = RealGhostscriptRegistryKey();
  if (key.empty() || !SetUserRegistryValue(key, "TMPDIR", PathUtf8(folder))) {
    GTEST_SKIP() << "no registry here";
  }
  const std::shared_ptr<void> restore(
      nullptr, [&key](void*) { SetUserRegistryValue(key, "TMPDIR", std::nullopt); });
  CreationWatch watch(folder);
  ASSERT_TRUE(watch.unavailable.empty()) << watch.unavailable;
  EXPECT_EQ(ViewTest::Convert(ReadFileBytes(FixturePdf("standard_fonts.pdf"))).rfind("%PDF-1.5", 0),
            0u);
  ResetHost();
  ExpectFailedView(plugin_, PageBomb(), temp(), "page bomb", TimeLimitReason(2));
  EXPECT_EQ(watch.Created(), std::vector<std::string>());
  EXPECT_EQ(EntriesOf(folder), std::vector<std::string>());
}

TEST_F(RealGhostscriptTest, EightThreadsConvertAtOnce) {
  constexpr int kThreads = 8;
  constexpr int kRequestsPerThread = 3;
  const std::vector<std::string> documents = {ReadFileBytes(FixturePdf("standard_fonts.pdf")),
                                              ReadFileBytes(FixturePdf("three_pages.pdf"))};
  const std::vector<int> pages = {1, 3};
  CreationWatch watch(temp());

  std::atomic<int> converted{0};
  const auto output = [this](int t, int r) {
    return folder_.path() / ("out-" + std::to_string(t) + "-" + std::to_string(r) + ".pdf");
  };
  OnThreads(kThreads, kRequestsPerThread, [&](int t, int r) {
    // Distinct bytes (a comment after the end), so that no request is answered from the cache.
    const std::string document =
        documents[t % 2] + "% request " + std::to_string(t) + " " + std::to_string(r) + "\n";
    if (Convert(document, output(t, r)).rfind("%PDF-1.5", 0) == 0) ++converted;
  });

  EXPECT_EQ(converted.load(), kThreads * kRequestsPerThread);
  EXPECT_TRUE(HostMessages().empty());
  EXPECT_TRUE(QvtFilesIn(temp()).empty());

  if (watch.unavailable.empty()) {
    std::vector<std::string> names = watch.Created();
    std::erase_if(names, [](const std::string& name) { return name.rfind("QVT", 0) != 0; });
    EXPECT_EQ(names.size(), 2u * kThreads * kRequestsPerThread);
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()).size(), names.size());
  }
  if (PdfToolsAvailable()) {
    for (int t = 0; t < kThreads; ++t) {
      for (int r = 0; r < kRequestsPerThread; ++r) {
        EXPECT_EQ(PdfPageCount(output(t, r)), pages[t % 2]) << PathUtf8(output(t, r));
      }
    }
  }
}

}  // namespace
}  // namespace quillmend::test
