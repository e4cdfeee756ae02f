// quillmend-convert: the conversion in a process of its own, started by the plug-in when the
// examiner asks for it (QUILLMEND_ISOLATION=process), so that whatever Ghostscript does to the
// process it does not do to the host's.
//
//   quillmend-convert INPUT OUTPUT   rewrites the PDF document INPUT into OUTPUT as the plug-in
//                                    does in the host's process, and deletes INPUT
//   quillmend-convert --check        loads Ghostscript and ends: tells the plug-in at start-up
//                                    that the worker can run
//   quillmend-convert --whole-unless FEWEST INPUT OUTPUT COUNT
//                                    counts INPUT's pages (qpdf reads it); if there are FEWEST or
//                                    more, writes their number in decimal digits into the
//                                    existing file COUNT, keeps INPUT and exits with 5, for the
//                                    plug-in to split it; otherwise converts it as INPUT OUTPUT
//                                    does, also when the pages cannot be counted
//   quillmend-convert --range FIRST LAST INPUT OUTPUT
//                                    converts pages FIRST to LAST of INPUT (LAST 0: to the end)
//                                    into OUTPUT, and keeps INPUT for the other ranges
//   quillmend-convert --join PAGES OUTPUT PART...
//                                    joins the converted ranges PART..., in order, into OUTPUT,
//                                    which must then hold exactly PAGES pages (qpdf joins them)
//
// It prints nothing: Ghostscript's console goes nowhere but into the search for a reason. Its
// exit code is its whole answer: 0 done; 2 no Ghostscript library beside it; 4 used wrongly
// (3 is what the C runtime's abort ends a process with on Windows); 5 long enough to split;
// 16 plus a FailureReason (ghostscript/failure_reason.h) when the document was not converted, for
// example 17 for a document that needs a password and 16 when no reason is known, also for a range
// or a join that failed.
#pragma once

#include "ghostscript/failure_reason.h"

namespace quillmend::worker {

inline constexpr int kConverted = 0;
inline constexpr int kNoGhostscript = 2;
inline constexpr int kUsage = 4;
inline constexpr int kLongEnoughToSplit = 5;

inline constexpr char16_t kCheckArgument[] = u"--check";
inline constexpr char16_t kWholeUnlessArgument[] = u"--whole-unless";
inline constexpr char16_t kRangeArgument[] = u"--range";
inline constexpr char16_t kJoinArgument[] = u"--join";

// The most parts one join takes, and so the most arguments the worker takes.
inline constexpr int kMostParts = 32;
inline constexpr int kMostArguments = 3 + kMostParts;

// The program's work once its arguments are UTF-16 (its own name not among them).
int Run(int count, const char16_t* const* arguments);

}  // namespace quillmend::worker
