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

// A file found in a folder, and where its output goes below --out.
struct Found {
  std::filesystem::path file;
  std::filesystem::path below;  // its output's subfolder below --out; empty for --out itself
};

void Walk(const std::filesystem::path& folder, const std::filesystem::path& prefix,
          std::vector<Found>* files, std::vector<InputError>* errors) {
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
  for (const std::filesystem::path& file : found) {
    // The iterator builds each path from `folder`, so the relative path is that below it.
    const std::filesystem::path relative = file.lexically_relative(folder).parent_path();
    files->push_back({file, prefix / relative});
  }
}

// A folder's own name, as given (a link keeps its name); empty for a root.
std::filesystem::path OwnName(const std::filesystem::path& folder) {
  std::error_code error;
  std::filesystem::path full = std::filesystem::absolute(folder, error).lexically_normal();
  if (full.filename().empty()) full = full.parent_path();
  return full.filename();
}

// The same file can be named in different ways; compare the canonical forms where possible.
std::string Identity(const std::filesystem::path& path) {
  std::error_code error;
  const std::filesystem::path canonical = std::filesystem::weakly_canonical(path, error);
  return PathToUtf8(error ? path.lexically_normal() : canonical);
}

}  // namespace

bool SamePath(const std::filesystem::path& a, const std::filesystem::path& b) {
  return Identity(a) == Identity(b);
}

std::filesystem::path OutputNameFor(const std::filesystem::path& input) {
  std::string name = PathToUtf8(input.filename());
  if (EndsWith(Lower(name), ".pdf")) name.resize(name.size() - 4);
  return PathFromUtf8(name + kOutputSuffix);
}

Plan PlanJobs(const Options& options) {
  Plan plan;
  struct Named {
    std::filesystem::path path;
    bool folder;
  };
  std::vector<Named> named;  // in the order of the arguments
  std::size_t folders = 0;
  for (const std::string& argument : options.files) {
    const std::filesystem::path path = PathFromUtf8(argument);
    std::error_code error;
    if (!std::filesystem::is_directory(path, error)) {
      // Missing and unreadable files are reported when they are read.
      named.push_back({path, false});
    } else if (options.recursive) {
      named.push_back({path, true});
      ++folders;
    } else {
      plan.errors.push_back({argument, "is a folder (--recursive converts the PDFs in it)"});
    }
  }
  std::vector<Found> files;
  for (const Named& argument : named) {
    if (!argument.folder) {
      files.push_back({argument.path, {}});
    } else {
      const std::filesystem::path prefix = folders > 1 ? OwnName(argument.path) : "";
      Walk(argument.path, prefix, &files, &plan.errors);
    }
  }

  const std::filesystem::path output_dir = PathFromUtf8(options.output_dir);
  std::set<std::string> outputs;
  for (const Found& found : files) {
    const std::filesystem::path& input = found.file;
    Job job{input, {}, {}};
    if (!options.output.empty()) {
      job.output = PathFromUtf8(options.output);
    } else if (options.output_dir.empty()) {
      job.output = input.parent_path() / OutputNameFor(input);
    } else {
      job.output = output_dir / found.below / OutputNameFor(input);
      if (!found.below.empty()) job.made_under = output_dir;
    }
    const std::string identity = Identity(job.output);
    if (identity == Identity(input)) {
      plan.errors.push_back({PathToUtf8(input), "the output would replace the input", true});
    } else if (!outputs.insert(identity).second) {
      plan.errors.push_back({PathToUtf8(input),
                             "has the same output as an earlier file: " + PathToUtf8(job.output),
                             true});
    } else {
      plan.jobs.push_back(job);
    }
  }
  return plan;
}

}  // namespace xtview
