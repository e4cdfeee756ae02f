// On Windows the test build of the plug-in makes its own Win32 calls fail (FaultHooks): Wine's
// GetTempFileNameW cannot be made to fail from outside, and Windows has no per-process file
// size limit.
#include <windows.h>

#include "fault_seams.h"
#include "support/plugin_loader.h"

namespace quillmend::test {

namespace {

constexpr long kEveryCall = -1;

bool Arm(const char* call, long first, unsigned long error, std::string* unavailable) {
  const FaultHooks& hooks = LoadedFaultHooks();
  if (hooks.FailSystemCall == nullptr) {
    *unavailable = "the plug-in in use is not the test build (PluginBuild::kFaultHooks)";
    return false;
  }
  return hooks.FailSystemCall(call, first, kEveryCall, error);
}

void Disarm() {
  if (LoadedFaultHooks().FailSystemCall != nullptr)
    LoadedFaultHooks().FailSystemCall(nullptr, 0, 0, 0);
}

}  // namespace

TempFileCreationFailure::TempFileCreationFailure(const std::filesystem::path& temp, int successes) {
  directory = temp;
  Arm("GetTempFileNameW", successes + 1, ERROR_FILE_EXISTS, &unavailable);
}

TempFileCreationFailure::~TempFileCreationFailure() {
  Disarm();
}

// Every write fails, as it would on a full disk: the tests' items are larger than their limits.
FileSizeLimit::FileSizeLimit(std::uint64_t) {
  armed_ = Arm("WriteFile", 1, ERROR_DISK_FULL, &unavailable);
}

FileSizeLimit::~FileSizeLimit() {
  if (armed_) Disarm();
}

}  // namespace quillmend::test
