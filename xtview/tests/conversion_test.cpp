// xtview end to end: what it does with PDFs and other files, with the real Ghostscript where
// there is one and the stand-in where a fault must be forced.
#include <algorithm>

#include "support.h"

#ifndef _WIN32
#include <sys/stat.h>

#include <cstdlib>
#endif

namespace xtview_test {
namespace {

using Listing = std::vector<std::string>;

class MixedInputs : public XtviewTest {};

TEST_F(MixedInputs, ConvertsThePdfAndDeclinesTheRest) {
  const fs::path stage = Stage(Converting());
  const fs::path in = Folder("in");
  fs::copy_file(SamplePdf(), in / "sample.pdf");
  WriteFile(in / "notes.txt", std::string(400, 'x'));
  WriteFile(in / "tiny.pdf", "%PDF-1.4\n%%EOF\n");

  const RunResult run = Run(stage, {PathToUtf8(in / "sample.pdf"), PathToUtf8(in / "notes.txt"),
                                    PathToUtf8(in / "tiny.pdf")});

  EXPECT_EQ(run.exit_code, 0) << run.output;
  EXPECT_EQ(Count(run.output, "plug-in (flags 2): Quillmend viewer X-Tension loaded.\n"), 1)
      << run.output;
  EXPECT_EQ(Count(run.output, "converted  "), 1) << run.output;
  EXPECT_EQ(Count(run.output, "notes.txt: not a PDF"), 1) << run.output;
  EXPECT_EQ(Count(run.output, "tiny.pdf: under 150 bytes"), 1) << run.output;
  EXPECT_EQ(Count(run.output, "3 files in"), 1) << run.output;
  EXPECT_EQ(Count(run.output, "1 converted, 2 declined, 0 failed, 0 not read or written"), 1)
      << run.output;
  EXPECT_EQ(ListFolder(in),
            (Listing{"notes.txt", "sample.outlined.pdf", "sample.pdf", "tiny.pdf"}));
  EXPECT_EQ(ListFolder(temp_), Listing{}) << "the plug-in left temporary files";

  const fs::path output = in / "sample.outlined.pdf";
  if (HaveRealGhostscript()) {
    EXPECT_EQ(PageCount(output), PageCount(SamplePdf()));
    EXPECT_NE(FontNames(SamplePdf()), Listing{});
    EXPECT_EQ(FontNames(output), Listing{}) << "text should be outlines, with no font left";
  } else {
    EXPECT_EQ(ReadFile(output), ReadFile(SamplePdf())) << "the stand-in copies its input";
  }
}

class GhostscriptFailure : public XtviewTest {};

TEST_F(GhostscriptFailure, RejectedPdfLeavesNoOutputAndNoTemporaryFile) {
  const fs::path stage = Stage(Ghostscript::StandIn);
  const fs::path in = Folder("in");
  fs::copy_file(SamplePdf(), in / "sample.pdf");

  const RunResult run = Run(stage, {PathToUtf8(in / "sample.pdf")}, "fail-init");

  EXPECT_EQ(run.exit_code, 1) << run.output;
  const std::size_t message = run.output.find("[ERROR] GhostScript conversion failed.");
  const std::size_t failed = run.output.find("sample.pdf: the plug-in could not convert it");
  ASSERT_NE(message, std::string::npos) << run.output;
  ASSERT_NE(failed, std::string::npos) << run.output;
  EXPECT_LT(message, failed) << "the plug-in's message belongs above the failure line";
  EXPECT_EQ(ListFolder(in), Listing{"sample.pdf"});
  EXPECT_EQ(ListFolder(temp_), Listing{});
}

// A buffer of 0 bytes is a success by the plug-in's contract: converted, with a warning.
using EmptyResult = XtviewTest;

TEST_F(EmptyResult, IsConvertedWithAWarning) {
  const fs::path stage = Stage(Ghostscript::StandIn);
  const fs::path in = Folder("in");
  fs::copy_file(SamplePdf(), in / "sample.pdf");

  const RunResult run = Run(stage, {PathToUtf8(in / "sample.pdf")}, "empty-output");

  EXPECT_EQ(run.exit_code, 0) << run.output;
  // Built piece by piece: GCC 12 warns falsely (-Wrestrict) on a chain of string additions here.
  std::string sizes = "(";
  sizes += std::to_string(fs::file_size(in / "sample.pdf"));
  sizes += " -> 0 bytes";
  EXPECT_EQ(Count(run.output, sizes), 1) << run.output;
  EXPECT_EQ(Count(run.output, "warning: the converted document is empty"), 1) << run.output;
  EXPECT_EQ(ListFolder(in), (Listing{"sample.outlined.pdf", "sample.pdf"}));
  EXPECT_EQ(fs::file_size(in / "sample.outlined.pdf"), 0u);
}

class Jobs : public XtviewTest {};

TEST_F(Jobs, FourAtOnceGiveTheSameDocumentsAsOneAtATime) {
  constexpr int kDocuments = 12;
  const fs::path stage = Stage(Converting());
  const fs::path in = Folder("in");
  std::vector<std::string> inputs;
  for (int number = 1; number <= kDocuments; ++number) {
    const fs::path copy = in / CorpusPdf(number).filename();
    fs::copy_file(CorpusPdf(number), copy);
    inputs.push_back(PathToUtf8(copy));
  }
  auto run_with = [&](const char* jobs, const fs::path& out) {
    std::vector<std::string> arguments = {"--jobs", jobs, "--out", PathToUtf8(out)};
    arguments.insert(arguments.end(), inputs.begin(), inputs.end());
    // The stand-in takes a while per view, so that views overlap as real ones do.
    return Run(stage, arguments, "sleep");
  };
  const fs::path one = Folder("one");
  const fs::path four = Folder("four");

  const RunResult single = run_with("1", one);
  const RunResult parallel = run_with("4", four);

  EXPECT_EQ(single.exit_code, 0) << single.output;
  EXPECT_EQ(parallel.exit_code, 0) << parallel.output;
  EXPECT_EQ(Count(single.output, "converted  "), kDocuments) << single.output;
  EXPECT_EQ(Count(parallel.output, "converted  "), kDocuments) << parallel.output;
  EXPECT_EQ(Count(parallel.output, "X-Tension loaded."), 1) << parallel.output;
  EXPECT_EQ(ListFolder(one), ListFolder(four));
  for (int number = 1; number <= kDocuments; ++number) {
    const fs::path name = CorpusPdf(number).stem().concat(".outlined.pdf");
    SCOPED_TRACE(PathToUtf8(name));
    ASSERT_TRUE(fs::exists(four / name));
    EXPECT_EQ(DocumentFacts(four / name), DocumentFacts(one / name));
    if (HaveRealGhostscript()) {
      EXPECT_EQ(PageCount(four / name), number);
      EXPECT_EQ(FontNames(four / name), Listing{});
    }
  }
}

class FileNames : public XtviewTest {};

TEST_F(FileNames, RecursiveTakesFilesEndingInPdfOnly) {
  const fs::path stage = Stage(Converting());
  const fs::path tree = Folder("tree");
  const fs::path sub = Folder("tree/sub");
  fs::copy_file(SamplePdf(), tree / "a.pdf");
  fs::copy_file(SamplePdf(), sub / "B.PDF");
  fs::copy_file(SamplePdf(), sub / "notes.txt");
  fs::copy_file(SamplePdf(), sub / "old.outlined.pdf");

  const RunResult run = Run(stage, {"-r", PathToUtf8(tree)});

  EXPECT_EQ(run.exit_code, 0) << run.output;
  EXPECT_EQ(Count(run.output, "converted  "), 2) << run.output;
  EXPECT_EQ(ListFolder(tree), (Listing{"a.outlined.pdf", "a.pdf", "sub"}));
  EXPECT_EQ(ListFolder(sub), (Listing{"B.PDF", "B.outlined.pdf", "notes.txt", "old.outlined.pdf"}));
}

TEST_F(FileNames, NonAsciiNamesAreReadWrittenAndShown) {
  const fs::path stage = Stage(Converting());
  const fs::path in = Folder("Prüfung Ω");
  const std::string name = "Bericht – März €";
  fs::copy_file(SamplePdf(), in / PathFromUtf8(name + ".pdf"));

  const RunResult run = Run(stage, {PathToUtf8(in / PathFromUtf8(name + ".pdf"))});

  EXPECT_EQ(run.exit_code, 0) << run.output;
  EXPECT_EQ(Count(run.output, name + ".outlined.pdf ("), 1) << run.output;
  EXPECT_EQ(ListFolder(in), (Listing{name + ".outlined.pdf", name + ".pdf"}));
}

class OutputTree : public XtviewTest {
 protected:
  // The files below `folder`, as relative paths with forward slashes, sorted.
  static Listing Tree(const fs::path& folder) {
    Listing files;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder)) {
      if (!entry.is_regular_file()) continue;
      const std::u8string name = entry.path().lexically_relative(folder).generic_u8string();
      files.emplace_back(name.begin(), name.end());
    }
    std::sort(files.begin(), files.end());
    return files;
  }
};

