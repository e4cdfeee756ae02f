// Items that try to make Ghostscript read or write files other than the request's own two.
// A decoy folder beside the test holds files with a unique marker; whatever the item, nothing
// there may be opened, changed or added, and the marker must not reach the output.
#include <sys/stat.h>

#include <chrono>
#include <map>
#include <random>

#include "hostile_fixture.h"
#include "malformed_documents.h"
#include "support/access_watch.h"
#include "support/pdf_builder.h"
#include "support/pdf_check.h"
#include "support/system.h"

namespace quillmend::test {
namespace {

// A page with a small black bar: a converted page is almost white. Content taken from a decoy
// would paint it dark: the decoys' content fills the page with black.
constexpr char kPageContent[] = "0 g 72 700 144 12 re f\n";
const std::string kLetterPage = "/MediaBox [0 0 612 792] ";
constexpr int kRenderDpi = 20;
constexpr double kWhitePage = 240.0;

struct NamedDocument {
  const char* name;
  std::string document;
};

struct FileState {
  std::string bytes;
  std::int64_t modified_ns = 0;
};

class ConfinementTest : public HostileTest {
 protected:
  void SetUp() override {
    std::random_device seed;
    marker_ = "QUILLMEND-DECOY-" + std::to_string(seed()) + "-" + std::to_string(seed());
    std::filesystem::create_directories(outside_);
    const std::string fill = "0 g -1000 -1000 5000 5000 re f\n";
    WriteFileBytes(outside_ / "decoy.txt", "% " + marker_ + "\n" + fill);
    WriteFileBytes(outside_ / "decoy.ps", "%!PS\n% " + marker_ + "\n" + fill + "showpage\n");
    WriteFileBytes(outside_ / "decoy.pdf",
                   OnePagePdf(kLetterPage + "/Contents 4 0 R",
                              {StreamObject("", "% " + marker_ + "\n" + fill)}));
    before_ = Snapshot();
    watch_ = std::make_unique<AccessWatch>(outside_);
    if (!watch_->unavailable.empty()) GTEST_SKIP() << watch_->unavailable;
  }

  std::string Path(const char* name) const { return PathUtf8(outside_ / name); }

  std::map<std::string, FileState> Snapshot() const {
    std::map<std::string, FileState> files;
    for (const std::string& name : EntriesOf(outside_)) {
      const std::filesystem::path file = outside_ / name;
      struct stat status {};
      stat(file.c_str(), &status);
      files[name] = {ReadFileBytes(file),
                     std::int64_t{status.st_mtim.tv_sec} * 1000000000 + status.st_mtim.tv_nsec};
    }
    return files;
  }

  // One request on `item`, then every check of confinement. Returns what came back.
  Returned ViewConfined(const std::string& name, const std::string& item) {
    SCOPED_TRACE(name);
    ResetHost();
    const Returned returned = View(item);
    const std::vector<std::string> events = watch_->Take();
    std::string listed;
    for (const std::string& event : events) listed += "\n  " + event;
    EXPECT_TRUE(events.empty()) << "the decoy folder was touched:" << listed;

    // Compared only after the watch has been read: the comparison reads the decoys itself.
    const std::map<std::string, FileState> after = Snapshot();
    EXPECT_EQ(after.size(), before_.size())
        << "files appeared in or vanished from the decoy folder";
    for (const auto& [file, state] : before_) {
      const auto found = after.find(file);
      if (found == after.end()) {
        ADD_FAILURE() << file << " vanished";
        continue;
      }
      EXPECT_EQ(found->second.bytes, state.bytes) << file << " changed";
      EXPECT_EQ(found->second.modified_ns, state.modified_ns) << file << "'s time stamp changed";
    }
    watch_->Take();  // the snapshot's own reads

    if (returned.outcome == Outcome::kConverted) ExpectNoDecoyContent(returned.document);
    ExpectNothingLeftIn(temp());
    return returned;
  }

