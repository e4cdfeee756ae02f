#include "worker_runs.h"

namespace quillmend {

namespace {

// Slices of the wait: the deadline and the outputs' sizes are looked at between them.
constexpr std::uint32_t kWaitSliceMs = 100;
// The processor-time backstop lies this far past the deadline.
constexpr std::uint32_t kCpuBackstopS = 10;

// True once a run has written more than it may: `output` past its limit.
bool PastOutputLimit(const WorkerPlan& plan, const char16_t* output) {
  std::uint64_t size = 0;
  return plan.bounded_folder && output != nullptr && os::GetFileSizeAt(output, &size) &&
         size > plan.limits.file_bytes;
}

// True once the runs together have written more into the folder than it may hold.
bool PastFolderBound(const WorkerPlan& plan) {
  std::uint64_t size = 0;
  return plan.bounded_folder && os::GetFolderFilesSize(plan.temp_directory, &size) &&
         size > plan.folder_bytes;
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
  os::Worker* workers[kMostWorkersSideBySide];
  const WorkerJob* jobs[kMostWorkersSideBySide];
  std::uint32_t running;
};

bool Start(const WorkerJob& job, const WorkerPlan& plan, Crew* crew, WorkerRun* run) {
  const std::uint64_t now = os::MonotonicMilliseconds();
  const std::uint64_t left_ms = plan.deadline > now ? plan.deadline - now : 0;
  os::WorkerLimits limits = plan.limits;
  limits.cpu_seconds = static_cast<std::uint32_t>(left_ms / 1000 + kCpuBackstopS);
  os::WorkerStartFailure failure = os::WorkerStartFailure::kNotStarted;
  os::Worker* worker = os::StartWorker(plan.program, job.arguments, job.count, plan.temp_directory,
                                       limits, &failure);
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
bool LookAtWorkers(const WorkerPlan& plan, Crew* crew, WorkerRun* run) {
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
    if (run->end == WorkerEnd::kSucceeded &&
        (PastOutputLimit(plan, job->output) || PastFolderBound(plan))) {
      run->end = WorkerEnd::kOutputLimit;
    }
    if (run->end != WorkerEnd::kSucceeded) return false;
  }
  return true;
}

}  // namespace

WorkerRun RunWorkers(const WorkerJob* jobs, std::uint32_t count, std::uint32_t side_by_side,
                     const WorkerPlan& plan) {
  if (side_by_side > kMostWorkersSideBySide) side_by_side = kMostWorkersSideBySide;
  if (side_by_side == 0) side_by_side = 1;
  Crew crew = {};
  WorkerRun run = {WorkerEnd::kSucceeded, 0};
  std::uint32_t next = 0;
  for (;;) {
    if (os::MonotonicMilliseconds() >= plan.deadline) {
      run.end = WorkerEnd::kTimeLimit;
      break;
    }
    while (crew.running < side_by_side && next < count) {
      if (!Start(jobs[next++], plan, &crew, &run)) break;
    }
    if (run.end != WorkerEnd::kSucceeded || crew.running == 0) break;
    if (!LookAtWorkers(plan, &crew, &run)) break;
    // The folder once for all of them, then each running output.
    bool past = PastFolderBound(plan);
    for (std::uint32_t i = 0; i < crew.running && !past; ++i) {
      past = PastOutputLimit(plan, crew.jobs[i]->output);
    }
    if (past) {
      run.end = WorkerEnd::kOutputLimit;
      break;
    }
  }
  for (std::uint32_t i = 0; i < crew.running; ++i) os::EndWorker(crew.workers[i]);
  return run;
}

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

}  // namespace quillmend
