// xtview end to end: existing outputs, files that cannot be read or written, and start-up.
#include "support.h"

namespace xtview_test {
namespace {

using Listing = std::vector<std::string>;

constexpr char kEarlierOutput[] = "an earlier output";

class ExistingOutput : public XtviewTest {};

TEST_F(ExistingOutput, IsRefusedAndUntouchedWithoutForce) {
  const fs::path stage = Stage(Converting());
  const fs::path in = Folder("in");
  fs::copy_file(SamplePdf(), in / "sample.pdf");
  WriteFile(in / "sample.outlined.pdf", kEarlierOutput);

  const RunResult run = Run(stage, {PathToUtf8(in / "sample.pdf")});

  EXPECT_EQ(run.exit_code, 1) << run.output;
  EXPECT_EQ(Count(run.output, "sample.outlined.pdf exists (--force replaces it)"), 1) << run.output;
  EXPECT_EQ(ReadFile(in / "sample.outlined.pdf"), kEarlierOutput);
  EXPECT_EQ(ListFolder(in), (Listing{"sample.outlined.pdf", "sample.pdf"}));
}

TEST_F(ExistingOutput, IsReplacedWithForce) {
  const fs::path stage = Stage(Converting());
  const fs::path in = Folder("in");
  const fs::path out = Folder("out");
  fs::copy_file(SamplePdf(), in / "sample.pdf");
  WriteFile(out / "chosen.pdf", kEarlierOutput);

  const RunResult run =
      Run(stage, {"--force", "-o", PathToUtf8(out / "chosen.pdf"), PathToUtf8(in / "sample.pdf")});

  EXPECT_EQ(run.exit_code, 0) << run.output;
  EXPECT_EQ(ReadFile(out / "chosen.pdf").substr(0, 5), "%PDF-");
  EXPECT_EQ(ListFolder(out), Listing{"chosen.pdf"}) << "no temporary file may be left";
}

class FileErrors : public XtviewTest {};

TEST_F(FileErrors, MissingInputAndFolderAreReportedAndTheOthersConverted) {
  const fs::path stage = Stage(Converting());
  const fs::path in = Folder("in");
  const fs::path folder = Folder("in/folder.pdf");
  fs::copy_file(SamplePdf(), in / "good.pdf");

  const RunResult run =
      Run(stage, {PathToUtf8(in / "missing.pdf"), PathToUtf8(folder), PathToUtf8(in / "good.pdf")});

  EXPECT_EQ(run.exit_code, 1) << run.output;
  EXPECT_EQ(Count(run.output, "missing.pdf: cannot read: "), 1) << run.output;
  EXPECT_EQ(Count(run.output, "folder.pdf: is a folder"), 1) << run.output;
  EXPECT_EQ(Count(run.output, "1 converted, 0 declined, 0 failed, 2 not read or written"), 1)
      << run.output;
  EXPECT_EQ(ListFolder(in), (Listing{"folder.pdf", "good.outlined.pdf", "good.pdf"}));
}

TEST_F(FileErrors, UnreadableInputIsReportedAndTheOthersConverted) {
  const fs::path stage = Stage(Converting());
  const fs::path in = Folder("in");
  fs::copy_file(SamplePdf(), in / "locked.pdf");
  fs::copy_file(SamplePdf(), in / "good.pdf");
  const std::shared_ptr<void> unreadable = KeepUnreadable(in / "locked.pdf");
  if (!unreadable) GTEST_SKIP() << "this user can read any file here";

  const RunResult run = Run(stage, {PathToUtf8(in / "locked.pdf"), PathToUtf8(in / "good.pdf")});

  EXPECT_EQ(run.exit_code, 1) << run.output;
  EXPECT_EQ(Count(run.output, "locked.pdf: cannot read: "), 1) << run.output;
  EXPECT_EQ(ListFolder(in), (Listing{"good.outlined.pdf", "good.pdf", "locked.pdf"}));
}

TEST_F(FileErrors, UnwritableOutputFolderIsReportedAndTheOthersConverted) {
  const fs::path stage = Stage(Converting());
  const fs::path closed = Folder("closed");
  const fs::path open = Folder("open");
  fs::copy_file(SamplePdf(), closed / "a.pdf");
  fs::copy_file(SamplePdf(), open / "b.pdf");
  const std::shared_ptr<void> unwritable = KeepUnwritable(closed);
  if (!unwritable) GTEST_SKIP() << "a folder cannot be closed to this user here";

  const RunResult run = Run(stage, {PathToUtf8(closed / "a.pdf"), PathToUtf8(open / "b.pdf")});

  EXPECT_EQ(run.exit_code, 1) << run.output;
  EXPECT_EQ(Count(run.output, "a.pdf: cannot write "), 1) << run.output;
  EXPECT_EQ(ListFolder(closed), Listing{"a.pdf"});
  EXPECT_EQ(ListFolder(open), (Listing{"b.outlined.pdf", "b.pdf"}));
}

TEST_F(FileErrors, FailedRenameLeavesNoTemporaryFile) {
  // A folder under the output's name cannot be replaced, even with --force: the write fails
  // after the temporary file was made.
  const fs::path stage = Stage(Converting());
  const fs::path in = Folder("in");
  fs::copy_file(SamplePdf(), in / "a.pdf");
  fs::copy_file(SamplePdf(), in / "b.pdf");
  Folder("in/a.outlined.pdf");

  const RunResult run = Run(stage, {"--force", PathToUtf8(in / "a.pdf"), PathToUtf8(in / "b.pdf")});

  EXPECT_EQ(run.exit_code, 1) << run.output;
  EXPECT_EQ(Count(run.output, "a.pdf: cannot write "), 1) << run.output;
  EXPECT_EQ(ListFolder(in), (Listing{"a.outlined.pdf", "a.pdf", "b.outlined.pdf", "b.pdf"}));
  EXPECT_TRUE(fs::is_directory(in / "a.outlined.pdf"));
}

class Startup : public XtviewTest {};

TEST_F(Startup, NoGhostscriptBesideThePluginEndsWithTheHint) {
  const fs::path stage = Stage(Ghostscript::Missing);
  const fs::path in = Folder("in");
  fs::copy_file(SamplePdf(), in / "sample.pdf");

  const RunResult run = Run(stage, {PathToUtf8(in / "sample.pdf")});

  EXPECT_EQ(run.exit_code, 2) << run.output;
  EXPECT_EQ(Count(run.output, "plug-in (flags 0): [ERROR] Could not load the GhostScript API"), 1)
      << run.output;
  EXPECT_EQ(Count(run.output, std::string("Ghostscript's library ") +
                                  QUILLMEND_GHOSTSCRIPT_LIBRARY + " lies beside it"),
            1)
      << run.output;
  EXPECT_EQ(ListFolder(in), Listing{"sample.pdf"});
}

TEST_F(Startup, PluginIsFoundBesideXtviewOrWherePluginSays) {
  const fs::path bare = Stage(Ghostscript::Missing, "bare");
  fs::remove(bare / BuildPath(XTVIEW_TEST_PLUGIN).filename());
  const fs::path full = Stage(Converting(), "full");
  const fs::path in = Folder("in");
  fs::copy_file(SamplePdf(), in / "sample.pdf");

  const RunResult missing = Run(bare, {PathToUtf8(in / "sample.pdf")});
  const RunResult chosen =
      Run(bare, {"--plugin", PathToUtf8(full / BuildPath(XTVIEW_TEST_PLUGIN).filename()),
                 PathToUtf8(in / "sample.pdf")});

  EXPECT_EQ(missing.exit_code, 2) << missing.output;
  EXPECT_EQ(Count(missing.output, "xtview: cannot load the plug-in "), 1) << missing.output;
  EXPECT_EQ(chosen.exit_code, 0) << chosen.output;
  EXPECT_EQ(ListFolder(in), (Listing{"sample.outlined.pdf", "sample.pdf"}));
}

TEST_F(Startup, NamesThePluginAndGhostscriptBySizeAndSha256) {
  // Past a million bytes and 56 into the last block, so that the length spills into a block of
  // its own. Not a library: the plug-in cannot start, but the lines come first.
  const fs::path stage = Stage(Ghostscript::Missing);
  WriteFile(stage / QUILLMEND_GHOSTSCRIPT_LIBRARY, std::string(1000056, 'a'));
  const fs::path plugin = BuildPath(XTVIEW_TEST_PLUGIN);

  const RunResult run = Run(stage, {PathToUtf8(SamplePdf())});

  EXPECT_EQ(run.exit_code, 2) << run.output;
  EXPECT_EQ(Count(run.output, PathToUtf8(plugin.filename()) + ", " +
                                  std::to_string(fs::file_size(plugin)) + " bytes, SHA-256 "),
            1)
      << run.output;
  // As sha256sum prints it.
  EXPECT_EQ(
      Count(run.output, std::string(QUILLMEND_GHOSTSCRIPT_LIBRARY) + ", 1000056 bytes, SHA-256 " +
                            "96b81eb61d82ce9a327933782a93746ca8512b73cc77bb8a52bf8ca3a751447f, "
                            "revision unknown\n"),
      1)
      << run.output;
}

TEST_F(Startup, UsageErrorsEndWithExitCodeTwoAndOneLine) {
  const fs::path stage = Stage(Converting());
  const std::string sample = PathToUtf8(SamplePdf());
  const fs::path earlier = Folder("reports") / "earlier.jsonl";
  WriteFile(earlier, kEarlierOutput);
  const std::vector<std::vector<std::string>> wrong = {
      {},
      {"--no-such-option", sample},
      {"-o", "x.pdf", sample, sample},
      {"-o", "x.pdf", "--out", ".", sample},
      {"--jobs", "0", sample},
      {"--parallel", "0", sample},
      {"--parallel", "17", sample},
      {"--parallel", "+3", sample},
      {"--parallel", "Auto", sample},
      {"--report", PathToUtf8(earlier), sample},  // without --force
  };
  for (const std::vector<std::string>& arguments : wrong) {
    const RunResult run = Run(stage, arguments);
    EXPECT_EQ(run.exit_code, 2) << run.output;
    EXPECT_EQ(run.output.rfind("xtview: ", 0), 0u) << run.output;
    EXPECT_EQ(Count(run.output, "converted"), 0) << run.output;
  }

  EXPECT_EQ(ReadFile(earlier), kEarlierOutput);

  const RunResult version = Run(stage, {"--version"});
  EXPECT_EQ(version.exit_code, 0);
  EXPECT_EQ(version.output, std::string("xtview ") + XTVIEW_TEST_VERSION + "\n");
}

}  // namespace
}  // namespace xtview_test
