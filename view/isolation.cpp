#include "isolation.h"

#include <atomic>
#include <cstring>

#include "ghostscript/ghostscript.h"
#include "ghostscript/workstation_settings.h"
#include "platform/platform.h"
#include "setting.h"
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

// Slices of the wait: the deadline and the output's size are looked at between them.
constexpr std::uint32_t kWaitSliceMs = 100;
// The start-up check waits this long for the worker to load Ghostscript.
constexpr std::uint32_t kCheckTimeLimitMs = 30000;
// The processor-time backstop lies this far past the deadline.
constexpr std::uint32_t kCpuBackstopS = 10;

std::atomic<bool> isolated{false};
std::atomic<bool> mode_usable{true};
// Set while the worker has passed the start-up check: never for a mode that could not be read.
std::atomic<bool> worker_ready{false};
std::uint32_t time_limit_s = kDefaultTimeLimitS;
std::uint32_t memory_limit_mib = kDefaultMemoryLimitMiB;
std::uint32_t output_limit_mib = kLargestOutputLimitMiB;
char16_t worker_path[os::kPathCapacity] = {};

// One limit: ReadWholeNumberSetting for a value that fits 32 bits.
bool ReadLimit(const char* name, std::uint32_t lowest, std::uint32_t highest,
               std::uint32_t fallback, std::uint32_t* limit) {
  std::uint64_t value = fallback;
  const bool usable = ReadWholeNumberSetting(name, lowest, highest, fallback, &value);
  *limit = static_cast<std::uint32_t>(value);
  return usable;
}

os::WorkerLimits Limits(std::uint32_t cpu_seconds) {
  const std::uint64_t output = std::uint64_t{output_limit_mib} << 20;
  return {std::uint64_t{memory_limit_mib} << 20, output < kLargestResult ? output : kLargestResult,
          cpu_seconds};
}

std::uint64_t OutputLimit() {
  return Limits(0).file_bytes;
}

// How a worker's run ended.
enum class WorkerEnd {
  kSucceeded,
  kFailed,           // it ended by itself with another exit code: `exit_code`
  kEndedAbnormally,  // a crash, or the system ended it at a bound
  kTimeLimit,
  kOutputLimit,
  kNotStarted,
  kNotBounded,
};

struct WorkerRun {
  WorkerEnd end;
  int exit_code;
};

// What a conversion may leave on disk at once: the output within its limit, and Ghostscript's
// scratch files, in which pdfwrite keeps as much again until it writes the output at its close,
// beside the staged item. Everything the worker may write lies in its own folder.
struct DiskBounds {
  const char16_t* output;  // null for a run without a document
  const char16_t* folder;
  std::uint64_t folder_bytes;
};

// True once the run has written more than it may: the output past its limit, or the folder
// past its own bound.
bool PastDiskBounds(const DiskBounds& bounds) {
  if (bounds.output == nullptr) return false;
  std::uint64_t size = 0;
  if (os::GetFileSizeAt(bounds.output, &size) && size > OutputLimit()) return true;
  return os::GetFolderFilesSize(bounds.folder, &size) && size > bounds.folder_bytes;
}

// How a worker that is no longer running ended.
WorkerEnd EndOf(os::WorkerState state, int exit_code) {
  switch (state) {
    case os::WorkerState::kRunning:
    case os::WorkerState::kEndedAbnormally:
      break;
    case os::WorkerState::kExited:
      if (exit_code == os::kWorkerNotBoundedExitCode) return WorkerEnd::kNotBounded;
      return exit_code == worker::kConverted ? WorkerEnd::kSucceeded : WorkerEnd::kFailed;
    case os::WorkerState::kPastFileLimit:
      return WorkerEnd::kOutputLimit;
    case os::WorkerState::kPastProcessorLimit:
      return WorkerEnd::kTimeLimit;
  }
  return WorkerEnd::kEndedAbnormally;
}

// Runs the worker with `arguments` in `temp_directory` until it ends, the deadline passes or it
// writes past `bounds`. Whatever way it went, the worker and all it started are gone on return.
WorkerRun RunWorker(const char16_t* const* arguments, int count, const char16_t* temp_directory,
                    const DiskBounds& bounds, std::uint64_t time_limit_ms) {
  const auto cpu_seconds = static_cast<std::uint32_t>(time_limit_ms / 1000 + kCpuBackstopS);
  os::WorkerStartFailure failure = os::WorkerStartFailure::kNotStarted;
  os::Worker* worker =
      os::StartWorker(worker_path, arguments, count, temp_directory, Limits(cpu_seconds), &failure);
  if (worker == nullptr) {
    return {failure == os::WorkerStartFailure::kNotBounded ? WorkerEnd::kNotBounded
                                                           : WorkerEnd::kNotStarted,
            0};
  }
  const std::uint64_t deadline = os::MonotonicMilliseconds() + time_limit_ms;
  WorkerRun run = {WorkerEnd::kFailed, 0};
  for (;;) {
    const os::WorkerState state = os::WaitForWorker(worker, kWaitSliceMs, &run.exit_code);
    if (state != os::WorkerState::kRunning) {
      run.end = EndOf(state, run.exit_code);
      break;
    }
    if (os::MonotonicMilliseconds() >= deadline) {
      run.end = WorkerEnd::kTimeLimit;
      break;
    }
    if (PastDiskBounds(bounds)) {
      run.end = WorkerEnd::kOutputLimit;
      break;
    }
  }
  os::EndWorker(worker);
  // pdfwrite writes most of a document when it closes: between the last look and the worker's
  // end the output may have grown past its limit. Nothing is read before it is looked at again.
  if (run.end == WorkerEnd::kSucceeded && PastDiskBounds(bounds)) run.end = WorkerEnd::kOutputLimit;
  return run;
}

// The reason for a run that did not succeed.
FailureReason ReasonOf(const WorkerRun& run) {
  switch (run.end) {
    case WorkerEnd::kSucceeded:
    case WorkerEnd::kFailed:
      break;
    case WorkerEnd::kEndedAbnormally:
      return FailureReason::kCrashed;
    case WorkerEnd::kTimeLimit:
      return FailureReason::kTimeLimit;
    case WorkerEnd::kOutputLimit:
      return FailureReason::kOutputLimit;
    case WorkerEnd::kNotStarted:
    case WorkerEnd::kNotBounded:
      return FailureReason::kWorkerUnavailable;
  }
  if (run.exit_code == worker::kNoGhostscript) return FailureReason::kWorkerUnavailable;
  const int reason = run.exit_code - kFirstReasonExitCode;
  if (reason < 0 || reason > kLastReason) return FailureReason::kUnknown;
  return static_cast<FailureReason>(reason);
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
  const DiskBounds bounds = {output, folder, input_size + 2 * OutputLimit()};
  const char16_t* arguments[] = {input, output};
  const WorkerRun run = RunWorker(arguments, 2, folder, bounds, std::uint64_t{time_limit_s} * 1000);
  if (run.end == WorkerEnd::kSucceeded) return true;
  *reason = ReasonOf(run);
  return false;
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

WorkerReadiness PrepareWorker() {
  worker_ready = false;
  char16_t temp[os::kPathCapacity];
  if (!FormPathBesideThisModule(os::kWorkerProgramName, worker_path)) {
    return WorkerReadiness::kMissing;
  }
  if (!os::GetTempDirectory(temp, os::kPathCapacity)) return WorkerReadiness::kMissing;
  const char16_t* arguments[] = {worker::kCheckArgument};
  const WorkerRun run = RunWorker(arguments, 1, temp, {nullptr, temp, 0}, kCheckTimeLimitMs);
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
