// xtview.exe with the plug-in and the real DLL beside it: a batch end to end, and its exit codes
// (0 all converted, 1 a file failed, 2 the plug-in could not start). The good batch's documents
// go to bin/windows-e2e-outputs/xtview/ for check_outputs.sh.
#include <string>
#include <vector>

#include "real_dll.h"
#include "support/child_process.h"
#include "support/sandbox.h"
#include "support/system.h"
#include "support/view_support.h"

namespace quillmend::test {
namespace {

constexpr int kRunSeconds = 300;
const char* const kFixtures[] = {"forty_pages", "standard_fonts", "three_pages", "truetype"};

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class XtviewBatch : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(RealGhostscriptAvailable()) << kNoRealDll;
    ASSERT_TRUE(std::filesystem::exists(ExecutableDirectory() / "xtview.exe"));
    std::filesystem::create_directories(inputs_);
  }

  // A folder with xtview.exe and the plug-in, and the real DLL when `with_dll`.
  std::filesystem::path Stage(bool with_dll) {
    const std::filesystem::path stage = folder_.path() / "stage";
    std::filesystem::create_directories(stage);
    for (const char* file : {"xtview.exe", kPluginFileName}) {
      std::filesystem::copy_file(ExecutableDirectory() / file, stage / file);
    }
    if (with_dll) {
      std::filesystem::copy_file(RealGhostscriptLibrary(), stage / kGhostscriptFileName);
    }
    return stage;
  }

  // The fixture's copy among the inputs.
  std::string Input(const char* fixture) {
    const std::filesystem::path input = inputs_ / (std::string(fixture) + ".pdf");
    std::filesystem::copy_file(FixturePdf(std::string(fixture) + ".pdf"), input,
                               std::filesystem::copy_options::overwrite_existing);
    return PathUtf8(input);
  }

  ChildRun Run(const std::filesystem::path& stage, const std::vector<std::string>& arguments) {
    return RunChild(stage / "xtview.exe", arguments, folder_.path() / "xtview.log", kRunSeconds);
  }

  TestFolder folder_;
  std::filesystem::path temp_ = folder_.path() / "tmp";
  ScopedTempDirectory temp_directory_{temp_};
  std::filesystem::path inputs_ = folder_.path() / "in";
};

TEST_F(XtviewBatch, GoodBatchConvertsEveryFileAndExitsZero) {
  const std::filesystem::path out = OutputsFolder("xtview");
  std::filesystem::remove_all(out);
  std::filesystem::create_directories(out);
  std::vector<std::string> arguments = {"--jobs", "3", "--out", PathUtf8(out)};
  for (const char* fixture : kFixtures) arguments.push_back(Input(fixture));

  const ChildRun run = Run(Stage(true), arguments);
  EXPECT_EQ(run.exit_code, 0) << run.output;
  EXPECT_TRUE(Contains(run.output, "plug-in (flags 2): Quillmend viewer X-Tension loaded.\n"))
      << run.output;
  EXPECT_TRUE(Contains(run.output, "4 converted, 0 declined, 0 failed, 0 not read or written"))
      << run.output;
  for (const char* fixture : kFixtures) {
    const std::filesystem::path output = out / (std::string(fixture) + ".outlined.pdf");
    EXPECT_TRUE(IsWholePdf15(ReadFileBytes(output))) << PathUtf8(output);
  }
  EXPECT_EQ(EntriesOf(temp_), std::vector<std::string>());
}

TEST_F(XtviewBatch, FileGhostscriptRejectsMakesTheExitCodeOne) {
  ASSERT_TRUE(WriteFileBytes(inputs_ / "broken.pdf", ZeroSizePagePdf()));
  const std::filesystem::path out = folder_.path() / "out";
  std::filesystem::create_directories(out);

  const ChildRun run = Run(Stage(true), {"--out", PathUtf8(out), Input("standard_fonts"),
                                         PathUtf8(inputs_ / "broken.pdf")});
  EXPECT_EQ(run.exit_code, 1) << run.output;
  EXPECT_TRUE(Contains(run.output, "[ERROR] GhostScript conversion failed.")) << run.output;
  EXPECT_TRUE(Contains(run.output, "broken.pdf: the plug-in could not convert it")) << run.output;
  EXPECT_TRUE(Contains(run.output, "1 converted, 0 declined, 1 failed")) << run.output;
  EXPECT_EQ(EntriesOf(out), std::vector<std::string>{"standard_fonts.outlined.pdf"});
  EXPECT_EQ(EntriesOf(temp_), std::vector<std::string>());
}

TEST_F(XtviewBatch, WithoutTheDllNothingIsConvertedAndTheExitCodeIsTwo) {
  const std::filesystem::path out = folder_.path() / "out";
  std::filesystem::create_directories(out);

  const ChildRun run = Run(Stage(false), {"--out", PathUtf8(out), Input("standard_fonts")});
  EXPECT_EQ(run.exit_code, 2) << run.output;
  EXPECT_TRUE(Contains(run.output, "[ERROR] Could not load the GhostScript API (gsdll64.dll)."))
      << run.output;
  EXPECT_EQ(EntriesOf(out), std::vector<std::string>());
}

}  // namespace
}  // namespace quillmend::test
