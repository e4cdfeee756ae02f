// Helpers for xtview's end-to-end tests: staging the program beside a plug-in and a Ghostscript
// library in a fresh folder, running it as a child process, and looking at what it left.
// support_posix.cpp and support_win.cpp hold what differs between the platforms.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace xtview_test {

namespace fs = std::filesystem;

struct RunResult {
  int exit_code = -1;
  std::string output;  // standard output and standard error together, without CR
};

using Environment = std::vector<std::pair<std::string, std::string>>;

// --- Platform ------------------------------------------------------------------------------

// A path that the build wrote into the test program, as this platform names it.
fs::path BuildPath(const std::string& path);

// Runs `program` with UTF-8 arguments, its output going to the file `output`; the child
// inherits this process's environment. The exit code, or -1 when it could not be started.
int RunProgram(const fs::path& program, const std::vector<std::string>& arguments,
               const fs::path& output);

using Runner = int (*)(const fs::path& program, const std::vector<std::string>& arguments,
                       const fs::path& output);

#ifndef _WIN32
// Starts `program` as RunProgram does, without waiting for it: its process id, or -1.
int StartProgram(const fs::path& program, const std::vector<std::string>& arguments,
                 const fs::path& output);

// Runs `program` as RunProgram does, as a user without the superuser's privileges: when this
// process is the superuser, as nobody (user and group 65534, no other groups), who must be able
// to reach the program and everything it uses; otherwise as this process's own user.
int RunProgramAsOrdinaryUser(const fs::path& program, const std::vector<std::string>& arguments,
                             const fs::path& output);
#endif

// Sets an environment variable of this process (and so of its children); empty unsets it.
void SetEnvironment(const std::string& name, const std::string& value);

// Makes `file` unreadable for xtview until the returned holder goes; null where this platform
// and user cannot (root reads everything on POSIX).
std::shared_ptr<void> KeepUnreadable(const fs::path& file);

// Makes `folder` refuse new files until the returned holder goes; null where this platform and
// user cannot.
std::shared_ptr<void> KeepUnwritable(const fs::path& folder);

// --- Common ----------------------------------------------------------------------------------

// A holder that calls `undo` when the last copy goes.
std::shared_ptr<void> Undoing(std::function<void()> undo);

enum class Ghostscript { Real, StandIn, Missing };

// True where the real Ghostscript library is available to the tests (natively).
bool HaveRealGhostscript();

// The real library where there is one, else the stand-in.
Ghostscript Converting();

fs::path PathFromUtf8(const std::string& text);
std::string PathToUtf8(const fs::path& path);

std::string ReadFile(const fs::path& path);
void WriteFile(const fs::path& path, const std::string& bytes);

// The names in a folder, sorted.
std::vector<std::string> ListFolder(const fs::path& folder);

// What the tests compare of two documents: pages and fonts (through poppler's pdfinfo and
// pdffonts) after a real conversion; all their bytes after the stand-in's copy.
std::string DocumentFacts(const fs::path& pdf);
int PageCount(const fs::path& pdf);
std::vector<std::string> FontNames(const fs::path& pdf);

// The sample document and the twelve documents of the corpus (doc-NN.pdf has NN pages).
fs::path SamplePdf();
fs::path CorpusPdf(int number);

// How many times `text` occurs in `output`.
int Count(const std::string& output, const std::string& text);

// A fresh folder per test, with a stage (xtview, plug-in, Ghostscript library) and a temporary
// folder for the plug-in's own files.
class XtviewTest : public ::testing::Test {
 protected:
  void SetUp() override;

  // A new folder in the test's scratch folder.
  fs::path Folder(const std::string& name);

  // A folder holding xtview, the plug-in and the chosen Ghostscript library.
  fs::path Stage(Ghostscript ghostscript, const std::string& name = "stage");

  // Runs the staged xtview through `runner`. `standin` steers the stand-in library
  // (QUILLMEND_STANDIN).
  RunResult Run(const fs::path& stage, const std::vector<std::string>& arguments,
                const std::string& standin = "", Runner runner = RunProgram);

  fs::path scratch_;
  fs::path temp_;  // the plug-in's temporary folder
};

}  // namespace xtview_test
