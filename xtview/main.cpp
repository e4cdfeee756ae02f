// xtview: runs the Quillmend plug-in on files as the X-Ways host does.
#include <algorithm>
#include <chrono>
#include <exception>

#include "console.h"
#include "convert.h"
#include "ghostscript/ghostscript.h"
#include "host.h"
#include "inputs.h"
#include "interrupt.h"
#include "options.h"
#include "platform/platform.h"
#include "plugin.h"
#include "report.h"
#include "system.h"
#include "text.h"

namespace xtview {

namespace {

constexpr int kAllDone = 0;
constexpr int kSomeFilesFailed = 1;
constexpr int kCannotStart = 2;

void PrintError(const std::string& line) {
  console::Print(sys::Stream::Err, "xtview: " + line);
}

std::filesystem::path PluginPath(const Options& options) {
  if (!options.plugin.empty()) return PathFromUtf8(options.plugin);
  return sys::OwnFolder() / sys::kPluginFileName;
}

// One line that names a library by path, size and SHA-256, and `release` when there is one, so
// that a log shows which plug-in and which Ghostscript library did the work.
void PrintLibrary(const std::string& what, const report::Library& library,
                  const std::string& release = "") {
  const std::string name = "xtview: " + what + " " + PathToUtf8(library.path);
  if (!library.size) {
    console::Print(sys::Stream::Out, name + ": cannot read: " + library.error);
  } else {
    console::Print(sys::Stream::Out, name + ", " + std::to_string(*library.size) +
                                         " bytes, SHA-256 " + library.sha256 + release);
  }
}

// Ghostscript's library as PrintLibrary names it, with its own name and revision for itself
// (gsapi_revision). The library stays loaded: the plug-in loads the same file.
report::Library DescribeGhostscript(const std::filesystem::path& path) {
  report::Library library = report::Describe(path);
  std::string error;
  void* ghostscript = quillmend::host_emulator::LoadLibraryAt(path, &error);
  int (*revision)(void*, int) = nullptr;
  quillmend::GhostscriptRevision release{};
  if (ghostscript != nullptr &&
      quillmend::host_emulator::Bind(ghostscript, "gsapi_revision", &revision, &error) &&
      revision(&release, sizeof(release)) == 0 && release.product != nullptr) {
    library.product = release.product;
    library.revision = release.revision;
  }
  PrintLibrary("Ghostscript", library,
               library.product
                   ? ", " + *library.product + " revision " + std::to_string(*library.revision)
                   : ", revision unknown");
  return library;
}

// A setting of the plug-in's as it reads it: a whole number from `lowest` to `highest`, else
// `fallback`.
unsigned SettingOr(const char* name, unsigned lowest, unsigned highest, unsigned fallback) {
  const std::string text = sys::GetEnvironment(name);
  if (text.empty() || text.size() > 10 ||
      text.find_first_not_of("0123456789") != std::string::npos) {
    return fallback;
  }
  const unsigned long long value = std::stoull(text);
  return value >= lowest && value <= highest ? static_cast<unsigned>(value) : fallback;
}

// The worker processes of a first view in the separate process, as the plug-in reads
// QUILLMEND_PARALLEL: auto is one per logical processor, at most 16.
unsigned ParallelSetting() {
  constexpr unsigned kMostWorkers = 16;
  if (sys::GetEnvironment("QUILLMEND_PARALLEL") == "auto") {
    return std::min(static_cast<unsigned>(quillmend::os::CountLogicalProcessors()), kMostWorkers);
  }
  return SettingOr("QUILLMEND_PARALLEL", 1, kMostWorkers, 1);
}

// Sets --isolation, --time-limit and --parallel for the plug-in, which reads them when it starts,
// and records the mode, the bounds and the workers it will apply. False when they cannot be set;
// the reason is printed.
bool ApplyIsolation(const Options& options) {
  if (!options.isolation.empty() &&
      !sys::SetEnvironment("QUILLMEND_ISOLATION", options.isolation)) {
    PrintError("cannot set the plug-in's QUILLMEND_ISOLATION");
    return false;
  }
  if (options.time_limit > 0 &&
      !sys::SetEnvironment("QUILLMEND_TIME_LIMIT_S", std::to_string(options.time_limit))) {
    PrintError("cannot set the plug-in's QUILLMEND_TIME_LIMIT_S");
    return false;
  }
  if (!options.parallel.empty() && !sys::SetEnvironment("QUILLMEND_PARALLEL", options.parallel)) {
    PrintError("cannot set the plug-in's QUILLMEND_PARALLEL");
    return false;
  }
  report::Isolation isolation;
  isolation.process = sys::GetEnvironment("QUILLMEND_ISOLATION") == "process";
  isolation.time_limit_s = SettingOr("QUILLMEND_TIME_LIMIT_S", 1, 86400, 120);
  isolation.memory_limit_mb = SettingOr("QUILLMEND_MEMORY_LIMIT_MB", 256, 1048576, 2048);
  isolation.output_limit_mb = SettingOr("QUILLMEND_OUTPUT_LIMIT_MB", 1, 4096, 4096);
  isolation.parallel = ParallelSetting();
  report::SetIsolation(isolation);
  return true;
}

// Loads the plug-in and, unless only its About text is wanted, starts it. False when the run
// must end with kCannotStart; the reason is printed.
bool LoadAndStart(const Options& options, Plugin* plugin, std::int32_t* readiness) {
  const std::filesystem::path path = PluginPath(options);
  std::string reason;
  if (!LoadPlugin(path, plugin, &reason)) {
    PrintError("cannot load the plug-in " + PathToUtf8(path) + ": " + reason);
    return false;
  }
  const report::Library described = report::Describe(path);
  PrintLibrary("plug-in", described);
  report::SetLibraries(described,
                       DescribeGhostscript(path.parent_path() / sys::kGhostscriptFileName));
  if (options.about) return true;
  // The plug-in reads its cache's size when it starts.
  if (options.no_cache && !sys::SetEnvironment("QUILLMEND_CACHE_MB", "0")) {
    PrintError("cannot turn off the plug-in's cache");
    return false;
  }
  if (!ApplyIsolation(options)) return false;
  *readiness = StartPlugin(*plugin);
  report::SetPluginStartup(PluginStartupLine());
  if (*readiness >= 0) return true;
  PrintError("the plug-in did not start (XT_Init returned " + std::to_string(*readiness) +
             "): check that " + PathToUtf8(path) +
             " is the Quillmend plug-in and that Ghostscript's library " +
             sys::kGhostscriptFileName + " lies beside it");
  return false;
}

void PrintSummary(std::size_t files, double seconds, const Tally& tally, std::size_t not_started) {
  std::string line = "xtview: " + std::to_string(files) + (files == 1 ? " file" : " files");
  line += " in " + console::FormatSeconds(seconds) + ": ";
  line += std::to_string(tally.converted) + " converted, ";
  line += std::to_string(tally.declined) + " declined, ";
  line += std::to_string(tally.failed) + " failed, ";
  line += std::to_string(tally.errors) + " not read or written";
  if (not_started > 0) line += ", " + std::to_string(not_started) + " not started";
  console::Print(sys::Stream::Out, line);
}

// Starts the report that --report asks for, with an entry for every input. False when the run
// must end with kCannotStart; the reason is printed.
bool BeginReport(const Options& options, const Plan& plan) {
  const std::filesystem::path file = PathFromUtf8(options.report);
  for (const Job& job : plan.jobs) {
    if (SamePath(file, job.input) || SamePath(file, job.output)) {
      PrintError("the report would replace " +
                 PathToUtf8(SamePath(file, job.input) ? job.input : job.output));
      return false;
    }
  }
  std::vector<report::Entry> entries;
  for (const InputError& error : plan.errors) {
    report::Entry entry;
    entry.input = PathFromUtf8(error.name);
    entry.result = error.output ? report::Result::NotWritten : report::Result::NotRead;
    entry.reason = error.reason;
    entries.push_back(entry);
  }
  for (const Job& job : plan.jobs) {
    entries.emplace_back();
    entries.back().input = job.input;
  }
  std::string reason;
  if (report::Begin(file, options.force, options, std::move(entries), &reason)) return true;
  PrintError("cannot write the report: " + reason);
  return false;
}

// Writes the report, if there is one; a report that cannot be written fails the run.
int EndRun(int exit_code, bool interrupted) {
  std::string reason;
  if (report::Finish(exit_code, interrupted, &reason)) return exit_code;
  PrintError("cannot write the report: " + reason);
  return exit_code == kAllDone ? kSomeFilesFailed : exit_code;
}

int Run(const std::vector<std::string>& arguments) {
  const auto start = std::chrono::steady_clock::now();
  Options options;
  int exit_code = kAllDone;
  if (!ParseOptions(arguments, &options, &exit_code)) return exit_code;

  Plan plan;
  if (!options.about) {
    plan = PlanJobs(options);
    if (!options.output.empty() && (options.files.size() > 1 || plan.jobs.size() > 1)) {
      PrintError("-o names the output of a single input; use --out for several");
      return kCannotStart;
    }
    if (!options.report.empty() && !BeginReport(options, plan)) return kCannotStart;
  }

  SetQuietMessages(options.quiet);
  HandleInterrupts();
  Plugin plugin;
  std::int32_t readiness = 0;
  if (!LoadAndStart(options, &plugin, &readiness)) return EndRun(kCannotStart, StopRequested());
  // The host expects 0 once the box is closed; anything else is the plug-in's fault.
  if (options.about) return plugin.About(nullptr, nullptr) == 0 ? kAllDone : kSomeFilesFailed;

  for (const InputError& error : plan.errors) {
    console::Print(sys::Stream::Err, "error      " + error.name + ": " + error.reason);
  }
  RunSettings settings;
  // As a host does: several views at once only for a plug-in that declares itself thread-safe.
  settings.threads =
      readiness == kReadyForThreads ? (options.jobs > 0 ? options.jobs : sys::CoreCount()) : 1;
  settings.replace = options.force;
  settings.quiet = options.quiet;
  settings.first_record = plan.errors.size();
  report::SetViewsAtOnce(settings.threads);
  const bool show_progress = plan.jobs.size() > 1 && !options.quiet && sys::StdoutIsTerminal();
  if (show_progress) console::StartProgress(plan.jobs.size());
  Tally tally = ConvertAll(plugin, plan.jobs, settings);
  if (show_progress) console::EndProgress();

  const std::size_t viewed = tally.converted + tally.declined + tally.failed + tally.errors;
  tally.errors += plan.errors.size();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  PrintSummary(plan.jobs.size() + plan.errors.size(), seconds, tally, plan.jobs.size() - viewed);
  if (StopRequested()) return EndRun(kInterruptedExitCode, true);
  return EndRun(tally.failed + tally.errors == 0 ? kAllDone : kSomeFilesFailed, false);
}

}  // namespace

}  // namespace xtview

int main(int argc, char** argv) {
  // A tool may use exceptions inside, but none leaves it as a crash.
  try {
    return xtview::Run(xtview::sys::Arguments(argc, argv));
  } catch (const std::exception& exception) {
    xtview::sys::Write(xtview::sys::Stream::Err, std::string("xtview: ") + exception.what() + "\n");
  } catch (...) {
    xtview::sys::Write(xtview::sys::Stream::Err, "xtview: unexpected error\n");
  }
  return 1;
}
