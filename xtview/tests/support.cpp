#include "support.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>

namespace xtview_test {

namespace {

fs::path Built(const char* path) {
  return BuildPath(path);
}

}  // namespace

std::shared_ptr<void> Undoing(std::function<void()> undo) {
  return std::shared_ptr<void>(new int(0), [undo](void* holder) {
    undo();
    delete static_cast<int*>(holder);
  });
}

bool HaveRealGhostscript() {
  return std::string(XTVIEW_TEST_REAL_GS).size() > 0;
}

Ghostscript Converting() {
  return HaveRealGhostscript() ? Ghostscript::Real : Ghostscript::StandIn;
}

fs::path PathFromUtf8(const std::string& text) {
  return fs::path(std::u8string(text.begin(), text.end()));
}

std::string PathToUtf8(const fs::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good()) << "cannot write " << PathToUtf8(path);
}

std::vector<std::string> ListFolder(const fs::path& folder) {
  std::vector<std::string> names;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
    names.push_back(PathToUtf8(entry.path().filename()));
  }
  std::sort(names.begin(), names.end());
  return names;
}

namespace {

std::string RunTool(const char* tool, const fs::path& pdf) {
  // Test programs run side by side: each tool run has its own output file.
  static const unsigned seed = std::random_device{}();
  static std::atomic<unsigned> runs = 0;
  const fs::path output = fs::temp_directory_path() / ("xtview-tool-" + std::to_string(seed) + "-" +
                                                       std::to_string(++runs) + ".txt");
  const int code = RunProgram(Built(tool), {PathToUtf8(pdf)}, output);
  std::string text = ReadFile(output);
  fs::remove(output);
  EXPECT_EQ(code, 0) << tool << " on " << PathToUtf8(pdf) << ":\n" << text;
  return text;
}

}  // namespace

int PageCount(const fs::path& pdf) {
  std::istringstream lines(RunTool(XTVIEW_TEST_PDFINFO, pdf));
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("Pages:", 0) == 0) return std::stoi(line.substr(6));
  }
  return -1;
}

std::vector<std::string> FontNames(const fs::path& pdf) {
  std::istringstream lines(RunTool(XTVIEW_TEST_PDFFONTS, pdf));
  std::vector<std::string> names;
  std::string line;
  // Two header lines, then one font a line, its name first; subsets carry a "ABCDEF+" tag.
  std::getline(lines, line);
  std::getline(lines, line);
  while (std::getline(lines, line)) {
    std::string name = line.substr(0, line.find(' '));
    const std::size_t plus = name.find('+');
    if (plus == 6) name = name.substr(plus + 1);
    if (!name.empty()) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string DocumentFacts(const fs::path& pdf) {
  if (!HaveRealGhostscript()) return ReadFile(pdf);
  std::string facts = "pages " + std::to_string(PageCount(pdf)) + "; fonts:";
  for (const std::string& font : FontNames(pdf)) facts += " " + font;
  return facts;
}

fs::path SamplePdf() {
  return Built(XTVIEW_TEST_SAMPLE);
}

fs::path CorpusPdf(int number) {
  char name[32];
  std::snprintf(name, sizeof(name), "doc-%02d.pdf", number);
  return Built(XTVIEW_TEST_CORPUS) / name;
}

int Count(const std::string& output, const std::string& text) {
  int count = 0;
  for (std::size_t at = output.find(text); at != std::string::npos;
       at = output.find(text, at + text.size())) {
    ++count;
  }
  return count;
}

void XtviewTest::SetUp() {
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  scratch_ =
      Built(XTVIEW_TEST_SCRATCH) / (std::string(test->test_suite_name()) + "." + test->name());
  fs::remove_all(scratch_);
  fs::create_directories(scratch_);
  temp_ = Folder("temp");
}

fs::path XtviewTest::Folder(const std::string& name) {
  const fs::path folder = scratch_ / PathFromUtf8(name);
  fs::create_directories(folder);
  return folder;
}

fs::path XtviewTest::Stage(Ghostscript ghostscript, const std::string& name) {
  const fs::path stage = Folder(name);
  const fs::path program = Built(XTVIEW_TEST_PROGRAM);
  const fs::path plugin = Built(XTVIEW_TEST_PLUGIN);
  fs::copy_file(program, stage / program.filename());
  fs::copy_file(plugin, stage / plugin.filename());
  const fs::path library = stage / QUILLMEND_GHOSTSCRIPT_LIBRARY;
  if (ghostscript == Ghostscript::Real) {
    fs::create_symlink(Built(XTVIEW_TEST_REAL_GS), library);
  } else if (ghostscript == Ghostscript::StandIn) {
    fs::copy_file(Built(XTVIEW_TEST_STANDIN), library);
  }
  return stage;
}

RunResult XtviewTest::Run(const fs::path& stage, const std::vector<std::string>& arguments,
                          const std::string& standin, Runner runner) {
  static int runs = 0;
  // The plug-in's temporary files go to the test's own folder, where the tests can see them.
  for (const char* name : {"TMPDIR", "TMP", "TEMP"}) SetEnvironment(name, PathToUtf8(temp_));
  SetEnvironment("QUILLMEND_STANDIN", standin);
  const fs::path output = scratch_ / ("run-" + std::to_string(++runs) + ".txt");
  RunResult result;
  result.exit_code = runner(stage / Built(XTVIEW_TEST_PROGRAM).filename(), arguments, output);
  SetEnvironment("QUILLMEND_STANDIN", "");
  const std::string text = ReadFile(output);
  fs::remove(output);
  std::copy_if(text.begin(), text.end(), std::back_inserter(result.output),
               [](char c) { return c != '\r'; });
  return result;
}

}  // namespace xtview_test