TEST_F(OutputTree, SameNamesInSubfoldersGoToTheirMirroredPlaces) {
  const fs::path stage = Stage(Converting());
  const fs::path case_folder = Folder("Fall Ω");
  for (const char* year : {"2019", "2020"}) {
    fs::copy_file(SamplePdf(), Folder(std::string("Fall Ω/mail/") + year) / "invoice.pdf");
  }
  const fs::path other = Folder("more/Akte ä");
  fs::copy_file(SamplePdf(), other / "invoice.pdf");
  const fs::path loose = Folder("loose") / "invoice.pdf";
  fs::copy_file(SamplePdf(), loose);
  const fs::path one = Folder("one");
  const fs::path several = Folder("several");

  const RunResult single = Run(stage, {"-r", "--out", PathToUtf8(one), PathToUtf8(case_folder)});
  const RunResult many = Run(stage, {"-r", "--out", PathToUtf8(several), PathToUtf8(case_folder),
                                     PathToUtf8(other), PathToUtf8(loose)});

  EXPECT_EQ(single.exit_code, 0) << single.output;
  EXPECT_EQ(many.exit_code, 0) << many.output;
  // One folder: the tree below it; several: each below its own name; a file named: flat.
  EXPECT_EQ(Tree(one),
            (Listing{"mail/2019/invoice.outlined.pdf", "mail/2020/invoice.outlined.pdf"}));
  EXPECT_EQ(Tree(several),
            (Listing{"Akte ä/invoice.outlined.pdf", "Fall Ω/mail/2019/invoice.outlined.pdf",
                     "Fall Ω/mail/2020/invoice.outlined.pdf", "invoice.outlined.pdf"}));
}

