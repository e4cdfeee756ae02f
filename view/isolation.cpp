#include "isolation.h"

#include <atomic>
#include <cstring>

#include "ghostscript/ghostscript.h"
#include "ghostscript/workstation_settings.h"
#include "host/message_line.h"
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

// Workers side by side for one view. Each may use the whole memory limit, and every range opens
// the document again, so beyond this the gain is small and the cost large.
constexpr std::uint32_t kMostWorkers = 16;
// A document of fewer pages converts whole: below this, starting the count, the ranges and the
// join costs more than the ranges save.
constexpr std::uint64_t kFewestPagesToSplit = 8;
// No range is shorter than this, and a worker gets this many ranges to balance slow pages.
constexpr std::uint64_t kFewestPagesPerRange = 2;
constexpr std::uint64_t kRangesPerWorker = 2;
// The longest page count the count worker writes: 20 digits.
constexpr std::uint32_t kLongestCount = 20;

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

// What a conversion may leave on disk at once: each output within its limit, and Ghostscript's
// scratch files, in which pdfwrite keeps as much again until it writes the output at its close,
// beside the staged item. Everything the workers may write lies in the request's own folder.
struct DiskBounds {
  const char16_t* folder;  // null for a run without a document
  std::uint64_t folder_bytes;
};

static_assert(worker::kMostArguments <= os::kMostWorkerArguments, "a join's arguments fit");

// One run of the worker: its arguments, and the file it writes (null for none).
struct WorkerJob {
  const char16_t* arguments[worker::kMostArguments];
  int count;
  const char16_t* output;
};

