// Runs another Windows program from a test and collects what it printed: for the Windows
// end-to-end tests and xtview's tests alike.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace quillmend::test {

struct ChildRun {
  int exit_code = -1;  // -1 when it could not start or was stopped at the time limit
  std::string output;  // standard output and standard error together, CR LF made LF
};

// Runs `program` with UTF-8 `arguments` in this process's environment, so that TMP and TEMP as
// a test set them hold for it too. Its output goes through `log`, a file. A run that outlasts
// `seconds` is ended and recorded as a test failure.
ChildRun RunChild(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                  const std::filesystem::path& log, int seconds);

}  // namespace quillmend::test