TEST_F(OutputTree, AFolderOrAFileGivenTwiceIsOneCollision) {
  const fs::path stage = Stage(Converting());
  const fs::path in = Folder("in");
  fs::copy_file(SamplePdf(), in / "a.pdf");
  const fs::path folders = Folder("folders");
  const fs::path files = Folder("files");

  const RunResult folder_twice =
      Run(stage, {"-r", "--out", PathToUtf8(folders), PathToUtf8(in), PathToUtf8(in)});
  const RunResult file_twice =
      Run(stage, {"--out", PathToUtf8(files), PathToUtf8(in / "a.pdf"), PathToUtf8(in / "a.pdf")});

  for (const RunResult& run : {folder_twice, file_twice}) {
    EXPECT_EQ(run.exit_code, 1) << run.output;
    EXPECT_EQ(Count(run.output, "has the same output as an earlier file"), 1) << run.output;
    EXPECT_EQ(Count(run.output, "converted  "), 1) << run.output;
  }
  EXPECT_EQ(Tree(folders), Listing{"in/a.outlined.pdf"});
  EXPECT_EQ(Tree(files), Listing{"a.outlined.pdf"});
}

#ifndef _WIN32
// The separate process for an ordinary user, whom the worker's limit of no new processes denies
// threads as well: the real Ghostscript converts the sample there all the same. The superuser,
// as whom CI runs the tests, is not held by that limit, so xtview then runs as nobody, with the
// stage and input open to that user and the output and temporary folders writable by it.
class Isolation : public XtviewTest {
 protected:
  // Everything that user must reach lies below the system's temporary folder, which everyone may
  // enter: the build tree may lie below a folder that only its owner may enter, such as /root.
  void SetUp() override {
    XtviewTest::SetUp();
    char folder[] = "/tmp/quillmend-ordinary-user-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    fs::remove_all(scratch_);
    scratch_ = folder;
    temp_ = Folder("temp");
  }
  void TearDown() override { fs::remove_all(scratch_); }
};

TEST_F(Isolation, TheWorkerConvertsForAnOrdinaryUser) {
  if (!HaveRealGhostscript()) GTEST_SKIP() << "no real Ghostscript library here";
  const fs::path stage = Stage(Ghostscript::Real);
  const fs::path worker = BuildPath(XTVIEW_TEST_WORKER);
  fs::copy_file(worker, stage / worker.filename());
  const fs::path in = Folder("in");
  fs::copy_file(SamplePdf(), in / "sample.pdf");
  const fs::path out = Folder("out");
  for (const fs::path& folder : {scratch_, stage, in, out, temp_}) {
    fs::permissions(folder, fs::perms::all);
  }

  const RunResult run = Run(stage,
                            {"--isolation", "process", "-o", PathToUtf8(out / "sample.pdf"),
                             PathToUtf8(in / "sample.pdf")},
                            "", RunProgramAsOrdinaryUser);

  EXPECT_EQ(run.exit_code, 0) << run.output;
  EXPECT_EQ(Count(run.output, "converted  "), 1) << run.output;
  EXPECT_EQ(ListFolder(temp_), Listing{}) << "the plug-in or the worker left files";
  ASSERT_EQ(ListFolder(out), Listing{"sample.pdf"});
  struct stat written {};
  ASSERT_EQ(stat((out / "sample.pdf").c_str(), &written), 0);
  EXPECT_NE(written.st_uid, 0u) << "the superuser wrote the output";
  EXPECT_EQ(PageCount(out / "sample.pdf"), PageCount(SamplePdf()));
  EXPECT_EQ(FontNames(out / "sample.pdf"), Listing{}) << "text should be outlines";
}
#endif

}  // namespace
}  // namespace xtview_test
