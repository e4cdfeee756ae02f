// The separate-process mode: Ghostscript runs in the worker program beside the plug-in, a process
// of its own that is bounded in time, memory and output and ended whole when it oversteps, so
// that nothing a hostile item makes Ghostscript do can hang, crash or flood the host.
#pragma once

#include <cstdint>

#include "ghostscript/failure_reason.h"

namespace quillmend {

inline constexpr char kIsolationVariable[] = "QUILLMEND_ISOLATION";
inline constexpr char kTimeLimitVariable[] = "QUILLMEND_TIME_LIMIT_S";
inline constexpr char kMemoryLimitVariable[] = "QUILLMEND_MEMORY_LIMIT_MB";
inline constexpr char kOutputLimitVariable[] = "QUILLMEND_OUTPUT_LIMIT_MB";
inline constexpr char kParallelVariable[] = "QUILLMEND_PARALLEL";

// Which of the settings could be used; each one that could not keeps its default.
struct IsolationSettings {
  bool mode = true;
  bool time_limit = true;
  bool memory_limit = true;
  bool output_limit = true;
  bool parallel = true;
  // False when more than one worker was asked for outside the separate-process mode.
  bool parallel_applies = true;
};

// Reads the five settings from the process environment. Written only by XT_Init. A mode that is
// neither "process" nor "none" refuses every conversion: the examiner may have meant the
// separate process.
IsolationSettings ConfigureIsolationFromEnvironment();

// True unless Ghostscript is to run in the host's process: the separate process was asked for,
// or the mode setting could not be read.
bool IsolationIsOn();

// The bounds a conversion in the worker is held to, as XT_Init read them.
std::uint32_t TimeLimitSeconds();
std::uint32_t MemoryLimitMiB();
std::uint32_t OutputLimitMiB();
// The workers a first view may use side by side, each converting a range of the document's
// pages: 1 unless the separate process and QUILLMEND_PARALLEL ask for more.
std::uint32_t ParallelWorkers();

enum class WorkerReadiness {
  kReady,
  kMissing,     // the worker, or the Ghostscript library beside it, cannot be run
  kNotBounded,  // the system would not hold the worker to its bounds
};

// Finds the worker beside the plug-in and has it load its Ghostscript once. Unless it is ready,
// every view fails, for the examiner asked for the separate process.
WorkerReadiness PrepareWorker();

// ConvertWithGhostscript's work, done by the worker: converts `input` into `output`, both in
// `folder`, a folder of the request's own (os::CreatePrivateDirectory), which is the worker's
// temporary directory too; deletes `input` in every case and leaves `output` and the folder to the
// caller. A worker that fails, crashes or reaches a bound is ended with all it started, and the
// result is false, with the reason in `*reason`; the caller reports it.
bool ConvertInWorker(const char16_t* input, const char16_t* output, const char16_t* folder,
                     FailureReason* reason);

}  // namespace quillmend
