// Conversions through the real DLL under Wine. The documents go to bin/windows-e2e-outputs/
// plugin/, where check_outputs.sh looks at their fonts and pages with poppler's Linux tools.
#include <windows.h>

#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "real_dll.h"
#include "support/pdf_builder.h"
#include "support/sandbox.h"
#include "support/system.h"
#include "support/test_host.h"
#include "support/view_support.h"

namespace quillmend::test {
namespace {

struct Conversion {
  const char* output;   // in bin/windows-e2e-outputs/plugin/
  const char* fixture;  // in bin/fixtures/
  bool shift_offsets = false;
};

// A copy whose every object offset points a line too early: Ghostscript rebuilds the table.
std::string WithShiftedOffsets(std::string pdf) {
  return pdf.insert(pdf.find('\n') + 1, "% a line that shifts every object\n");
}

void PrintTo(const Conversion& conversion, std::ostream* out) {
  *out << conversion.output;
}

class RealConversion : public RealDllTest, public testing::WithParamInterface<Conversion> {};

TEST_P(RealConversion, GivesAWholePdf15AndLeavesNothing) {
  const std::filesystem::path output = FreshOutput("plugin", GetParam().output);
  std::string document = ReadFileBytes(FixturePdf(GetParam().fixture));
  ASSERT_FALSE(document.empty()) << GetParam().fixture;
  if (GetParam().shift_offsets) document = WithShiftedOffsets(std::move(document));
  const std::string converted = Convert(document);
  ASSERT_TRUE(IsWholePdf15(converted)) << converted.substr(0, 16);
  EXPECT_TRUE(HostMessages().empty());
  EXPECT_EQ(EntriesOf(temp()), std::vector<std::string>());
  EXPECT_TRUE(WriteFileBytes(output, converted));
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, RealConversion,
    testing::Values(Conversion{"standard_fonts.pdf", "standard_fonts.pdf"},
                    Conversion{"three_pages.pdf", "three_pages.pdf"},
                    Conversion{"truetype.pdf", "truetype.pdf"},
                    Conversion{"forty_pages.pdf", "forty_pages.pdf"},
                    // Damaged or locked, but Ghostscript opens them: every page must come out.
                    Conversion{"standard_fonts.owner-only.pdf",
                               "encrypted/standard_fonts.owner-only.pdf"},
                    Conversion{"standard_fonts.shifted.pdf", "standard_fonts.pdf", true}));

// Four workers side by side convert ranges of the forty pages, and a worker joins them with the
// qpdf linked into it: the second header line is qpdf's. check_outputs.sh then counts its pages
// and has qpdf and pdfinfo check it.
TEST_F(RealDllTest, FortyPagesInFourWorkersAreJoined) {
  ASSERT_TRUE(ReadyIsolated(Ghostscript::kReal, {{"QUILLMEND_PARALLEL", "4"}}));
  const std::filesystem::path output = FreshOutput("plugin", "forty_pages.four-workers.pdf");
  const std::string converted = Convert(ReadFileBytes(FixturePdf("forty_pages.pdf")));
  ASSERT_TRUE(IsWholePdf15(converted)) << converted.substr(0, 16);
  EXPECT_EQ(converted.compare(8, 7, "\n%\xbf\xf7\xa2\xfe\n"), 0) << "not joined by qpdf";
  EXPECT_TRUE(AllHostMessages().empty());
  EXPECT_EQ(EntriesOf(temp()), std::vector<std::string>());
  EXPECT_TRUE(WriteFileBytes(output, converted));
}

std::filesystem::path TempPathOfProcess() {
  wchar_t path[MAX_PATH + 1];
  const DWORD length = GetTempPathW(MAX_PATH + 1, path);
  return std::filesystem::path(std::wstring(path, length));
}

// Ghostscript opens the files by the UTF-8 paths it is given only when the plug-in has set the
// argument encoding; otherwise it reads them in the ANSI code page and cannot find them.
TEST_F(RealDllTest, TempFolderOutsideTheAnsiCodePage) {
  const std::filesystem::path directory =
      folder_.path() / Utf8Path("j\u00fcrgen \u0416\u043e\u0440\u0430");
  ScopedTempDirectory temp_directory(directory);
  ASSERT_EQ(PathUtf8(TempPathOfProcess()), PathUtf8(directory / ""));

  const std::filesystem::path output = FreshOutput("plugin", "standard_fonts.non-ansi-temp.pdf");
  const std::string converted = Convert(ReadFileBytes(FixturePdf("standard_fonts.pdf")));
  EXPECT_TRUE(IsWholePdf15(converted)) << converted.substr(0, 16);
  EXPECT_EQ(HostMessages(), std::vector<HostMessage>());
  EXPECT_EQ(EntriesOf(directory), std::vector<std::string>());
  EXPECT_TRUE(WriteFileBytes(output, converted));
}

// Characters from U+0800 to U+0FFF (Devanagari here) are written in UTF-8 with the lead byte E0.
// Ghostscript 10.05.1's UTF-8 decoder for Windows (base/gp_utf8.c) takes a lead byte without data
// bits for an overlong form, so that release cannot open the staged files in such a folder;
// 10.0.0's can. Either way the view ends cleanly, and nothing stays in the folder.
TEST_F(RealDllTest, TempFolderWithCharactersLedByE0) {
  const std::filesystem::path directory = folder_.path() / Utf8Path("\u0915\u0916\u0917");
  ScopedTempDirectory temp_directory(directory);
  const long revision = RealGhostscriptRevision();  // NOLINT(google-runtime-int)
  ASSERT_NE(revision, 0) << "cannot read the real library's revision";

  const ViewResult result =
      ViewItem(plugin_, AddItem({ReadFileBytes(FixturePdf("standard_fonts.pdf")), {}, {}}));
  if (revision < 10051) {
    EXPECT_TRUE(IsWholePdf15(BufferBytes(result))) << revision;
    EXPECT_EQ(HostMessages(), std::vector<HostMessage>()) << revision;
  } else {
    EXPECT_EQ(result.size, -2) << revision;
    EXPECT_EQ(HostMessages(), std::vector<HostMessage>{kConversionFailed}) << revision;
  }
  plugin_.ReleaseMem(result.buffer);
  EXPECT_EQ(EntriesOf(directory), std::vector<std::string>());
}

struct Rejection {
  const char* name;
  std::string (*document)();
  const std::u16string* reason;  // the reason line that follows the failure, where one is known
};

// Documents that cannot become a conversion. Ghostscript gives up on the first with an error,
// and still holds the input file open then: it must go all the same. It cannot open the others
// at all, yet reports success for them with a blank page of its own making.
const Rejection kRejections[] = {
    {"ZeroSizePage", ZeroSizePagePdf, nullptr},
    {"GarbageAfterTheHeader",
     [] {
       std::string pdf = "%PDF-1.4\n";
       while (pdf.size() < 200) pdf += "no object, no table, no trailer\n";
       return pdf;
     },
     &kUnreadableReason},
    {"CutBeforeTheCatalogue",
     [] { return ReadFileBytes(FixturePdf("standard_fonts.pdf")).substr(0, 300); },
     &kUnreadableReason},
    {"NoPage",
     [] {
       return BuildPdf(
           {"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [] /Count 0 >>"});
     },
     &kNoPageReason},
    {"UserPassword",
     [] { return ReadFileBytes(FixturePdf("encrypted/standard_fonts.user-password.pdf")); },
     &kPasswordReason},
};

void PrintTo(const Rejection& rejection, std::ostream* out) {
  *out << rejection.name;
}

class Rejected : public RealDllTest, public testing::WithParamInterface<Rejection> {};

TEST_P(Rejected, FailsWithOneMessageAndLeavesNothing) {
  const std::string document = GetParam().document();
  ASSERT_GE(document.size(), 150u) << "the plug-in would decline it unread";
  const ViewResult result = ViewItem(plugin_, AddItem({document, {}, {}}));
  EXPECT_EQ(result.buffer, nullptr);
  EXPECT_EQ(result.size, -2);
  EXPECT_EQ(HostMessages(), std::vector<HostMessage>{kConversionFailed});
  if (GetParam().reason != nullptr) {
    EXPECT_EQ(AllHostMessages(), FailedWith(*GetParam().reason));
  }
  std::vector<std::string> left = EntriesOf(temp());
  for (std::string& name : left) {
    name += " (" + std::to_string(std::filesystem::file_size(temp() / name)) + " bytes)";
  }
  EXPECT_EQ(left, std::vector<std::string>());
}

INSTANTIATE_TEST_SUITE_P(Documents, Rejected, testing::ValuesIn(kRejections),
                         [](const testing::TestParamInfo<Rejection>& info) {
                           return std::string(info.param.name);
                         });

// Ghostscript would run this as a PostScript program and make a one-page PDF of it: the
// plug-in must not take it.
TEST_F(RealDllTest, PdfWithoutTheDashIsPostScriptAndDeclined) {
  std::string program =
      "%PDF\n"
      "/Helvetica findfont 24 scalefont setfont\n"
      "72 720 moveto (run as PostScript) show\n"
      "showpage\n";
  while (program.size() < 300) program += "% padding\n";
  void* item = AddItem({program, {}, {}});

  const ViewResult result = ViewItem(plugin_, item);
  EXPECT_EQ(result.buffer, nullptr);
  EXPECT_EQ(result.size, -1);
  const ItemCalls calls = CallsOn(item);
  ASSERT_EQ(calls.reads.size(), 1u) << "the header read and nothing more";
  EXPECT_LE(calls.reads[0].requested, 5u);
  EXPECT_TRUE(HostMessages().empty());
  EXPECT_EQ(EntriesOf(temp()), std::vector<std::string>());
}

}  // namespace
}  // namespace quillmend::test
