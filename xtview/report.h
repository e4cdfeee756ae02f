// The record of a run that --report writes: JSON Lines, the run's facts on the first line and one
// line for each input after it, those refused before any view first, then the others in the order
// they were taken. The file is written whole at the end of the run, or when a second interrupt
// stops it, and appears only once complete.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "options.h"

namespace xtview::report {

// A library named by path, size and SHA-256; without size and digest when it cannot be read.
struct Library {
  std::filesystem::path path;
  std::optional<std::uint64_t> size;
  std::string sha256;
  std::string error;  // why it cannot be read
  // Ghostscript's name for itself (gsapi_revision): "GPL Ghostscript", 10000 for 10.0.0.
  std::optional<std::string> product;
  std::optional<long long> revision;
};

Library Describe(const std::filesystem::path& path);

enum class Result { Converted, Declined, Failed, NotRead, NotWritten, NotDone };

struct Entry {
  std::filesystem::path input;
  Result result = Result::NotDone;
  std::string reason;  // why it was not converted
  std::optional<std::uint64_t> input_size;
  std::string input_sha256;
  std::optional<std::int64_t> plugin_result;  // the size XT_View gave: -1 declined, -2 failed
  std::filesystem::path output;               // the converted document
  std::optional<std::uint64_t> output_size;
  std::string output_sha256;
  std::optional<std::int64_t> pages;
  std::optional<double> seconds;
};

// Starts a report into `file` for `entries`, which name every input (inputs that will be viewed
// as NotDone). False with the reason when the file cannot be made at the end: it exists and
// `replace` is off, or its folder does not exist.
bool Begin(const std::filesystem::path& file, bool replace, const Options& options,
           std::vector<Entry> entries, std::string* error);

// True once Begin has succeeded: the views then hash what they read and write.
bool Recording();

void SetLibraries(const Library& plugin, const Library& ghostscript);
void SetViewsAtOnce(unsigned views);
// The plug-in's start-up line, which names what converts.
void SetPluginStartup(const std::string& line);

// The mode the plug-in converts in, and the bounds of the separate process and the workers a
// first view converts with there, as it applies them.
struct Isolation {
  bool process = false;
  unsigned time_limit_s = 0;
  unsigned memory_limit_mb = 0;
  unsigned output_limit_mb = 0;
  unsigned parallel = 0;
};
void SetIsolation(const Isolation& isolation);

// Records the entry at `index`, unless it has been recorded before; from any thread.
void Record(std::size_t index, Entry entry);

// Writes the report, once: a later call only waits for the first to end. True when there is no
// report; false with the reason when it cannot be written.
bool Finish(int exit_code, bool interrupted, std::string* error);

}  // namespace xtview::report
