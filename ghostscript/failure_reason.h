// Why a conversion failed, as far as the plug-in can tell, in the examiner's terms. The reason
// comes only from what the plug-in itself saw: a step that failed, a bound that was reached, or
// one of a few fixed phrases on Ghostscript's console. No text of Ghostscript's or of the item's
// is ever passed on.
#pragma once

namespace quillmend {

// The values are fixed: the worker passes its reason to the plug-in as its exit code,
// kFirstReasonExitCode plus the value.
enum class FailureReason {
  kUnknown = 0,
  kPasswordRequired = 1,    // the document is encrypted with a user (open) password
  kUnreadable = 2,          // Ghostscript could not open it as a PDF document at all
  kNoPage = 3,              // it opened, but the device received no page
  kOutOfMemory = 4,         // Ghostscript ran out of memory (in the worker: its limit)
  kGhostscriptOptions = 5,  // GS_OPTIONS is set: nothing was run
  kPermitReachesTemp = 6,   // a permit still reaches the temporary directory: not run
  kTempDirectory = 7,       // the temporary directory could not take the staged files
  kTimeLimit = 8,           // the worker was ended at QUILLMEND_TIME_LIMIT_S
  kOutputLimit = 9,         // the worker was ended at QUILLMEND_OUTPUT_LIMIT_MB
  kCrashed = 10,            // the worker ended abnormally
  kWorkerUnavailable = 11,  // the worker is missing, could not start, or cannot be bounded
  kIsolationSetting = 12,   // QUILLMEND_ISOLATION is neither process nor none
};

inline constexpr int kFirstReasonExitCode = 16;
inline constexpr int kLastReason = static_cast<int>(FailureReason::kIsolationSetting);

}  // namespace quillmend
