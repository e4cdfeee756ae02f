// Running the plug-in's view on each planned file, on one or more threads, as the host would.
#pragma once

#include <cstddef>
#include <vector>

#include "inputs.h"
#include "plugin.h"

namespace xtview {

struct Tally {
  std::size_t converted = 0;
  std::size_t declined = 0;
  std::size_t failed = 0;  // the plug-in's -2, or a result it should not give
  std::size_t errors = 0;  // files that could not be read or written
};

struct RunSettings {
  unsigned threads = 1;
  bool replace = false;
  bool quiet = false;
  std::size_t first_record = 0;  // the report's entry for the first job
};

// Views every job and prints one line for each, and records it in the report; the tally counts
// them.
Tally ConvertAll(const Plugin& plugin, const std::vector<Job>& jobs, const RunSettings& settings);

}  // namespace xtview
