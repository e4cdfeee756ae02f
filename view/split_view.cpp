#include "split_view.h"

#include <cstring>
#include <memory>
#include <new>

#include "host/message_line.h"
#include "platform/platform.h"
#include "setting.h"
#include "view.h"

namespace quillmend {

namespace {

// A document of fewer pages converts whole at once. Measured with two workers on two cores, split
// views of manuals of 2 and 5 pages took 1.18 and 1.16 times as long as whole ones, and of 8 to
// 12 pages 0.75 to 0.91 times: below this the starts of the ranges and the join cost more than
// the ranges save.
constexpr std::uint64_t kFewestPagesToSplit = 8;
// No range is shorter than this. Each range costs a start of Ghostscript and an opening of the
// document, so a worker gets one range, and two from kPagesForTwoRangesEach pages on, so that a
// range whose pages are slow holds up a long view less.
constexpr std::uint64_t kFewestPagesPerRange = 2;
constexpr std::uint64_t kRangesPerWorker = 2;
constexpr std::uint64_t kPagesForTwoRangesEach = 32;
// The longest page count the count worker writes: 20 digits.
constexpr std::uint32_t kLongestCount = 20;

static_assert(kMostWorkersSideBySide * kRangesPerWorker <= worker::kMostParts,
              "ranges for every worker");

// Deletes the files it names when it goes.
struct RequestFiles {
  char16_t paths[worker::kMostParts + 1][os::kPathCapacity];
  std::uint32_t count = 0;

  RequestFiles() = default;
  RequestFiles(const RequestFiles&) = delete;
  RequestFiles& operator=(const RequestFiles&) = delete;
  ~RequestFiles() {
    for (std::uint32_t i = 0; i < count; ++i) os::DeleteFileAt(paths[i]);
  }

  // A new empty file in `folder`; null when none can be made.
  const char16_t* Create(const char16_t* folder) {
    if (count == worker::kMostParts + 1) return nullptr;
    if (!os::CreateTempFile(folder, kTempFilePrefix, paths[count])) return nullptr;
    return paths[count++];
  }
};

// A whole number in decimal digits, written for the plug-in by the worker: the page count.
bool ReadCountFile(const char16_t* path, std::uint64_t* count) {
  const os::FileHandle file = os::OpenFileForReading(path);
  if (file == os::kNoFile) return false;
  char digits[kLongestCount + 2] = {};
  std::uint32_t read = 0;
  const bool complete = os::ReadBlock(file, digits, kLongestCount + 1, &read);
  os::CloseFile(file);
  // Every byte a digit: no end of text inside what was read.
  return complete && read <= kLongestCount && std::strlen(digits) == read &&
         ParseWholeNumber(digits, 0, 0xFFFFFFFFULL, count);
}

// Splits `pages` pages into contiguous ranges of nearly equal length for `workers` workers, in
// page order; the last one runs to the document's end, so that a page the count missed is not
// lost but makes the join fail. Writes the ranges' first and last pages as the worker's
// arguments, and answers how many there are: 0 when the document converts whole.
std::uint32_t SplitPages(std::uint64_t pages, std::uint32_t workers,
                         char16_t (*numbers)[2][kLongestCount + 1]) {
  if (pages < kFewestPagesToSplit) return 0;
  std::uint64_t ranges =
      std::uint64_t{workers} * (pages < kPagesForTwoRangesEach ? 1 : kRangesPerWorker);
  if (ranges > pages / kFewestPagesPerRange) ranges = pages / kFewestPagesPerRange;
  if (ranges > worker::kMostParts) ranges = worker::kMostParts;
  std::uint64_t first = 1;
  for (std::uint64_t i = 0; i < ranges; ++i) {
    // The first `pages % ranges` ranges get one page more.
    const std::uint64_t length = pages / ranges + (i < pages % ranges ? 1 : 0);
    const std::uint64_t last = i + 1 == ranges ? 0 : first + length - 1;
    MessageLine<kLongestCount + 1> first_text;
    MessageLine<kLongestCount + 1> last_text;
    first_text.AddNumber(first);
    last_text.AddNumber(last);
    std::memcpy(numbers[i][0], first_text.text, sizeof(numbers[i][0]));
    std::memcpy(numbers[i][1], last_text.text, sizeof(numbers[i][1]));
    first += length;
  }
  return static_cast<std::uint32_t>(ranges);
}

// What a run that did not succeed means once the ranges have begun: only the deadline ends the
// view; any other fault of a range or of the join leaves the whole conversion to try.
SplitOutcome AfterFailedRun(const WorkerRun& run, FailureReason* reason) {
  if (run.end != WorkerEnd::kTimeLimit) return SplitOutcome::kWhole;
  *reason = FailureReason::kTimeLimit;
  return SplitOutcome::kFailed;
}

// What one split view keeps while it runs: some tens of KiB, on the heap rather than on the
// host's thread.
struct SplitState {
  RequestFiles files;
  char16_t numbers[worker::kMostParts][2][kLongestCount + 1];
  WorkerJob range_jobs[worker::kMostParts];
  MessageLine<kLongestCount + 1> page_count;
};

SplitOutcome Split(const char16_t* input, const char16_t* output, std::uint32_t workers,
                   const WorkerPlan& plan, SplitState* state, FailureReason* reason) {
  const char16_t* count_file = state->files.Create(plan.temp_directory);
  if (count_file == nullptr) return SplitOutcome::kWhole;
  // One worker counts, and converts a short document at once: a short view costs no more than
  // the count, in the same process.
  MessageLine<kLongestCount + 1> fewest;
  fewest.AddNumber(kFewestPagesToSplit);
  const WorkerJob first_job = {
      {worker::kWholeUnlessArgument, fewest.text, input, output, count_file}, 5, output};
  WorkerRun run = RunWorker(first_job, plan);
  if (run.end == WorkerEnd::kSucceeded) return SplitOutcome::kConverted;
  if (run.end != WorkerEnd::kFailed || run.exit_code != worker::kLongEnoughToSplit) {
    *reason = ReasonOf(run);
    return SplitOutcome::kFailed;
  }
  std::uint64_t pages = 0;
  if (!ReadCountFile(count_file, &pages)) return SplitOutcome::kWhole;

  const std::uint32_t ranges = SplitPages(pages, workers, state->numbers);
  if (ranges == 0) return SplitOutcome::kWhole;
  state->page_count.AddNumber(pages);
  WorkerJob join_job = {{worker::kJoinArgument, state->page_count.text, output}, 3, output};
  for (std::uint32_t i = 0; i < ranges; ++i) {
    const char16_t* part = state->files.Create(plan.temp_directory);
    if (part == nullptr) return SplitOutcome::kWhole;
    state->range_jobs[i] = {
        {worker::kRangeArgument, state->numbers[i][0], state->numbers[i][1], input, part}, 5, part};
    join_job.arguments[join_job.count++] = part;
  }
  run = RunWorkers(state->range_jobs, ranges, workers, plan);
  if (run.end != WorkerEnd::kSucceeded) return AfterFailedRun(run, reason);
  run = RunWorker(join_job, plan);
  if (run.end != WorkerEnd::kSucceeded) return AfterFailedRun(run, reason);
  return SplitOutcome::kConverted;
}

}  // namespace

SplitOutcome ConvertInRanges(const char16_t* input, const char16_t* output, std::uint32_t workers,
                             const WorkerPlan& plan, FailureReason* reason) {
  const std::unique_ptr<SplitState> state(new (std::nothrow) SplitState);
  if (!state) return SplitOutcome::kWhole;
  return Split(input, output, workers, plan, state.get(), reason);
}

}  // namespace quillmend
