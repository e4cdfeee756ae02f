#include "worker.h"

#include <string_view>

#include "ghostscript/ghostscript.h"
#include "platform/platform.h"

namespace quillmend::worker {

int Run(int count, const char16_t* const* arguments) {
  // A crash must end the worker at once, quietly: the plug-in reports it.
  os::SuppressCrashReports();
  const bool check = count == 1 && std::u16string_view(arguments[0]) == kCheckArgument;
  if (!check && count != 2) return kUsage;
  // The Ghostscript library beside this program, found as the plug-in finds the one beside it.
  if (!LoadGsApi()) return kNoGhostscript;
  if (check) return kConverted;
  FailureReason reason = FailureReason::kUnknown;
  if (ConvertWithGhostscript(arguments[0], arguments[1], &reason)) return kConverted;
  return kFirstReasonExitCode + static_cast<int>(reason);
}

}  // namespace quillmend::worker
