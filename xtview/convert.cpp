#include "convert.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <exception>
#include <mutex>
#include <thread>

#include "console.h"
#include "host.h"
#include "interrupt.h"
#include "output_file.h"
#include "pdf/pdf_pages.h"
#include "report.h"
#include "sha256.h"
#include "system.h"
#include "text.h"

namespace xtview {

namespace {

// Below this size the plug-in declines an item whatever it holds.
constexpr std::int64_t kSmallestTakenItem = 150;
constexpr std::int64_t kNotTaken = -1;
constexpr std::int64_t kConversionFailed = -2;

enum class Outcome { Converted, Declined, Failed, Error };

struct Done {
  Outcome outcome;
  std::string line;
  report::Entry entry;
  bool recorded = false;  // the entry went to the report as the output landed
};

class Clock {
 public:
  double Seconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  }

 private:
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

Done Error(const Job& job, report::Result result, const std::string& reason, report::Entry entry) {
  entry.result = result;
  entry.reason = reason;
  return {Outcome::Error, "error      " + PathToUtf8(job.input) + ": " + reason, std::move(entry)};
}

Done Failure(const Job& job, const std::string& reason, report::Entry entry) {
  entry.result = report::Result::Failed;
  entry.reason = reason;
  return {Outcome::Failed, "failed     " + PathToUtf8(job.input) + ": " + reason, std::move(entry)};
}

// Gives a buffer back to the plug-in however the view ends.
struct BufferReturn {
  const Plugin& plugin;
  void* buffer;
  ~BufferReturn() {
    if (buffer != nullptr) plugin.ReleaseMem(buffer);
  }
};

struct FileMapping {
  sys::MappedFile file;
  ~FileMapping() { sys::UnmapFile(&file); }
};

Done ViewOne(const Plugin& plugin, const Job& job, std::int32_t item_id, bool replace,
             std::size_t record) {
  const Clock clock;
  const bool recording = report::Recording();
  report::Entry entry;
  entry.input = job.input;
  std::error_code status_error;
  if (!replace && std::filesystem::exists(job.output, status_error)) {
    return Error(job, report::Result::NotWritten,
                 PathToUtf8(job.output) + " exists (--force replaces it)", std::move(entry));
  }
  FileMapping mapping;
  std::string reason;
  if (!sys::MapFile(job.input, &mapping.file, &reason)) {
    return Error(job, report::Result::NotRead, "cannot read: " + reason, std::move(entry));
  }
  entry.input_size = mapping.file.size;
  if (recording) entry.input_sha256 = Sha256Hex(mapping.file.bytes, mapping.file.size);

  const Clock view;
  Item item{mapping.file.bytes, static_cast<std::int64_t>(mapping.file.size)};
  std::int64_t result_size = kNotTaken;
  TakeFailureReason();
  BufferReturn result{plugin, plugin.View(&item, item_id, nullptr, nullptr, nullptr, &result_size)};
  const double seconds = view.Seconds();
  entry.plugin_result = result_size;

  if (result_size == kNotTaken) {
    const char* why = item.size < kSmallestTakenItem ? "under 150 bytes" : "not a PDF";
    entry.result = report::Result::Declined;
    entry.reason = why;
    entry.seconds = clock.Seconds();
    return {Outcome::Declined, "declined   " + PathToUtf8(job.input) + ": " + why,
            std::move(entry)};
  }
  if (result_size == kConversionFailed) {
    entry.seconds = clock.Seconds();
    const std::string why = TakeFailureReason();
    return Failure(job,
                   why.empty() ? std::string("the plug-in could not convert it")
                               : "the plug-in could not convert it: " + why,
                   std::move(entry));
  }
  if (result_size < 0 || result.buffer == nullptr) {
    entry.seconds = clock.Seconds();
    return Failure(
        job, "the plug-in gave an unexpected result (size " + std::to_string(result_size) + ")",
        std::move(entry));
  }
  const auto size = static_cast<std::uint64_t>(result_size);
  const auto* bytes = static_cast<const std::uint8_t*>(result.buffer);
  if (!job.made_under.empty() && std::filesystem::is_directory(job.made_under, status_error)) {
    std::filesystem::create_directories(job.output.parent_path(), status_error);
  }
  report::Entry converted = entry;
  converted.result = report::Result::Converted;
  converted.output = job.output;
  converted.output_size = size;
  if (recording) {
    converted.output_sha256 = Sha256Hex(bytes, size);
    // Counted in the bytes written, which the digest also describes.
    std::uint64_t pages = 0;
    if (quillmend::pdf::CountPagesInMemory(bytes, size, &pages)) {
      converted.pages = static_cast<std::int64_t>(pages);
    }
  }
  bool recorded = false;
  const auto landed = [&] {
    converted.seconds = clock.Seconds();
    report::Record(record, converted);
    recorded = true;
  };
  if (!WriteOutputFile(job.output, bytes, size, replace, &reason, landed)) {
    entry.seconds = clock.Seconds();
    return Error(job, report::Result::NotWritten,
                 "cannot write " + PathToUtf8(job.output) + ": " + reason, std::move(entry));
  }
  // An empty document is what the plug-in was given by Ghostscript: a success by its contract,
  // but nothing an examiner can look at.
  const char* warning = size == 0 ? "; warning: the converted document is empty" : "";
  return {Outcome::Converted,
          "converted  " + PathToUtf8(job.input) + " -> " + PathToUtf8(job.output) + " (" +
              std::to_string(item.size) + " -> " + std::to_string(size) + " bytes, " +
              console::FormatSeconds(seconds) + ")" + warning,
          std::move(converted), recorded};
}

Done ViewOneSafely(const Plugin& plugin, const Job& job, std::int32_t item_id, bool replace,
                   std::size_t record) {
  try {
    return ViewOne(plugin, job, item_id, replace, record);
  } catch (const std::exception& exception) {
    report::Entry entry;
    entry.input = job.input;
    return Error(job, report::Result::NotRead, exception.what(), std::move(entry));
  }
}

void Count(Outcome outcome, Tally* tally) {
  switch (outcome) {
    case Outcome::Converted:
      ++tally->converted;
      break;
    case Outcome::Declined:
      ++tally->declined;
      break;
    case Outcome::Failed:
      ++tally->failed;
      break;
    case Outcome::Error:
      ++tally->errors;
      break;
  }
}

}  // namespace

Tally ConvertAll(const Plugin& plugin, const std::vector<Job>& jobs, const RunSettings& settings) {
  Tally tally;
  std::mutex tally_lock;
  std::atomic<std::size_t> next = 0;
  auto work = [&] {
    for (std::size_t index; !StopRequested() && (index = next.fetch_add(1)) < jobs.size();) {
      const std::size_t record = settings.first_record + index;
      Done done = ViewOneSafely(plugin, jobs[index], static_cast<std::int32_t>(index),
                                settings.replace, record);
      if (!done.recorded) report::Record(record, std::move(done.entry));
      const bool problem = done.outcome == Outcome::Failed || done.outcome == Outcome::Error;
      if (problem || !settings.quiet) {
        console::Print(problem ? sys::Stream::Err : sys::Stream::Out, done.line);
      }
      {
        std::lock_guard lock(tally_lock);
        Count(done.outcome, &tally);
      }
      console::FileDone();
    }
  };

  const std::size_t threads = std::min<std::size_t>(settings.threads, jobs.size());
  if (threads <= 1) {
    work();
    return tally;
  }
  std::vector<std::thread> workers;
  for (std::size_t i = 0; i < threads; ++i) workers.emplace_back(work);
  for (std::thread& worker : workers) worker.join();
  return tally;
}

}  // namespace xtview
