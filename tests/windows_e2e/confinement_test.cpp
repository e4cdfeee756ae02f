// A document confined to itself under Wine. The temporary directory where the plug-in stages
// items also holds other files: another program's, a concurrent request's staged copy, raw
// pixels. A hostile item names them in external streams (/F); Ghostscript must refuse them
// however TMP and TEMP spell the folder. Each one would paint the page black, so
// check_white.sh renders the outputs (bin/windows-e2e-outputs/confinement/) natively.
#include <algorithm>
#include <filesystem>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "real_dll.h"
#include "support/creation_watch.h"
#include "support/pdf_builder.h"
#include "support/sandbox.h"
#include "support/system.h"
#include "support/test_host.h"
#include "support/view_support.h"

namespace quillmend::test {
namespace {

constexpr char kBlackPage[] = "0 g -1000 -1000 5000 5000 re f\n";

struct Decoy {
  const char* name;
  std::string bytes;
};

// In the order EntriesOf lists them.
const Decoy kDecoys[] = {
    {"QVT1A2B.tmp", kBlackPage},
    {"pixels.gray", std::string(64, '\0')},  // 8 by 8, black
    {"report.txt", kBlackPage},
};

struct Item {
  const char* name;
  const char* decoy;
  bool image;  // an 8 by 8 image over the page, else a second content stream
};

const Item kItems[] = {
    {"ContentFromAnotherProgram", "report.txt", false},
    {"ContentFromAStagedCopy", "QVT1A2B.tmp", false},
    {"ImageFromRawPixels", "pixels.gray", true},
};

struct Spelling {
  const char* name;
  std::string (*spell)(std::string folder);
};

// Every spelling names the same folder. The plain one is a Windows path ending in "\tmp".
const Spelling kSpellings[] = {
    {"Plain", [](std::string folder) { return folder; }},
    {"TrailingBackslash", [](std::string folder) { return folder + "\\"; }},
    {"ForwardSlashes",
     [](std::string folder) {
       std::replace(folder.begin(), folder.end(), '\\', '/');
       return folder;
     }},
    {"DoubledBackslash",
     [](std::string folder) { return folder.replace(folder.rfind('\\'), 1, 2, '\\'); }},
    {"DotComponent",
     [](std::string folder) { return folder.replace(folder.rfind('\\'), 1, "\\.\\"); }},
};

void PrintTo(const Item& item, std::ostream* out) {
  *out << item.name;
}
void PrintTo(const Spelling& spelling, std::ostream* out) {
  *out << spelling.name;
}

// A sound one-page document that draws a small grey bar of its own and takes the rest of the
// page from `decoy`.
std::string HostilePdf(const Item& item, const std::filesystem::path& decoy) {
  const std::string file = "/F " + PdfString(PathUtf8(decoy));
  const std::string bar = "0.5 g 20 20 60 6 re f\n";
  const std::string box = "/MediaBox [0 0 200 200] ";
  if (!item.image) {
    return OnePagePdf(box + "/Contents [4 0 R 5 0 R]",
                      {StreamObject("", bar), StreamObject(file, "")});
  }
  return OnePagePdf(
      box + "/Resources << /XObject << /Im 5 0 R >> >> /Contents 4 0 R",
      {StreamObject("", bar + "q 200 0 0 200 0 0 cm /Im Do Q\n"),
       StreamObject("/Type /XObject /Subtype /Image /Width 8 /Height 8 /ColorSpace /DeviceGray "
                    "/BitsPerComponent 8 " +
                        file,
                    "")});
}

class Confinement : public RealDllTest,
                    public testing::WithParamInterface<std::tuple<Item, Spelling>> {};

TEST_P(Confinement, RefusesTheTempFoldersOtherFiles) {
  const auto& [item, spelling] = GetParam();
  std::vector<std::string> decoy_names;
  for (const Decoy& decoy : kDecoys) {
    ASSERT_TRUE(WriteFileBytes(temp() / decoy.name, decoy.bytes));
    decoy_names.push_back(decoy.name);
  }
  const std::string folder = spelling.spell(PathUtf8(temp()));
  ScopedEnvironment tmp("TMP", folder);
  ScopedEnvironment temp_variable("TEMP", folder);
  const std::filesystem::path output =
      FreshOutput("confinement", std::string(item.name) + "." + spelling.name + ".pdf");

  const std::string converted = Convert(HostilePdf(item, temp() / item.decoy));
  ASSERT_TRUE(IsWholePdf15(converted)) << converted.substr(0, 16);
  EXPECT_EQ(HostMessages(), std::vector<HostMessage>());
  for (const Decoy& decoy : kDecoys) {
    EXPECT_EQ(ReadFileBytes(temp() / decoy.name), decoy.bytes) << decoy.name;
  }
  EXPECT_EQ(EntriesOf(temp()), decoy_names);
  EXPECT_TRUE(WriteFileBytes(output, converted));
}

INSTANTIATE_TEST_SUITE_P(ItemsAndSpellings, Confinement,
                         testing::Combine(testing::ValuesIn(kItems), testing::ValuesIn(kSpellings)),
                         [](const testing::TestParamInfo<std::tuple<Item, Spelling>>& info) {
                           return std::string(std::get<0>(info.param).name) + "_" +
                                  std::get<1>(info.param).name;
                         });

// Ghostscript for Windows takes TMPDIR from the registry key of its release when the environment
// has none, and permits that folder too. The document must not read there either. The registry
// is shared by every program under Wine: this runs alone (RegistryConfinement in its name).
TEST_F(RealDllTest, RegistryConfinementRefusesTheFolderOfARegistryTmpdir) {
  const std::filesystem::path folder = folder_.path() / "registry-tmpdir";
  std::filesystem::create_directories(folder);
  ASSERT_TRUE(WriteFileBytes(folder / "report.txt", kBlackPage));
  const std::string key = RealGhostscriptRegistryKey();
  ASSERT_FALSE(key.empty()) << "cannot read the real library's revision";
  ScopedEnvironment no_tmpdir("TMPDIR", std::nullopt);
  CreationWatch watch(folder);
  ASSERT_TRUE(watch.unavailable.empty()) << watch.unavailable;
  ASSERT_TRUE(SetUserRegistryValue(key, "TMPDIR", PathUtf8(folder)));
  const std::string converted = Convert(HostilePdf(kItems[0], folder / "report.txt"));
  SetUserRegistryValue(key, "TMPDIR", std::nullopt);
  // pdfwrite's scratch files went there: the library did read this key.
  EXPECT_FALSE(watch.Created().empty()) << key;

  ASSERT_TRUE(IsWholePdf15(converted)) << converted.substr(0, 16);
  EXPECT_EQ(HostMessages(), std::vector<HostMessage>());
  EXPECT_EQ(ReadFileBytes(folder / "report.txt"), kBlackPage);
  EXPECT_TRUE(WriteFileBytes(FreshOutput("confinement", "RegistryTmpdir.pdf"), converted));
}

}  // namespace
}  // namespace quillmend::test
