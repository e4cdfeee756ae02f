// How a failed view is told to the examiner: the fixed failure message, then one line from a
// fixed list that says why, as far as the plug-in knows, and what to do about it.
#pragma once

#include "ghostscript/failure_reason.h"

namespace quillmend {

// Sends "[ERROR] GhostScript conversion failed." and the reason's line after it. `isolated`
// tells whether the conversion ran in the worker, whose bounds the line may name.
void ReportConversionFailure(FailureReason reason, bool isolated);

}  // namespace quillmend
