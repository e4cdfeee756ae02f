#include "inputs.h"

#include <algorithm>
#include <set>

#include "text.h"

namespace xtview {

namespace {

constexpr char kOutputSuffix[] = ".outlined.pdf";

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// A PDF for a recursive walk: ends in .pdf, any case, and is not an earlier run's output.
bool TakenByWalk(const std::filesystem::path& file) {
  const std::string name = Lower(PathToUtf8(file.filename()));
  return EndsWith(name, ".pdf") && !EndsWith(name, kOutputSuffix);
}

void Walk(const std::filesystem::path& folder, std::vector<std::filesystem::path>* files,
          std::vector<InputError>* errors) {
  std::vector<std::filesystem::path> found;
  std::error_code error;
  auto entries = std::filesystem::recursive_directory_iterator(
      folder, std::filesystem::directory_options::skip_permission_denied, error);
  for (; !error && entries != std::filesystem::recursive_directory_iterator();
       entries.increment(error)) {
    std::error_code status_error;
    if (entries->is_regular_file(status_error) && TakenByWalk(entries->path())) {
      found.push_back(entries->path());
    }
  }
  if (error) errors->push_back({PathToUtf8(folder), "cannot list the folder: " + error.message()});
  std::sort(found.begin(), found.end());
  files->insert(files->end(), found.begin(), found.end());
}

// The same file can be named in different ways; compare the canonical forms where possible.
std::string Identity(const std::filesystem::path& path) {
  std::error_code error;
  const std::filesystem::path canonical = std::filesystem::weakly_canonical(path, error);
  return PathToUtf8(error ? path.lexically_normal() : canonical);
}

}  // namespace

std::filesystem::path OutputNameFor(const std::filesystem::path& input) {
  std::string name = PathToUtf8(input.filename());
  if (EndsWith(Lower(name), ".pdf")) name.resize(name.size() - 4);
  return PathFromUtf8(name + kOutputSuffix);
}

Plan PlanJobs(const Options& options) {
  Plan plan;
  std::vector<std::filesystem::path> files;
  for (const std::string& argument : options.files) {
    const std::filesystem::path path = PathFromUtf8(argument);
    std::error_code error;
    if (!std::filesystem::is_directory(path, error)) {
      // Missing and unreadable files are reported when they are read.
      files.push_back(path);
    } else if (options.recursive) {
      Walk(path, &files, &plan.errors);
    } else {
      plan.errors.push_back({argument, "is a folder (--recursive converts the PDFs in it)"});
    }
  }

  const std::filesystem::path output_dir = PathFromUtf8(options.output_dir);
  std::set<std::string> outputs;
  for (const std::filesystem::path& input : files) {
    Job job{input, {}};
    if (!options.output.empty()) {
      job.output = PathFromUtf8(options.output);
    } else {
      const std::filesystem::path folder =
          options.output_dir.empty() ? input.parent_path() : output_dir;
      job.output = folder / OutputNameFor(input);
    }
    const std::string identity = Identity(job.output);
    if (identity == Identity(input)) {
      plan.errors.push_back({PathToUtf8(input), "the output would replace the input"});
    } else if (!outputs.insert(identity).second) {
      plan.errors.push_back(
          {PathToUtf8(input), "has the same output as an earlier file: " + PathToUtf8(job.output)});
    } else {
      plan.jobs.push_back(job);
    }
  }
  return plan;
}

}  // namespace xtview
