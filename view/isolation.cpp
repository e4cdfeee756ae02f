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

// Runs the worker with `arguments` in `temp_directory` until it ends, the deadline passes or
// `output` (when given) grows past its limit. True only when it ended by itself with success.
// Whatever way it went, the worker and all it started are gone on return.
bool RunWorker(const char16_t* const* arguments, int count, const char16_t* temp_directory,
               const char16_t* output, std::uint64_t time_limit_ms) {
  const auto cpu_seconds = static_cast<std::uint32_t>(time_limit_ms / 1000 + kCpuBackstopS);
  os::Worker* worker =
      os::StartWorker(worker_path, arguments, count, temp_directory, Limits(cpu_seconds));
  if (worker == nullptr) return false;
  const std::uint64_t deadline = os::MonotonicMilliseconds() + time_limit_ms;
  os::WorkerState state = os::WorkerState::kRunning;
  for (;;) {
    state = os::WaitForWorker(worker, kWaitSliceMs);
    if (state != os::WorkerState::kRunning) break;
    if (os::MonotonicMilliseconds() >= deadline) break;
    std::uint64_t size = 0;
    if (output != nullptr && os::GetFileSizeAt(output, &size) && size > OutputLimit()) break;
  }
  os::EndWorker(worker);
  return state == os::WorkerState::kSucceeded;
}

bool Convert(const char16_t* input, const char16_t* output, const char16_t* folder) {
  // The same rule as in the host's process: no conversion while the workstation would add
  // options, though the worker's environment never carries them.
  if (!worker_ready.load() || GhostscriptOptionsAreSet()) return false;
  const char16_t* arguments[] = {input, output};
  return RunWorker(arguments, 2, folder, output, std::uint64_t{time_limit_s} * 1000);
}

}  // namespace

IsolationSettings ConfigureIsolationFromEnvironment() {
  IsolationSettings settings;
  char mode[16];
  switch (os::ReadEnvironmentVariable(kIsolationVariable, os::EnvironmentCopy::kProcess, mode,
                                      sizeof(mode))) {
    case os::EnvironmentValue::kUnset:
      isolated = false;
      break;
    case os::EnvironmentValue::kSet:
      settings.mode = std::strcmp(mode, "process") == 0 || std::strcmp(mode, "none") == 0;
      isolated = std::strcmp(mode, "process") == 0;
      break;
    case os::EnvironmentValue::kUnusable:
      settings.mode = false;
      isolated = false;
      break;
  }
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

bool PrepareWorker() {
  worker_ready = false;
  char16_t temp[os::kPathCapacity];
  if (!FormPathBesideThisModule(os::kWorkerProgramName, worker_path)) return false;
  if (!os::GetTempDirectory(temp, os::kPathCapacity)) return false;
  const char16_t* arguments[] = {worker::kCheckArgument};
  worker_ready = RunWorker(arguments, 1, temp, nullptr, kCheckTimeLimitMs);
  return worker_ready.load();
}

bool ConvertInWorker(const char16_t* input, const char16_t* output, const char16_t* folder) {
  const bool converted = Convert(input, output, folder);
  // The worker deletes the input itself; one that never ran or was ended may have left it. The
  // name is in the request's own folder, so it is nobody else's yet.
  if (!converted) os::DeleteFileAt(input);
  return converted;
}

}  // namespace quillmend
