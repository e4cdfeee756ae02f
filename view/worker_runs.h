// Runs of the worker program for one view: one at a time or several side by side, each bounded
// by the view's deadline and disk bounds, and every one ended, with all it started, on return.
#pragma once

#include <cstdint>

#include "ghostscript/failure_reason.h"
#include "platform/platform.h"
#include "worker/worker.h"

namespace quillmend {

// The most workers one view runs side by side.
inline constexpr std::uint32_t kMostWorkersSideBySide = 16;

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

static_assert(worker::kMostArguments <= os::kMostWorkerArguments, "a join's arguments fit");

// One run of the worker: its arguments, and the file it writes (null for none).
struct WorkerJob {
  const char16_t* arguments[worker::kMostArguments];
  int count;
  const char16_t* output;
};

// What every run of a view shares. What a conversion may leave on disk at once: each output
// within `limits.file_bytes`, and Ghostscript's scratch files, in which pdfwrite keeps as much
// again until it writes the output at its close, beside the staged item. Everything the workers
// may write lies in the request's own folder, `temp_directory`.
struct WorkerPlan {
  const char16_t* program;
  const char16_t* temp_directory;
  os::WorkerLimits limits;     // its cpu_seconds are set for each run from the deadline
  bool bounded_folder;         // false for a run without a document
  std::uint64_t folder_bytes;  // what the folder may hold
  std::uint64_t deadline;      // os::MonotonicMilliseconds() when every run must have ended
};

// Runs `jobs` in order, at most `side_by_side` at once, until all have succeeded, one does not,
// the deadline passes or a run writes past its bounds. Whatever way it went, every worker and
// all they started are gone on return. The run that did not succeed, or a success.
WorkerRun RunWorkers(const WorkerJob* jobs, std::uint32_t count, std::uint32_t side_by_side,
                     const WorkerPlan& plan);

// Why a run that did not succeed did not: the worker's own reason, or the way it was ended.
FailureReason ReasonOf(const WorkerRun& run);

inline WorkerRun RunWorker(const WorkerJob& job, const WorkerPlan& plan) {
  return RunWorkers(&job, 1, 1, plan);
}

}  // namespace quillmend
