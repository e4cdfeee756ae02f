// A first view in page ranges: the worker counts the document's pages, workers convert ranges of
// them side by side, and a worker joins the parts in page order. The host's process reads no PDF:
// it only divides a number and hands out file names.
#pragma once

#include <cstdint>

#include "ghostscript/failure_reason.h"
#include "worker_runs.h"

namespace quillmend {

enum class SplitOutcome {
  kConverted,
  kWhole,   // the document is better, or only, converted whole
  kFailed,  // no time is left for anything else: `*reason` tells why
};

// Converts the staged `input` into `output`, both in the plan's folder, with up to `workers`
// workers side by side. Only the deadline ends it with kFailed: any other fault of the count, of
// a range or of the join, a count of pages too short to gain, or pages that do not add up leave
// the whole conversion to do (kWhole). The input stays; files of its own are gone on return.
SplitOutcome ConvertInRanges(const char16_t* input, const char16_t* output, std::uint32_t workers,
                             const WorkerPlan& plan, FailureReason* reason);

}  // namespace quillmend
