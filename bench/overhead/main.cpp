// quillmend_overhead: the time one XT_View adds around Ghostscript. This program plays the host:
// it loads a copy of the plug-in with the stand-in Ghostscript library (which only copies its
// input file to its output file) beside it, calls XT_Init once and XT_View on in-memory items.
// Beside each view it times the stand-in's run alone and the floor: the item's bytes written to
// and read back from the temporary directory directly. The three are taken in turn, in a rotating
// order, so that the machine's drift falls on all of them alike.
//
// Usage: quillmend_overhead [--rounds N] [--sizes MB,MB,...] [--plugin FILE] [--standin FILE]
//                           [FILE...]
// Prints one tab-separated line per item: name, bytes, repetitions, and the medians in
// milliseconds of the floor, the stand-in alone, the view, and the view less the stand-in (the
// plug-in's own overhead, as the median of the paired differences).
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "measure.h"
#include "stats.h"
#include "support/staging.h"

namespace fs = std::filesystem;
namespace host_emulator = quillmend::host_emulator;
using namespace quillmend::bench;

namespace {

constexpr double kMillisecondsPerSecond = 1000.0;
constexpr std::size_t kBytesPerMegabyte = 1000 * 1000;

struct Options {
  int rounds = 5;
  std::vector<std::size_t> megabytes = {1, 10, 100};
  fs::path plugin;
  fs::path standin;
  std::vector<fs::path> files;
};

// `size` bytes that begin with a PDF header and go on with bytes from a fixed pseudo-random
// sequence, which no step can compress or skip.
std::vector<std::uint8_t> MakePdfShapedBytes(std::size_t size) {
  static constexpr char kHeader[] = "%PDF-1.7\n%\xE2\xE3\xCF\xD3\n";
  std::vector<std::uint8_t> bytes(size);
  std::uint64_t state = 0x9E3779B97F4A7C15ULL;
  for (std::size_t i = 0; i < size; i += sizeof(state)) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    std::memcpy(bytes.data() + i, &state, std::min(sizeof(state), size - i));
  }
  std::memcpy(bytes.data(), kHeader, std::min(sizeof(kHeader) - 1, size));
  return bytes;
}

bool ParseSizes(const std::string& list, std::vector<std::size_t>* megabytes) {
  megabytes->clear();
  for (std::size_t start = 0; start < list.size();) {
    std::size_t end = list.find(',', start);
    if (end == std::string::npos) end = list.size();
    const unsigned long value = std::strtoul(list.substr(start, end - start).c_str(), nullptr, 10);
    if (value == 0) return false;
    megabytes->push_back(value);
    start = end + 1;
  }
  return !megabytes->empty();
}

bool ParseOptions(int argc, char** argv, Options* options) {
  const fs::path here = host_emulator::ProgramFolder();
  options->plugin = here / host_emulator::kPluginFileName;
  options->standin = here / "standin" / "standin_gs" / QUILLMEND_GHOSTSCRIPT_LIBRARY;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    const bool has_value = i + 1 < argc;
    if (argument == "--rounds" && has_value) {
      options->rounds = std::atoi(argv[++i]);
      if (options->rounds < 1) return false;
    } else if (argument == "--sizes" && has_value) {
      if (!ParseSizes(argv[++i], &options->megabytes)) return false;
    } else if (argument == "--plugin" && has_value) {
      options->plugin = argv[++i];
    } else if (argument == "--standin" && has_value) {
      options->standin = argv[++i];
    } else if (argument.rfind("--", 0) == 0) {
      return false;
    } else {
      options->files.push_back(argument);
    }
  }
  return true;
}

// Small items vary more from one run to the next, so they get more repetitions.
int RepetitionsFor(std::size_t bytes, int rounds) {
  if (bytes >= 50 * kBytesPerMegabyte) return rounds;
  if (bytes >= 5 * kBytesPerMegabyte) return 3 * rounds;
  return 8 * rounds;
}