// True once a run has written more than it may: `output` past its limit, or the folder past its
// own bound.
bool PastDiskBounds(const DiskBounds& bounds, const char16_t* output) {
  if (bounds.folder == nullptr) return false;
  std::uint64_t size = 0;
  if (output != nullptr && os::GetFileSizeAt(output, &size) && size > OutputLimit()) return true;
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

// The workers of one request that run at a time.
struct Crew {
  os::Worker* workers[kMostWorkers];
  const WorkerJob* jobs[kMostWorkers];
  std::uint32_t running;
};

bool Start(const WorkerJob& job, const char16_t* temp_directory, std::uint64_t deadline, Crew* crew,
           WorkerRun* run) {
  const std::uint64_t now = os::MonotonicMilliseconds();
  const std::uint64_t left_ms = deadline > now ? deadline - now : 0;
  const auto cpu_seconds = static_cast<std::uint32_t>(left_ms / 1000 + kCpuBackstopS);
  os::WorkerStartFailure failure = os::WorkerStartFailure::kNotStarted;
  os::Worker* worker = os::StartWorker(worker_path, job.arguments, job.count, temp_directory,
                                       Limits(cpu_seconds), &failure);
  if (worker == nullptr) {
    run->end = failure == os::WorkerStartFailure::kNotBounded ? WorkerEnd::kNotBounded
                                                              : WorkerEnd::kNotStarted;
    return false;
  }
  crew->workers[crew->running] = worker;
  crew->jobs[crew->running] = &job;
  ++crew->running;
  return true;
}

// Looks once at each running worker, waiting a share of a slice on each. Ends and drops those
// that ended. False, with `*run` telling how, once one did not succeed.
bool LookAtWorkers(const DiskBounds& bounds, Crew* crew, WorkerRun* run) {
  const std::uint32_t share = kWaitSliceMs / crew->running;
  for (std::uint32_t i = 0; i < crew->running;) {
    const os::WorkerState state = os::WaitForWorker(crew->workers[i], share, &run->exit_code);
    if (state == os::WorkerState::kRunning) {
      ++i;
      continue;
    }
    run->end = EndOf(state, run->exit_code);
    os::EndWorker(crew->workers[i]);
    const WorkerJob* job = crew->jobs[i];
    --crew->running;
    crew->workers[i] = crew->workers[crew->running];
    crew->jobs[i] = crew->jobs[crew->running];
    // pdfwrite writes most of a document when it closes: between the last look and the worker's
    // end the output may have grown past its limit. Nothing is read before it is looked at again.
    if (run->end == WorkerEnd::kSucceeded && PastDiskBounds(bounds, job->output)) {
      run->end = WorkerEnd::kOutputLimit;
    }
    if (run->end != WorkerEnd::kSucceeded) return false;
  }
  return true;
}

// Runs `jobs` in order, at most `side_by_side` at once, in `temp_directory`, until all have
// succeeded, one does not, the deadline passes or a run writes past `bounds`. Whatever way it
// went, every worker and all they started are gone on return.
WorkerRun RunWorkers(const WorkerJob* jobs, std::uint32_t count, std::uint32_t side_by_side,
                     const char16_t* temp_directory, const DiskBounds& bounds,
                     std::uint64_t deadline) {
  Crew crew = {};
  WorkerRun run = {WorkerEnd::kSucceeded, 0};
  std::uint32_t next = 0;
  for (;;) {
    if (os::MonotonicMilliseconds() >= deadline) {
      run.end = WorkerEnd::kTimeLimit;
      break;
    }
    while (crew.running < side_by_side && next < count) {
      if (!Start(jobs[next++], temp_directory, deadline, &crew, &run)) break;
    }
    if (run.end != WorkerEnd::kSucceeded || crew.running == 0) break;
    if (!LookAtWorkers(bounds, &crew, &run)) break;
    for (std::uint32_t i = 0; i < crew.running && run.end == WorkerEnd::kSucceeded; ++i) {
      if (PastDiskBounds(bounds, crew.jobs[i]->output)) run.end = WorkerEnd::kOutputLimit;
    }
    if (run.end != WorkerEnd::kSucceeded) break;
  }
  for (std::uint32_t i = 0; i < crew.running; ++i) os::EndWorker(crew.workers[i]);
  return run;
}

WorkerRun RunWorker(const WorkerJob& job, const char16_t* temp_directory, const DiskBounds& bounds,
                    std::uint64_t deadline) {
  return RunWorkers(&job, 1, 1, temp_directory, bounds, deadline);
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

// The conversion of a document split into page ranges: how it went.
enum class SplitOutcome {
  kConverted,
  kWhole,   // the document is better, or only, converted whole
  kFailed,  // no time is left for anything else: `*reason` tells why
};

// Deletes the files it names when it goes.
struct RequestFiles {
  char16_t paths[worker::kMostParts + 1][os::kPathCapacity];
  std::uint32_t count = 0;

  RequestFiles() = default;
  RequestFiles(const RequestFiles&) = delete;
  RequestFiles& operator=(const RequestFiles&) = delete;
  ~RequestFiles() {
    for (std::uint32_t i = 0; i < count; ++i) os::DeleteFileAt(paths[i]);
  }

  // A new empty file in `folder`; null when none can be made.
  const char16_t* Create(const char16_t* folder) {
    if (count == worker::kMostParts + 1) return nullptr;
    if (!os::CreateTempFile(folder, kTempFilePrefix, paths[count])) return nullptr;
    return paths[count++];
  }
};

// A whole number in decimal digits, written for the plug-in by the worker: the page count.
bool ReadCountFile(const char16_t* path, std::uint64_t* count) {
  const os::FileHandle file = os::OpenFileForReading(path);
  if (file == os::kNoFile) return false;
  char digits[kLongestCount + 1];
  std::uint32_t read = 0;
  const bool complete = os::ReadBlock(file, digits, sizeof(digits), &read);
  os::CloseFile(file);
  if (!complete || read == 0 || read > kLongestCount) return false;
  std::uint64_t value = 0;
  for (std::uint32_t i = 0; i < read; ++i) {
    if (digits[i] < '0' || digits[i] > '9') return false;
    const auto digit = static_cast<std::uint64_t>(digits[i] - '0');
    if (value > (0xFFFFFFFFULL - digit) / 10) return false;
    value = value * 10 + digit;
  }
  *count = value;
  return true;
}

// Splits `pages` pages into contiguous ranges of nearly equal length for `workers` workers, in
// page order; the last one runs to the document's end, so that a page the count missed is not
// lost but makes the join fail. Writes the ranges' first and last pages as the worker's
// arguments, and answers how many there are: 0 when the document converts whole.
std::uint32_t SplitPages(std::uint64_t pages, std::uint32_t workers,
                         char16_t (*numbers)[2][kLongestCount + 1]) {
  if (pages < kFewestPagesToSplit) return 0;
  std::uint64_t ranges = std::uint64_t{workers} * kRangesPerWorker;
  if (ranges > pages / kFewestPagesPerRange) ranges = pages / kFewestPagesPerRange;
  if (ranges > worker::kMostParts) ranges = worker::kMostParts;
  std::uint64_t first = 1;
  for (std::uint64_t i = 0; i < ranges; ++i) {
    // The first `pages % ranges` ranges get one page more.
    const std::uint64_t length = pages / ranges + (i < pages % ranges ? 1 : 0);
    const std::uint64_t last = i + 1 == ranges ? 0 : first + length - 1;
    MessageLine<kLongestCount + 1> first_text;
    MessageLine<kLongestCount + 1> last_text;
    first_text.AddNumber(first);
    last_text.AddNumber(last);
    std::memcpy(numbers[i][0], first_text.text, sizeof(numbers[i][0]));
    std::memcpy(numbers[i][1], last_text.text, sizeof(numbers[i][1]));
    first += length;
  }
  return static_cast<std::uint32_t>(ranges);
}

// What a run that did not succeed means for a split conversion: only the deadline ends it; any
// other fault of a range, of the count or of the join leaves the whole conversion to try.
SplitOutcome AfterFailedRun(const WorkerRun& run, FailureReason* reason) {
  if (run.end != WorkerEnd::kTimeLimit) return SplitOutcome::kWhole;
  *reason = FailureReason::kTimeLimit;
  return SplitOutcome::kFailed;
}

// Counts the pages in a worker, converts ranges of them side by side, each in a worker of its
// own, and has a worker join the parts into `output`. The host's process reads no PDF.
SplitOutcome ConvertInRanges(const char16_t* input, const char16_t* output, const char16_t* folder,
                             const DiskBounds& bounds, std::uint64_t deadline,
                             FailureReason* reason) {
  RequestFiles files;
  const char16_t* count_file = files.Create(folder);
  if (count_file == nullptr) return SplitOutcome::kWhole;
  const WorkerJob count_job = {{worker::kCountArgument, input, count_file}, 3, count_file};
  WorkerRun run = RunWorker(count_job, folder, bounds, deadline);
  if (run.end != WorkerEnd::kSucceeded) return AfterFailedRun(run, reason);
  std::uint64_t pages = 0;
  if (!ReadCountFile(count_file, &pages)) return SplitOutcome::kWhole;

  static_assert(kMostWorkers * kRangesPerWorker >= worker::kMostParts, "ranges for every worker");
  char16_t numbers[worker::kMostParts][2][kLongestCount + 1];
  const std::uint32_t ranges = SplitPages(pages, parallel_workers, numbers);
  if (ranges == 0) return SplitOutcome::kWhole;
  WorkerJob range_jobs[worker::kMostParts];
  MessageLine<kLongestCount + 1> page_count;
  page_count.AddNumber(pages);
  WorkerJob join_job = {{worker::kJoinArgument, page_count.text, output}, 3, output};
  for (std::uint32_t i = 0; i < ranges; ++i) {
    const char16_t* part = files.Create(folder);
    if (part == nullptr) return SplitOutcome::kWhole;
    range_jobs[i] = {{worker::kRangeArgument, numbers[i][0], numbers[i][1], input, part}, 5, part};
    join_job.arguments[join_job.count++] = part;
  }
  run = RunWorkers(range_jobs, ranges, parallel_workers, folder, bounds, deadline);
  if (run.end != WorkerEnd::kSucceeded) return AfterFailedRun(run, reason);
  run = RunWorker(join_job, folder, bounds, deadline);
  if (run.end != WorkerEnd::kSucceeded) return AfterFailedRun(run, reason);
  return SplitOutcome::kConverted;
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
  const DiskBounds bounds = {folder, input_size + 2 * OutputLimit()};
  // The time limit covers the whole view: the count, the ranges, the join, and the whole
  // conversion when the split one gave up.
  const std::uint64_t deadline = os::MonotonicMilliseconds() + std::uint64_t{time_limit_s} * 1000;
  if (parallel_workers > 1) {
    switch (ConvertInRanges(input, output, folder, bounds, deadline, reason)) {
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
  const WorkerRun run = RunWorker(job, folder, bounds, deadline);
  if (run.end == WorkerEnd::kSucceeded) return true;
  *reason = ReasonOf(run);
  return false;
}

// QUILLMEND_PARALLEL: "auto" for a worker per logical processor, or a number of workers. It
// changes nothing but in the separate-process mode.
void ReadParallelSetting(IsolationSettings* settings) {
  parallel_workers = 1;
  char value[8];
  const os::EnvironmentValue found = os::ReadEnvironmentVariable(
      kParallelVariable, os::EnvironmentCopy::kProcess, value, sizeof(value));
  if (found == os::EnvironmentValue::kUnset) return;
  std::uint32_t workers = 1;
  if (found == os::EnvironmentValue::kSet && std::strcmp(value, "auto") == 0) {
    const std::uint32_t processors = os::CountLogicalProcessors();
    workers = processors < kMostWorkers ? processors : kMostWorkers;
  } else {
    settings->parallel = ReadLimit(kParallelVariable, 1, kMostWorkers, 1, &workers);
  }
  if (!isolated.load() || !mode_usable.load()) {
    settings->parallel_applies = workers == 1 || !settings->parallel;
    return;
  }
  parallel_workers = workers;
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
      RunWorker(job, temp, {nullptr, 0}, os::MonotonicMilliseconds() + kCheckTimeLimitMs);
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
