#include "options.h"

#include <CLI/CLI.hpp>
#include <sstream>

#include "console.h"

#ifndef XTVIEW_VERSION
#define XTVIEW_VERSION "unknown"
#endif

namespace xtview {

namespace {

constexpr int kUsageError = 2;

void PrintStreams(const std::ostringstream& out, const std::ostringstream& err) {
  if (!out.str().empty()) sys::Write(sys::Stream::Out, out.str());
  if (!err.str().empty()) sys::Write(sys::Stream::Err, err.str());
}

bool UsageError(const std::string& message, int* exit_code) {
  sys::Write(sys::Stream::Err, "xtview: " + message + "\nRun with --help for more information.\n");
  *exit_code = kUsageError;
  return false;
}

// --parallel as the plug-in takes QUILLMEND_PARALLEL: auto, or decimal digits alone for 1 to 16.
// Empty when it is one of them, else the reason.
std::string ParallelError(const std::string& value) {
  if (value == "auto") return "";
  if (!value.empty() && value.size() <= 2 &&
      value.find_first_not_of("0123456789") == std::string::npos) {
    const int workers = std::stoi(value);
    if (workers >= 1 && workers <= 16) return "";
  }
  return "not auto or a whole number from 1 to 16: " + value;
}

}  // namespace

bool ParseOptions(const std::vector<std::string>& arguments, Options* options, int* exit_code) {
  CLI::App app(
      "Runs the Quillmend viewer X-Tension on files as the X-Ways host does, and writes each\n"
      "PDF it converts (text drawn as outlines) to NAME.outlined.pdf beside the input.",
      "xtview");
  app.set_version_flag("--version", std::string("xtview ") + XTVIEW_VERSION);
  app.add_option("FILE", options->files, "PDF files; with --recursive also folders");
  app.add_option("--plugin", options->plugin,
                 "The plug-in library (default: the one beside xtview)");
  app.add_option("-o,--output", options->output, "The output file, for a single input");
  app.add_option("--out", options->output_dir,
                 "Write the outputs into this folder; with --recursive, into the subfolders "
                 "that the inputs have below the folders given");
  app.add_option("--report", options->report,
                 "Write a record of the run to this file: JSON Lines, one line per input");
  app.add_flag("--force", options->force, "Replace existing outputs and report");
  app.add_option("-j,--jobs", options->jobs, "Views at once (default: one per core)")
      ->check(CLI::Range(1u, 256u));
  app.add_flag("-r,--recursive", options->recursive,
               "Take the files ending in .pdf from the folders given, and their subfolders");
  app.add_flag("-q,--quiet", options->quiet, "Print only failures and the summary");
  app.add_flag("--about", options->about, "Show the plug-in's About text and exit");
  app.add_flag("--no-cache", options->no_cache,
               "Turn off the plug-in's cache of converted documents: every view converts");
  app.add_option("--isolation", options->isolation,
                 "process: Ghostscript runs in a separate process, bounded in time, memory and "
                 "output (QUILLMEND_ISOLATION); none: inside the plug-in's process")
      ->check(CLI::IsMember({"process", "none"}));
  app.add_option("--time-limit", options->time_limit,
                 "Seconds a conversion in the separate process may take "
                 "(QUILLMEND_TIME_LIMIT_S; default 120)")
      ->check(CLI::Range(1u, 86400u));
  app.add_option("--parallel", options->parallel,
                 "Worker processes a first view in the separate process converts its pages with: "
                 "1 to 16, or auto, one per logical processor up to 16 (QUILLMEND_PARALLEL; "
                 "default 1)")
      ->check(CLI::Validator(ParallelError, "1..16|auto"));

  std::vector<const char*> argv;
  for (const std::string& argument : arguments) argv.push_back(argument.c_str());
  std::ostringstream out;
  std::ostringstream err;
  try {
    app.parse(static_cast<int>(argv.size()), argv.data());
  } catch (const CLI::ParseError& error) {
    // "xtview:" in front of CLI11's own one-line reason; its help and version go as they are.
    const int code = error.get_exit_code();
    if (code != 0) return UsageError(error.what(), exit_code);
    app.exit(error, out, err);
    PrintStreams(out, err);
    *exit_code = 0;
    return false;
  }

  if (options->about) return true;
  if (options->files.empty()) return UsageError("no FILE given", exit_code);
  if (!options->output.empty() && !options->output_dir.empty()) {
    return UsageError("-o and --out cannot be used together", exit_code);
  }
  return true;
}

}  // namespace xtview
