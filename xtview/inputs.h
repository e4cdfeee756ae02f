// From the FILE arguments to the list of conversions: which files, and where each output goes.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "options.h"

namespace xtview {

struct Job {
  std::filesystem::path input;
  std::filesystem::path output;
  // The --out folder, when the output lies in a subfolder of it that the write may create.
  std::filesystem::path made_under;
};

// An argument or file that cannot be converted, with the reason.
struct InputError {
  std::string name;
  std::string reason;
  bool output = false;  // the input itself is fine, its output is not
};

struct Plan {
  std::vector<Job> jobs;
  std::vector<InputError> errors;
};

// With --recursive and --out, a file found in a folder keeps its path below that folder: below
// --out itself when one folder is given, below a subfolder named as the folder when several are.
// Files named directly go into --out itself. Two inputs with one output are an error, whatever
// the reason (the same file or folder given twice, or two folders of the same name).
Plan PlanJobs(const Options& options);

// True when both paths name one file, existing or not.
bool SamePath(const std::filesystem::path& a, const std::filesystem::path& b);

// "report.pdf" -> "report.outlined.pdf"; any other name keeps its extension: "a.bin" ->
// "a.bin.outlined.pdf".
std::filesystem::path OutputNameFor(const std::filesystem::path& input);

}  // namespace xtview
