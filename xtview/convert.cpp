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
#include "system.h"
#include "text.h"

namespace xtview {

namespace {

// Below this size the plug-in declines an item whatever it holds.
constexpr std::int64_t kSmallestTakenItem = 150;
constexpr std::int64_t kNotTaken = -1;
constexpr std::int64_t kConversionFailed = -2;

enum class Outcome { Converted, Declined, Failed, Error };

struct Report {
  Outcome outcome;
  std::string line;
};

Report Error(const Job& job, const std::string& reason) {
  return {Outcome::Error, "error      " + PathToUtf8(job.input) + ": " + reason};
}

Report Failure(const Job& job, const std::string& reason) {
  return {Outcome::Failed, "failed     " + PathToUtf8(job.input) + ": " + reason};
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

Report ViewOne(const Plugin& plugin, const Job& job, std::int32_t item_id, bool replace) {
  std::error_code status_error;
  if (!replace && std::filesystem::exists(job.output, status_error)) {
    return Error(job, PathToUtf8(job.output) + " exists (--force replaces it)");
  }
  FileMapping mapping;
  std::string reason;
  if (!sys::MapFile(job.input, &mapping.file, &reason)) return Error(job, "cannot read: " + reason);

  const auto start = std::chrono::steady_clock::now();
  Item item{mapping.file.bytes, static_cast<std::int64_t>(mapping.file.size)};
  std::int64_t result_size = kNotTaken;
  BufferReturn result{plugin, plugin.View(&item, item_id, nullptr, nullptr, nullptr, &result_size)};
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  if (result_size == kNotTaken) {
    const char* why = item.size < kSmallestTakenItem ? "under 150 bytes" : "not a PDF";
    return {Outcome::Declined, "declined   " + PathToUtf8(job.input) + ": " + why};
  }
  if (result_size == kConversionFailed) return Failure(job, "the plug-in could not convert it");
  if (result_size < 0 || result.buffer == nullptr) {
    return Failure(
        job, "the plug-in gave an unexpected result (size " + std::to_string(result_size) + ")");
  }
  const auto size = static_cast<std::uint64_t>(result_size);
  if (!WriteOutputFile(job.output, static_cast<const std::uint8_t*>(result.buffer), size, replace,
                       &reason)) {
    return Error(job, "cannot write " + PathToUtf8(job.output) + ": " + reason);
  }
  // An empty document is what the plug-in was given by Ghostscript: a success by its contract,
  // but nothing an examiner can look at.
  const char* warning = size == 0 ? "; warning: the converted document is empty" : "";
  return {Outcome::Converted, "converted  " + PathToUtf8(job.input) + " -> " +
                                  PathToUtf8(job.output) + " (" + std::to_string(item.size) +
                                  " -> " + std::to_string(size) + " bytes, " +
                                  console::FormatSeconds(seconds) + ")" + warning};
}

Report ViewOneSafely(const Plugin& plugin, const Job& job, std::int32_t item_id, bool replace) {
  try {
    return ViewOne(plugin, job, item_id, replace);
  } catch (const std::exception& exception) {
    return Error(job, exception.what());
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
      const Report report =
          ViewOneSafely(plugin, jobs[index], static_cast<std::int32_t>(index), settings.replace);
      const bool problem = report.outcome == Outcome::Failed || report.outcome == Outcome::Error;
      if (problem || !settings.quiet) {
        console::Print(problem ? sys::Stream::Err : sys::Stream::Out, report.line);
      }
      {
        std::lock_guard lock(tally_lock);
        Count(report.outcome, &tally);
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