// Times the item `repetitions` times (after one untimed pass) and prints its line.
bool MeasureItem(const std::string& name, const Item& item, int repetitions, const Plugin& plugin,
                 const Standin& standin, const fs::path& temp) {
  std::vector<double> floor, alone, view, overhead;
  std::string error;
  for (int repetition = -1; repetition < repetitions; ++repetition) {
    double times[3] = {};
    for (int step = 0; step < 3; ++step) {
      const int which = (step + (repetition < 0 ? 0 : repetition)) % 3;
      double& seconds = times[which];
      if (which == 0) seconds = TimeFloor(item, temp, &error);
      if (which == 1) seconds = TimeStandin(standin, item, temp, &error);
      if (which == 2) seconds = TimeView(plugin, item, &error);
      if (seconds < 0) {
        std::fprintf(stderr, "quillmend_overhead: %s: %s\n", name.c_str(), error.c_str());
        return false;
      }
    }
    if (repetition < 0) continue;
    floor.push_back(times[0] * kMillisecondsPerSecond);
    alone.push_back(times[1] * kMillisecondsPerSecond);
    view.push_back(times[2] * kMillisecondsPerSecond);
    overhead.push_back((times[2] - times[1]) * kMillisecondsPerSecond);
  }
  std::printf("%s\t%lld\t%d\t%.4f\t%.4f\t%.4f\t%.4f\n", name.c_str(),
              static_cast<long long>(item.size), repetitions, Median(floor), Median(alone),
              Median(view), Median(overhead));
  std::fflush(stdout);
  return true;
}

int Run(const Options& options, const fs::path& scratch) {
  const fs::path folder = scratch / "plugin";
  const fs::path temp = scratch / "temp";
  std::error_code code;
  fs::create_directories(temp, code);
  if (code) {
    std::fprintf(stderr, "quillmend_overhead: cannot create %s\n", scratch.c_str());
    return 1;
  }
  // The plug-in's temporary files and the floor's go to the same fresh directory.
  setenv("TMPDIR", temp.c_str(), 1);
  unsetenv("QUILLMEND_STANDIN");
  unsetenv("QUILLMEND_STANDIN_LOG");

  Plugin plugin;
  Standin standin;
  std::string error;
  if (!quillmend::test::StagePlugin(folder, options.plugin, options.standin, &plugin, &error) ||
      !BindStandin(folder / QUILLMEND_GHOSTSCRIPT_LIBRARY, &standin, &error)) {
    std::fprintf(stderr, "quillmend_overhead: %s\n", error.c_str());
    return 1;
  }
  const std::int32_t ready = host_emulator::StartPlugin(plugin);
  if (ready != 2) {
    std::fprintf(stderr, "quillmend_overhead: XT_Init answered %d, not 2\n", ready);
    return 1;
  }

  std::printf("item\tbytes\trepetitions\tfloor_ms\tstandin_ms\tview_ms\toverhead_ms\n");
  for (const std::size_t megabytes : options.megabytes) {
    const std::vector<std::uint8_t> bytes = MakePdfShapedBytes(megabytes * kBytesPerMegabyte);
    const Item item{bytes.data(), static_cast<std::int64_t>(bytes.size())};
    const int repetitions = RepetitionsFor(bytes.size(), options.rounds);
    if (!MeasureItem(std::to_string(megabytes) + " MB", item, repetitions, plugin, standin, temp)) {
      return 1;
    }
  }
  // Files are served as the host emulator serves them: mapped.
  for (const fs::path& file : options.files) {
    host_emulator::MappedFile mapped;
    if (!host_emulator::MapFile(file, &mapped, &error)) {
      std::fprintf(stderr, "quillmend_overhead: cannot read %s: %s\n", file.c_str(), error.c_str());
      return 1;
    }
    const Item item{mapped.bytes, static_cast<std::int64_t>(mapped.size)};
    const int repetitions = RepetitionsFor(mapped.size, options.rounds);
    const bool measured = MeasureItem(file.string(), item, repetitions, plugin, standin, temp);
    host_emulator::UnmapFile(&mapped);
    if (!measured) return 1;
  }

  bool errors = false;
  for (const auto& message : host_emulator::Messages()) {
    const std::string text = host_emulator::Utf16ToUtf8(message.text.c_str());
    std::fprintf(stderr, "plug-in (flags %u): %s\n", message.flags, text.c_str());
    errors = errors || text.rfind("[ERROR]", 0) == 0;
  }
  if (errors) {
    std::fprintf(stderr, "quillmend_overhead: the plug-in reported errors\n");
    return 1;
  }
  const int leftovers = quillmend::test::CountEntries(temp);
  if (leftovers > 0) {
    std::fprintf(stderr, "quillmend_overhead: %d files left in %s\n", leftovers, temp.c_str());
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, &options)) {
    std::fprintf(stderr,
                 "usage: quillmend_overhead [--rounds N] [--sizes MB,MB,...] [--plugin FILE] "
                 "[--standin FILE] [FILE...]\n");
    return 2;
  }
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base != nullptr && base[0] != '\0' ? base : "/tmp") +
                        "/quillmend-overhead.XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) {
    std::fprintf(stderr, "quillmend_overhead: cannot create a folder like %s\n", pattern.c_str());
    return 1;
  }
  const int status = Run(options, pattern);
  std::error_code error;
  fs::remove_all(pattern, error);
  return status;
}