  // The marker, searched in the document as returned and with every stream uncompressed; and
  // every page, rendered, almost white.
  void ExpectNoDecoyContent(const std::string& document) {
    EXPECT_EQ(document.find(marker_), std::string::npos) << "the decoy's content is in the output";
    const std::string plain =
        RewriteWithQpdf(document, {"--qdf", "--object-streams=disable"}, folder_.path() / "qdf");
    ASSERT_FALSE(plain.empty()) << "qpdf cannot read the output";
    EXPECT_EQ(plain.find(marker_), std::string::npos) << "the decoy's content is in a stream";
    const std::filesystem::path converted = folder_.path() / "converted.pdf";
    WriteFileBytes(converted, document);
    const std::vector<GrayPage> pages =
        RenderGray(converted, kRenderDpi, folder_.path() / "render");
    ASSERT_FALSE(pages.empty()) << "the output does not render";
    for (const GrayPage& page : pages) {
      double total = 0;
      for (const unsigned char pixel : page.pixels) total += pixel;
      EXPECT_GT(total / static_cast<double>(page.pixels.size()), kWhitePage)
          << "a page is darkened: content came from somewhere else";
    }
  }

  // A one-page document with `catalogue_extra` in its catalogue and `page_extra` in its page;
  // `more` are further objects, numbered from 5.
  std::string Document(const std::string& catalogue_extra, const std::string& page_extra,
                       const std::vector<std::string>& more = {}) {
    std::vector<std::string> objects = {StreamObject("", kPageContent)};
    objects.insert(objects.end(), more.begin(), more.end());
    return OnePagePdf(kLetterPage + "/Contents 4 0 R " + page_extra, objects, catalogue_extra);
  }

  std::string FileSpec(const char* name) {
    const std::string path = PdfString(Path(name));
    return "<< /Type /Filespec /F " + path + " /UF " + path + " >>";
  }

  // PostScript that reads the text decoy, writes it into a new file beside it, deletes and
  // renames decoys, and shows what it read.
  std::string HostileProgram() {
    const std::string decoy = PdfString(Path("decoy.txt"));
    return "/data " + decoy + " (r) file 4096 string readstring pop def\n" + "/out " +
           PdfString(Path("written.txt")) + " (w) file def\nout data writestring out closefile\n" +
           PdfString(Path("decoy.ps")) + " deletefile\n" + PdfString(Path("decoy.pdf")) + " " +
           PdfString(Path("renamed.pdf")) + " renamefile\n" +
           "/Helvetica findfont 10 scalefont setfont 72 600 moveto data show showpage\n";
  }

