// xtview and the plug-in's cache: identical files are converted once, and --no-cache converts
// each of them.
#include "support.h"

namespace xtview_test {
namespace {

class PluginCache : public XtviewTest {};

TEST_F(PluginCache, IdenticalFilesConvertOnceUnlessTurnedOff) {
  const fs::path stage = Stage(Ghostscript::StandIn);
  const fs::path in = Folder("in");
  for (const char* file : {"a.pdf", "b.pdf"}) fs::copy_file(SamplePdf(), in / file);
  const fs::path log = scratch_ / "standin.log";
  SetEnvironment("QUILLMEND_STANDIN_LOG", PathToUtf8(log));

  for (const bool cache : {true, false}) {
    fs::remove(log);
    std::vector<std::string> arguments = {"-j", "1", "--force"};
    if (!cache) arguments.push_back("--no-cache");
    for (const char* file : {"a.pdf", "b.pdf"}) arguments.push_back(PathToUtf8(in / file));
    const RunResult run = Run(stage, arguments);
    EXPECT_EQ(run.exit_code, 0) << run.output;
    EXPECT_EQ(Count(ReadFile(log), "new\n"), cache ? 1 : 2) << "cache " << cache;
    EXPECT_EQ(ReadFile(in / "b.outlined.pdf"), ReadFile(SamplePdf()));
  }
  SetEnvironment("QUILLMEND_STANDIN_LOG", "");
}

}  // namespace
}  // namespace xtview_test
