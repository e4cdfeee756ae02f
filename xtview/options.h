// xtview's command line.
#pragma once

#include <string>
#include <vector>

namespace xtview {

struct Options {
  std::vector<std::string> files;
  std::string plugin;      // empty: the plug-in beside xtview
  std::string output;      // -o, for a single input
  std::string output_dir;  // --out
  std::string report;      // --report
  unsigned jobs = 0;       // 0: one per core
  bool force = false;
  bool recursive = false;
  bool quiet = false;
  bool about = false;
  bool no_cache = false;    // every view converts, for timing
  std::string isolation;    // --isolation: process or none; empty: as the environment says
  unsigned time_limit = 0;  // --time-limit in seconds; 0: as the environment says
  std::string parallel;     // --parallel: 1 to 16 or auto; empty: as the environment says
};

// Parses UTF-8 arguments, program name first. False when the program should end at once with
// `*exit_code`: after --help or --version (0), or a usage error, which it has printed (2).
bool ParseOptions(const std::vector<std::string>& arguments, Options* options, int* exit_code);

}  // namespace xtview
