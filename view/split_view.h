// A first view in page ranges: the worker counts the document's pages and converts a short one
// whole at once; a long one is split into ranges, which workers convert side by side, and a
// worker joins the parts in page order. The host's process reads no PDF: it only divides a number
// and hands out file names.
#pragma once

#include <cstdint>

#include "ghostscript/failure_reason.h"
#include "worker_runs.h"

namespace quillmend {

enum class SplitOutcome {
  kConverted,
  kWhole,   // the split went wrong: the document is to be converted whole after all
  kFailed,  // `*reason` tells why: the whole conversion failed, or the deadline passed
};

// Converts the staged `input` into `output`, both in the plan's folder, with up to `workers`
// workers side by side. A document too short to gain, or whose pages cannot be counted, is
// converted whole at once, and its answer is final. Once the ranges have begun, only the deadline
// ends the view (kFailed); any other fault of a range or of the join, or pages that do not add
// up, leave the whole conversion to do (kWhole). The input stays unless the whole conversion
// took it; files of its own are gone on return.
SplitOutcome ConvertInRanges(const char16_t* input, const char16_t* output, std::uint32_t workers,
                             const WorkerPlan& plan, FailureReason* reason);

}  // namespace quillmend
