#include "report.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <nlohmann/json.hpp>

#include "output_file.h"
#include "sha256.h"
#include "system.h"
#include "text.h"

#ifndef XTVIEW_VERSION
#define XTVIEW_VERSION "unknown"
#endif

namespace xtview::report {

namespace {

using Json = nlohmann::ordered_json;
using Clock = std::chrono::system_clock;

// Everything below is guarded by `lock`.
std::mutex lock;
bool recording = false;
bool finished = false;
std::filesystem::path report_file;
bool replace_report = false;
Json options_used;
Json facts;  // the libraries and the views at once
Clock::time_point started;
std::vector<Entry> entries;

// "2024-05-17T09:30:12.345Z"
std::string Utc(Clock::time_point time) {
  using namespace std::chrono;
  const auto instant = floor<milliseconds>(time);
  const auto day = floor<days>(instant);
  const year_month_day date(day);
  const hh_mm_ss clock(instant - day);
  char text[40];
  std::snprintf(
      text, sizeof(text), "%04d-%02u-%02uT%02ld:%02ld:%02ld.%03ldZ", static_cast<int>(date.year()),
      static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
      static_cast<long>(clock.hours().count()), static_cast<long>(clock.minutes().count()),
      static_cast<long>(clock.seconds().count()), static_cast<long>(clock.subseconds().count()));
  return text;
}

// Paths as absolute ones, so that the report needs no knowledge of the folder it was run in.
Json PathJson(const std::filesystem::path& path) {
  if (path.empty()) return nullptr;
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(path, error);
  return PathToUtf8(error ? path : absolute);
}

Json TextJson(const std::string& text) {
  return text.empty() ? Json(nullptr) : Json(text);
}

template <typename Number>
Json NumberJson(const std::optional<Number>& number) {
  return number ? Json(*number) : Json(nullptr);
}

const char* ResultName(Result result) {
  switch (result) {
    case Result::Converted:
      return "converted";
    case Result::Declined:
      return "declined";
    case Result::Failed:
      return "failed";
    case Result::NotRead:
      return "not read";
    case Result::NotWritten:
      return "not written";
    case Result::NotDone:
      break;
  }
  return "not done";
}

Json LibraryJson(const Library& library) {
  Json json;
  json["path"] = PathJson(library.path);
  json["size"] = NumberJson(library.size);
  json["sha256"] = TextJson(library.sha256);
  if (!library.error.empty()) json["error"] = library.error;
  return json;
}

Json EntryJson(const Entry& entry) {
  Json json;
  json["record"] = "input";
  json["input"] = PathJson(entry.input);
  json["input_size"] = NumberJson(entry.input_size);
  json["input_sha256"] = TextJson(entry.input_sha256);
  json["result"] = ResultName(entry.result);
  json["reason"] = TextJson(entry.reason);
  json["plugin_result"] = NumberJson(entry.plugin_result);
  json["output"] = PathJson(entry.output);
  json["output_size"] = NumberJson(entry.output_size);
  json["output_sha256"] = TextJson(entry.output_sha256);
  json["pages"] = NumberJson(entry.pages);
  // To the millisecond: a finer figure would only be noise.
  json["seconds"] = entry.seconds ? Json(std::round(*entry.seconds * 1000) / 1000) : Json(nullptr);
  return json;
}

Json OptionsJson(const Options& options) {
  Json json;
  json["files"] = options.files;
  json["recursive"] = options.recursive;
  json["out"] = TextJson(options.output_dir);
  json["output"] = TextJson(options.output);
  json["report"] = options.report;
  json["force"] = options.force;
  json["jobs"] = options.jobs > 0 ? Json(options.jobs) : Json(nullptr);
  json["plugin"] = TextJson(options.plugin);
  json["quiet"] = options.quiet;
  json["isolation"] = TextJson(options.isolation);
  json["time_limit"] = options.time_limit > 0 ? Json(options.time_limit) : Json(nullptr);
  // A number as given, or "auto".
  if (options.parallel.empty() || options.parallel == "auto") {
    json["parallel"] = TextJson(options.parallel);
  } else {
    json["parallel"] = std::stoul(options.parallel);
  }
  return json;
}

std::string Dump(const Json& json) {
  // A file name that is not valid UTF-8 (possible on POSIX) is shown with U+FFFD in its place.
  return json.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace

Library Describe(const std::filesystem::path& path) {
  Library library;
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(path, error);
  library.path = error ? path : absolute;
  sys::MappedFile file;
  if (!sys::MapFile(path, &file, &library.error)) return library;
  library.size = file.size;
  library.sha256 = Sha256Hex(file.bytes, file.size);
  sys::UnmapFile(&file);
  return library;
}

bool Begin(const std::filesystem::path& file, bool replace, const Options& options,
           std::vector<Entry> planned, std::string* error) {
  std::error_code status_error;
  if (!replace && std::filesystem::exists(file, status_error)) {
    *error = PathToUtf8(file) + " exists (--force replaces it)";
    return false;
  }
  const std::filesystem::path folder = std::filesystem::absolute(file, status_error).parent_path();
  if (!std::filesystem::is_directory(folder, status_error)) {
    *error = "no folder " + PathToUtf8(folder) + " for " + PathToUtf8(file);
    return false;
  }
  std::lock_guard guard(lock);
  recording = true;
  report_file = file;
  replace_report = replace;
  options_used = OptionsJson(options);
  facts = {{"plugin", nullptr},
           {"ghostscript", nullptr},
           {"plugin_startup", nullptr},
           {"views_at_once", nullptr}};
  started = Clock::now();
  entries = std::move(planned);
  return true;
}

bool Recording() {
  std::lock_guard guard(lock);
  return recording;
}

void SetLibraries(const Library& plugin, const Library& ghostscript) {
  std::lock_guard guard(lock);
  facts["plugin"] = LibraryJson(plugin);
  facts["ghostscript"] = LibraryJson(ghostscript);
  facts["ghostscript"]["product"] = TextJson(ghostscript.product.value_or(""));
  facts["ghostscript"]["revision"] = NumberJson(ghostscript.revision);
}

void SetIsolation(const Isolation& isolation) {
  std::lock_guard guard(lock);
  Json json;
  json["mode"] = isolation.process ? "process" : "none";
  json["time_limit_s"] = isolation.time_limit_s;
  json["memory_limit_mb"] = isolation.memory_limit_mb;
  json["output_limit_mb"] = isolation.output_limit_mb;
  json["parallel"] = isolation.parallel;
  facts["isolation"] = json;
}

void SetPluginStartup(const std::string& line) {
  std::lock_guard guard(lock);
  facts["plugin_startup"] = TextJson(line);
}

void SetViewsAtOnce(unsigned views) {
  std::lock_guard guard(lock);
  facts["views_at_once"] = views;
}

void Record(std::size_t index, Entry entry) {
  std::lock_guard guard(lock);
  // The first record of an input stands.
  if (!recording || index >= entries.size() || entries[index].result != Result::NotDone) return;
  entries[index] = std::move(entry);
}

bool Finish(int exit_code, bool interrupted, std::string* error) {
  // Held while the file is written, so that an interrupt cannot end the program half-way.
  std::lock_guard guard(lock);
  if (!recording || finished) return true;
  finished = true;
  Json run;
  run["record"] = "run";
  run["xtview_version"] = XTVIEW_VERSION;
  run["started"] = Utc(started);
  run["ended"] = Utc(Clock::now());
  run["interrupted"] = interrupted;
  run["exit_code"] = exit_code;
  std::error_code folder_error;
  run["working_folder"] = PathJson(std::filesystem::current_path(folder_error));
  for (const auto& [name, value] : facts.items()) run[name] = value;
  run["options"] = options_used;
  std::string text = Dump(run);
  for (const Entry& entry : entries) text += Dump(EntryJson(entry));
  return WriteLastFile(report_file, reinterpret_cast<const std::uint8_t*>(text.data()), text.size(),
                       replace_report, error);
}

}  // namespace xtview::report