  std::filesystem::path outside_ = folder_.path() / "outside";
  std::string marker_;
  std::map<std::string, FileState> before_;
  std::unique_ptr<AccessWatch> watch_;
};

class RealConfinementTest : public ConfinementTest {
 protected:
  void SetUp() override {
    if (!RealGhostscriptAvailable()) GTEST_SKIP() << "no real Ghostscript library here";
    ConfinementTest::SetUp();
    if (IsSkipped()) return;
    ASSERT_TRUE(Ready(Ghostscript::kReal));
    watch_->Take();  // the plug-in's own start-up does not touch the decoys, but stay exact
  }
};

// The document itself is sound: references to other files are no reason to refuse it, and
// must be no reason to open them.
TEST_F(RealConfinementTest, ActionsAndFileSpecificationsPointingOutside) {
  const std::string launch = "<< /S /Launch /F " + FileSpec("decoy.txt") + " /Win << /F " +
                             PdfString(Path("decoy.txt")) + " /O (open) >> /NewWindow true >>";
  const std::string link =
      "<< /Type /Annot /Subtype /Link /Rect [72 72 300 100] /Border [0 0 0] /A ";
  const NamedDocument documents[] = {
      {"launch action on opening", Document("/OpenAction " + launch, "")},
      {"links: go-to-remote, launch, file URI, import data, submit form",
       Document("", "/Annots [5 0 R 6 0 R 7 0 R 8 0 R 9 0 R]",
                {link + "<< /S /GoToR /F " + FileSpec("decoy.pdf") + " /D [0 /Fit] >> >>",
                 link + launch + " >>",
                 link + "<< /S /URI /URI " + PdfString("file://" + Path("decoy.txt")) + " >> >>",
                 link + "<< /S /ImportData /F " + FileSpec("decoy.txt") + " >> >>",
                 link + "<< /S /SubmitForm /F << /FS /URL /F " +
                     PdfString("file://" + Path("written.txt")) + " >> >> >>"})},
      {"attachments that name outside files",
       Document(
           "/Names << /EmbeddedFiles << /Names [(decoy.txt) " + FileSpec("decoy.txt") + "] >> >>",
           "/Annots [5 0 R]",
           {"<< /Type /Annot /Subtype /FileAttachment /Rect [72 72 90 90] /FS " +
            FileSpec("decoy.pdf") + " >>"})},
      {"JavaScript that reads a file",
       Document("/OpenAction << /S /JavaScript /JS " +
                    PdfString("var s = util.readFileIntoStream(\"" + Path("decoy.txt") + "\");") +
                    " >>",
                "")},
  };
  for (const auto& [name, document] : documents) {
    EXPECT_EQ(ViewConfined(name, document).outcome, Outcome::kConverted) << name;
  }
}

// Stream data may come from an external file (the /F entry of a stream): content, an image and
// a colour profile that way.
TEST_F(RealConfinementTest, StreamsWhoseDataLiesInOutsideFiles) {
  const std::string external_stream = StreamObject("/F " + PdfString(Path("decoy.txt")), "");
  const NamedDocument documents[] = {
      {"page content from an outside file",
       OnePagePdf(kLetterPage + "/Contents [4 0 R 5 0 R]",
                  {StreamObject("", kPageContent), external_stream})},
      {"image from an outside file",
       Document("", "/Resources << /XObject << /Im1 5 0 R >> >>",
                {StreamObject("/Type /XObject /Subtype /Image /Width 8 /Height 8 "
                              "/ColorSpace /DeviceGray /BitsPerComponent 8 /F " +
                                  PdfString(Path("decoy.txt")),
                              "")})},
      {"colour profile from an outside file",
       Document("/OutputIntents [<< /Type /OutputIntent /S /GTS_PDFA1 "
                "/OutputConditionIdentifier (decoy) /DestOutputProfile 5 0 R >>]",
                "", {StreamObject("/N 1 /F " + PdfString(Path("decoy.txt")), "")})},
  };
  for (const auto& [name, document] : documents) ViewConfined(name, document);
}

// Ghostscript's start-up permits the whole temporary directory, where the plug-in stages every
// item: another program's file, a name like a concurrent request's staged copy and raw pixels
// lie there. A document may read none of them, however the directory is spelled (Ghostscript
// reduces and escapes it before it permits it), and when TMPDIR is empty, which Ghostscript
// takes as the root of the file system.
TEST_F(RealConfinementTest, NothingInTheTemporaryDirectoryButTheItemIsRead) {
  const std::string paint = "% " + marker_ + "\n0 g -1000 -1000 5000 5000 re f\n";
  const std::vector<std::pair<std::string, std::string>> decoys = {
      {"QVT1A2B.tmp", paint},
      {"other-program.txt", paint},
      {"pixels.raw", std::string(4096, '\0')}};
  const std::string plain = PathUtf8(temp());
  // With no variable set, Ghostscript permits /tmp and the plug-in stages there.
  const std::filesystem::path in_tmp = "/tmp/" + folder_.path().filename().string();
  const struct {
    const char* name;
    std::filesystem::path folder;
    std::optional<std::string> spelled;
  } spellings[] = {
      {"plain", temp(), plain},
      {"trailing and doubled separators", temp(), PathUtf8(folder_.path()) + "//tmp//"},
      {"dot and dot-dot", temp(), plain + "/./sub/.."},
      {"empty: the root", folder_.path() / "anywhere", ""},
      {"unset: /tmp", in_tmp, std::nullopt},
  };
  // Ghostscript would take the others before the fallback.
  ScopedEnvironment no_temp("TEMP", std::nullopt);
  ScopedEnvironment no_tmp("TMP", std::nullopt);
  for (const auto& [name, folder, spelled] : spellings) {
    SCOPED_TRACE(name);
    std::filesystem::create_directories(folder / "sub");
    for (const auto& [file, bytes] : decoys) WriteFileBytes(folder / file, bytes);
    ScopedEnvironment tmpdir("TMPDIR", spelled);
    const auto page = [](const std::string& contents, const std::string& drawing,
                         const std::string& last) {
      return OnePagePdf(
          kLetterPage + "/Contents " + contents + " /Resources << /XObject << /Im1 5 0 R >> >>",
          {StreamObject("", kPageContent + drawing), last});
    };
    const auto external = [&](const char* file) {
      return "/F " + PdfString(PathUtf8(folder / file));
    };
    for (const std::string& item : {
             page("[4 0 R 5 0 R]", "", StreamObject(external("QVT1A2B.tmp"), "")),
             page("[4 0 R 5 0 R]", "", StreamObject(external("other-program.txt"), "")),
             page("4 0 R", "q 612 0 0 792 0 0 cm /Im1 Do Q\n",
                  StreamObject("/Type /XObject /Subtype /Image /Width 64 /Height 64 "
                               "/ColorSpace /DeviceGray /BitsPerComponent 8 " +
                                   external("pixels.raw"),
                               "")),
         }) {
      ResetHost();
      const Returned returned = View(item);
      EXPECT_EQ(returned.outcome, Outcome::kConverted);
      if (returned.outcome == Outcome::kConverted) ExpectNoDecoyContent(returned.document);
    }
    for (const auto& [file, bytes] : decoys) EXPECT_EQ(ReadFileBytes(folder / file), bytes) << file;
    std::vector<std::string> expected = {"sub"};
    for (const auto& decoy : decoys) expected.push_back(decoy.first);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(EntriesOf(folder), expected) << "left beside the decoys";
  }
  std::filesystem::remove_all(in_tmp);
}

// PostScript carried inside a PDF: a PostScript XObject and the old PS operator.
TEST_F(RealConfinementTest, PostScriptInsideADocument) {
  const std::string program = HostileProgram();
  const std::string with_operator = std::string(kPageContent) + PdfString(program) + " PS\n";
  const NamedDocument documents[] = {
      {"PostScript XObject",
       OnePagePdf(kLetterPage + "/Contents 4 0 R /Resources << /XObject << /P1 5 0 R >> >>",
                  {StreamObject("", std::string(kPageContent) + "/P1 Do\n"),
                   StreamObject("/Type /XObject /Subtype /PS", program)})},
      {"PS operator in the page content",
       OnePagePdf(kLetterPage + "/Contents 4 0 R", {StreamObject("", with_operator)})},
  };
  for (const auto& [name, document] : documents) ViewConfined(name, document);
}

// "%PDF" not followed by "-" would make Ghostscript run the rest as a PostScript program; such
// items, and PostScript announced as such, are declined before Ghostscript sees them.
std::vector<std::pair<std::string, std::string>> PostScriptItems(const std::string& program) {
  return {
      {"\"%PDF\" and a newline, then PostScript", "%PDF\n" + program},
      {"\"%PDF\" and a space, then PostScript", "%PDF %!PS\n" + program},
      {"PostScript with a PDF header on its second line", "%!PS\n%PDF-1.7\n" + program},
      {"a byte-order mark, then a PDF header and PostScript", "\xEF\xBB\xBF%PDF-1.7\n" + program},
  };
}

TEST_F(RealConfinementTest, PostScriptDisguisedAsAPdfIsDeclined) {
  for (const auto& [name, item] : PostScriptItems(HostileProgram())) {
    EXPECT_EQ(ViewConfined(name, item).outcome, Outcome::kDeclined) << name;
    EXPECT_TRUE(HostMessages().empty()) << name;
  }
}

// An item that does begin "%PDF-" but carries PostScript is read as a PDF document, which it
// is not: the conversion fails, and the PostScript does not run.
TEST_F(RealConfinementTest, PostScriptBehindARealPdfHeaderIsNotRun) {
  const Returned returned =
      ViewConfined("PDF header, then PostScript", "%PDF-1.7\n%!PS\n" + HostileProgram());
  EXPECT_NE(returned.outcome, Outcome::kDeclined);
}

class StandinConfinementTest : public ConfinementTest {
 protected:
  void SetUp() override {
    ConfinementTest::SetUp();
    if (IsSkipped()) return;
    ASSERT_TRUE(Ready(Ghostscript::kStandin));
    watch_->Take();
  }
};

// The stand-in logs every call it receives: for a disguised item there is none at all.
TEST_F(StandinConfinementTest, DisguisedPostScriptNeverReachesGhostscript) {
  StandinControl standin(folder_.path(), "");
  for (const auto& [name, item] : PostScriptItems(HostileProgram())) {
    EXPECT_EQ(ViewConfined(name, item).outcome, Outcome::kDeclined) << name;
  }
  EXPECT_EQ(standin.LogLines(), std::vector<std::string>{});
}

}  // namespace
}  // namespace quillmend::test
