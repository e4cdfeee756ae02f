// Conversions through the real DLL under Wine. The documents go to bin/windows-e2e-outputs/
// plugin/, where check_outputs.sh looks at their fonts and pages with poppler's Linux tools.
#include <windows.h>

#include <vector>

#include "real_dll.h"
#include "support/host_services.h"
#include "support/sandbox.h"
#include "support/system.h"
#include "support/view_support.h"

namespace quillmend::test {
namespace {

// Removes a document an earlier run left, so that the checks never see a stale one.
std::filesystem::path FreshOutput(const std::string& name) {
  const std::filesystem::path output = OutputsFolder("plugin") / name;
  std::error_code error;
  std::filesystem::remove(output, error);
  return output;
}

class RealConversion : public RealDllTest, public testing::WithParamInterface<const char*> {};

TEST_P(RealConversion, GivesAWholePdf15AndLeavesNothing) {
  const std::string name = std::string(GetParam()) + ".pdf";
  const std::filesystem::path output = FreshOutput(name);
  const std::string converted = Convert(ReadFileBytes(FixturePdf(name)));
  ASSERT_TRUE(IsWholePdf15(converted)) << converted.substr(0, 16);
  EXPECT_TRUE(HostMessages().empty());
  EXPECT_EQ(EntriesOf(temp()), std::vector<std::string>());
  EXPECT_TRUE(WriteFileBytes(output, converted));
}

INSTANTIATE_TEST_SUITE_P(Fixtures, RealConversion,
                         testing::Values("standard_fonts", "three_pages", "truetype"));

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

  const std::filesystem::path output = FreshOutput("standard_fonts.non-ansi-temp.pdf");
  const std::string converted = Convert(ReadFileBytes(FixturePdf("standard_fonts.pdf")));
  EXPECT_TRUE(IsWholePdf15(converted)) << converted.substr(0, 16);
  EXPECT_EQ(HostMessages(), std::vector<HostMessage>());
  EXPECT_EQ(EntriesOf(directory), std::vector<std::string>());
  EXPECT_TRUE(WriteFileBytes(output, converted));
}

// The input file is still open in the instance when Ghostscript gives up on a document: it
// must go all the same.
TEST_F(RealDllTest, RejectedDocumentFailsWithOneMessageAndLeavesNothing) {
  const ViewResult result = ViewItem(plugin_, AddItem({ZeroSizePagePdf(), {}, {}}));
  EXPECT_EQ(result.buffer, nullptr);
  EXPECT_EQ(result.size, -2);
  EXPECT_EQ(HostMessages(), std::vector<HostMessage>{kConversionFailed});
  std::vector<std::string> left = EntriesOf(temp());
  for (std::string& name : left) {
    name += " (" + std::to_string(std::filesystem::file_size(temp() / name)) + " bytes)";
  }
  EXPECT_EQ(left, std::vector<std::string>());
}

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
