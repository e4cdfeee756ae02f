// The cache of converted documents, timed: for each file, a first view (a conversion), a repeat
// view of the same bytes (a copy from the cache), and the SHA-256 of the item alone, which every
// first view computes. The plug-in is loaded once and started with its default cache, as in the
// host.
//
// Usage: quillmend_repeat_view --plugin PATH FILE...
// Prints one tab-separated line per file: name, first view (s), repeat view (s), hashing (s),
// and "yes" when both views gave the same bytes.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "host_emulator/host.h"
#include "host_emulator/plugin_loader.h"
#include "platform/platform.h"

namespace {

using quillmend::host_emulator::Item;
using quillmend::host_emulator::MappedFile;
using quillmend::host_emulator::Plugin;
using Clock = std::chrono::steady_clock;

constexpr int kHashRounds = 5;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

struct View {
  std::string bytes;
  double seconds = 0;
  bool converted = false;
};

View ViewOnce(const Plugin& plugin, Item* item) {
  View view;
  std::int64_t size = 0;
  const Clock::time_point start = Clock::now();
  void* buffer = plugin.View(item, 1, nullptr, nullptr, nullptr, &size);
  view.seconds = SecondsSince(start);
  view.converted = buffer != nullptr && size >= 0;
  if (view.converted) view.bytes.assign(static_cast<const char*>(buffer), std::size_t(size));
  plugin.ReleaseMem(buffer);
  return view;
}

// The median time of the platform's SHA-256 over the item's bytes.
double HashSeconds(const Item& item) {
  std::vector<double> times;
  std::uint8_t digest[quillmend::os::kSha256Size];
  for (int round = 0; round < kHashRounds; ++round) {
    const Clock::time_point start = Clock::now();
    if (!quillmend::os::ComputeSha256(item.bytes, std::size_t(item.size), digest)) return -1;
    times.push_back(SecondsSince(start));
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  std::string plugin_path;
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--plugin") == 0 && i + 1 < argc) {
      plugin_path = argv[++i];
    } else {
      files.emplace_back(argv[i]);
    }
  }
  if (plugin_path.empty() || files.empty()) {
    std::fprintf(stderr, "usage: quillmend_repeat_view --plugin PATH FILE...\n");
    return 2;
  }

  Plugin plugin;
  std::string error;
  if (!quillmend::host_emulator::LoadPlugin(plugin_path, &plugin, &error)) {
    std::fprintf(stderr, "quillmend_repeat_view: cannot load %s: %s\n", plugin_path.c_str(),
                 error.c_str());
    return 1;
  }
  if (quillmend::host_emulator::StartPlugin(plugin) < 0) {
    std::fprintf(stderr, "quillmend_repeat_view: the plug-in did not start\n");
    return 1;
  }

  int failed = 0;
  for (const std::string& file : files) {
    MappedFile mapped;
    if (!quillmend::host_emulator::MapFile(file, &mapped, &error)) {
      std::fprintf(stderr, "quillmend_repeat_view: cannot read %s: %s\n", file.c_str(),
                   error.c_str());
      ++failed;
      continue;
    }
    Item item{mapped.bytes, static_cast<std::int64_t>(mapped.size)};
    const View first = ViewOnce(plugin, &item);
    const View repeat = ViewOnce(plugin, &item);
    const double hashing = HashSeconds(item);
    quillmend::host_emulator::UnmapFile(&mapped);
    if (!first.converted || !repeat.converted || hashing < 0) {
      std::fprintf(stderr, "quillmend_repeat_view: %s did not convert\n", file.c_str());
      ++failed;
      continue;
    }
    std::printf("%s\t%.6f\t%.6f\t%.6f\t%s\n", file.c_str(), first.seconds, repeat.seconds, hashing,
                first.bytes == repeat.bytes ? "yes" : "no");
  }
  return failed == 0 ? 0 : 1;
}
