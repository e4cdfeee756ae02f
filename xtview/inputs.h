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
};

// An argument or file that cannot be converted, with the reason.
struct InputError {
  std::string name;
  std::string reason;
};

struct Plan {
  std::vector<Job> jobs;
  std::vector<InputError> errors;
};

Plan PlanJobs(const Options& options);

// "report.pdf" -> "report.outlined.pdf"; any other name keeps its extension: "a.bin" ->
// "a.bin.outlined.pdf".
std::filesystem::path OutputNameFor(const std::filesystem::path& input);

}  // namespace xtview
