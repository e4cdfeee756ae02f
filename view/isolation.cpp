#include "isolation.h"

#include <atomic>
#include <cstring>

#include "ghostscript/ghostscript.h"
#include "ghostscript/workstation_settings.h"
#include "platform/platform.h"
#include "setting.h"
#include "split_view.h"
#include "view.h"
#include "worker/worker.h"

namespace quillmend {

namespace {

// Two minutes: twenty times what the longest of the benchmark's ordinary documents takes (a
// 30-page manual converts in 6.6 s), and short enough that an examiner waiting on a hostile
// item is not held for long.
constexpr std::uint32_t kDefaultTimeLimitS = 120;
constexpr std::uint32_t kLongestTimeLimitS = 24 * 60 * 60;
// Ghostscript converts large documents in a few hundred MiB; 2 GiB leaves them room and keeps a
// document that asks for ever more from taking the workstation's memory.
constexpr std::uint32_t kDefaultMemoryLimitMiB = 2048;
constexpr std::uint32_t kSmallestMemoryLimitMiB = 256;
constexpr std::uint32_t kLargestMemoryLimitMiB = 1024 * 1024;
// A result is read with one 32-bit transfer: 4 GiB less a byte is the most that can be shown.
constexpr std::uint32_t kLargestOutputLimitMiB = 4096;
constexpr std::uint64_t kLargestResult = 0xFFFFFFFFULL;

// The start-up check waits this long for the worker to load Ghostscript.
constexpr std::uint32_t kCheckTimeLimitMs = 30000;

std::atomic<bool> isolated{false};
std::atomic<bool> mode_usable{true};
// Set while the worker has passed the start-up check: never for a mode that could not be read.
std::atomic<bool> worker_ready{false};
std::uint32_t time_limit_s = kDefaultTimeLimitS;
std::uint32_t memory_limit_mib = kDefaultMemoryLimitMiB;
std::uint32_t output_limit_mib = kLargestOutputLimitMiB;
std::uint32_t parallel_workers = 1;
char16_t worker_path[os::kPathCapacity] = {};

// One limit: ReadWholeNumberSetting for a value that fits 32 bits.
bool ReadLimit(const char* name, std::uint32_t lowest, std::uint32_t highest,
               std::uint32_t fallback, std::uint32_t* limit) {
  std::uint64_t value = fallback;
  const bool usable = ReadWholeNumberSetting(name, lowest, highest, fallback, &value);
  *limit = static_cast<std::uint32_t>(value);
  return usable;
}

// A run of the worker in `temp_directory`, within the limits XT_Init read, until `deadline`.
WorkerPlan PlanIn(const char16_t* temp_directory, std::uint64_t deadline) {
  const std::uint64_t output = std::uint64_t{output_limit_mib} << 20;
  return {
      worker_path,
      temp_directory,
      {std::uint64_t{memory_limit_mib} << 20, output < kLargestResult ? output : kLargestResult, 0},
      false,
      0,
      deadline};
}

bool Convert(const char16_t* input, const char16_t* output, const char16_t* folder,
             FailureReason* reason) {
  if (!worker_ready.load()) {
    *reason =
        mode_usable.load() ? FailureReason::kWorkerUnavailable : FailureReason::kIsolationSetting;
    return false;
  }
  // The same rule as in the host's process: no conversion while the workstation would add
  // options, though the worker's environment never carries them.
  if (GhostscriptOptionsAreSet()) {
    *reason = FailureReason::kGhostscriptOptions;
    return false;
  }
  std::uint64_t input_size = 0;
  if (!os::GetFileSizeAt(input, &input_size)) {
    *reason = FailureReason::kTempDirectory;
    return false;
  }
  // The time limit covers the whole view: the count, the ranges, the join, and the whole
  // conversion when the split one gave up.
  WorkerPlan plan =
      PlanIn(folder, os::MonotonicMilliseconds() + std::uint64_t{time_limit_s} * 1000);
  plan.bounded_folder = true;
  plan.folder_bytes = input_size + 2 * plan.limits.file_bytes;
  if (parallel_workers > 1) {
    switch (ConvertInRanges(input, output, parallel_workers, plan, reason)) {
      case SplitOutcome::kConverted:
        os::DeleteFileAt(input);
        return true;
      case SplitOutcome::kFailed:
        return false;
      case SplitOutcome::kWhole:
        break;
    }
  }
  const WorkerJob job = {{input, output}, 2, output};
  const WorkerRun run = RunWorker(job, plan);
  if (run.end == WorkerEnd::kSucceeded) return true;
  *reason = ReasonOf(run);
  return false;
}

// QUILLMEND_PARALLEL: "auto" for a worker per logical processor, or a number of workers. It
// changes nothing but in the separate-process mode.
void ReadParallelSetting(IsolationSettings* settings) {
  parallel_workers = 1;
  char value[16];
  const os::EnvironmentValue found = os::ReadEnvironmentVariable(
      kParallelVariable, os::EnvironmentCopy::kProcess, value, sizeof(value));
  if (found == os::EnvironmentValue::kUnset) return;
  std::uint64_t workers = 1;
  if (found == os::EnvironmentValue::kSet && std::strcmp(value, "auto") == 0) {
    const std::uint32_t processors = os::CountLogicalProcessors();
    workers = processors < kMostWorkersSideBySide ? processors : kMostWorkersSideBySide;
  } else {
    settings->parallel = found == os::EnvironmentValue::kSet &&
                         ParseWholeNumber(value, 1, kMostWorkersSideBySide, &workers);
  }
  if (!isolated.load() || !mode_usable.load()) {
    settings->parallel_applies = workers == 1 || !settings->parallel;
    return;
  }
  parallel_workers = static_cast<std::uint32_t>(workers);
}

}  // namespace

IsolationSettings ConfigureIsolationFromEnvironment() {
  IsolationSettings settings;
  // Only a start-up check under these settings makes the worker ready again.
  worker_ready = false;
  char mode[16];
  switch (os::ReadEnvironmentVariable(kIsolationVariable, os::EnvironmentCopy::kProcess, mode,
                                      sizeof(mode))) {
    case os::EnvironmentValue::kUnset:
      isolated = false;
      break;
    case os::EnvironmentValue::kSet:
      settings.mode = std::strcmp(mode, "process") == 0 || std::strcmp(mode, "none") == 0;
      isolated = std::strcmp(mode, "none") != 0;
      break;
    case os::EnvironmentValue::kUnusable:
      settings.mode = false;
      isolated = true;
      break;
  }
  mode_usable = settings.mode;
  settings.time_limit =
      ReadLimit(kTimeLimitVariable, 1, kLongestTimeLimitS, kDefaultTimeLimitS, &time_limit_s);
  settings.memory_limit =
      ReadLimit(kMemoryLimitVariable, kSmallestMemoryLimitMiB, kLargestMemoryLimitMiB,
                kDefaultMemoryLimitMiB, &memory_limit_mib);
  settings.output_limit = ReadLimit(kOutputLimitVariable, 1, kLargestOutputLimitMiB,
                                    kLargestOutputLimitMiB, &output_limit_mib);
  ReadParallelSetting(&settings);
  return settings;
}

bool IsolationIsOn() {
  return isolated.load();
}

std::uint32_t TimeLimitSeconds() {
  return time_limit_s;
}

std::uint32_t MemoryLimitMiB() {
  return memory_limit_mib;
}

std::uint32_t OutputLimitMiB() {
  return output_limit_mib;
}

std::uint32_t ParallelWorkers() {
  return parallel_workers;
}

WorkerReadiness PrepareWorker() {
  worker_ready = false;
  char16_t temp[os::kPathCapacity];
  if (!FormPathBesideThisModule(os::kWorkerProgramName, worker_path)) {
    return WorkerReadiness::kMissing;
  }
  if (!os::GetTempDirectory(temp, os::kPathCapacity)) return WorkerReadiness::kMissing;
  const WorkerJob job = {{worker::kCheckArgument}, 1, nullptr};
  const WorkerRun run =
      RunWorker(job, PlanIn(temp, os::MonotonicMilliseconds() + kCheckTimeLimitMs));
  if (run.end == WorkerEnd::kNotBounded) return WorkerReadiness::kNotBounded;
  if (run.end != WorkerEnd::kSucceeded) return WorkerReadiness::kMissing;
  worker_ready = true;
  return WorkerReadiness::kReady;
}

bool ConvertInWorker(const char16_t* input, const char16_t* output, const char16_t* folder,
                     FailureReason* reason) {
  *reason = FailureReason::kUnknown;
  const bool converted = Convert(input, output, folder, reason);
  // The worker deletes the input itself; one that never ran or was ended may have left it. The
  // name is in the request's own folder, so it is nobody else's yet.
  if (!converted) os::DeleteFileAt(input);
  return converted;
}

}  // namespace quillmend
