#include "view_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <sstream>
#include <thread>

#include "system.h"
#include "test_host.h"

namespace quillmend::test {

namespace {
constexpr std::int64_t kUnwritten = 0x5EED;
}

ViewResult ViewItem(const Plugin& plugin, void* item) {
  ViewResult result;
  result.size = kUnwritten;
  result.buffer = plugin.View(item, 7, nullptr, nullptr, nullptr, &result.size);
  return result;
}

void ExpectViewTouchesNothing(const Plugin& plugin, const std::filesystem::path& folder,
                              int host_calls) {
  StandinControl standin(folder, "");
  const ViewResult result = ViewItem(plugin, AddItem({PdfLikeBytes(400), {}, {}}));
  EXPECT_EQ(result.buffer, nullptr);
  EXPECT_EQ(result.size, -1);
  EXPECT_EQ(HostCallCount(), host_calls);
  EXPECT_TRUE(standin.LogLines().empty());
}

void OnThreads(int threads, int rounds, const std::function<void(int, int)>& request) {
  // The threads start together behind a gate of a mutex and a condition variable. Not std::latch:
  // MinGW's GCC 12 builds it on std::atomic's wait, whose notify can miss a waiter that is just
  // going to sleep when the platform has no futex, and the Windows tests then hang for good.
  std::mutex gate;
  std::condition_variable opened;
  int arrived = 0;
  std::vector<std::thread> running;
  for (int t = 0; t < threads; ++t) {
    running.emplace_back([&, t] {
      {
        std::unique_lock<std::mutex> lock(gate);
        if (++arrived == threads) opened.notify_all();
        opened.wait(lock, [&] { return arrived == threads; });
      }
      for (int r = 0; r < rounds; ++r) request(t, r);
    });
  }
  for (std::thread& thread : running) thread.join();
}

std::string BufferBytes(const ViewResult& result) {
  if (result.buffer == nullptr || result.size <= 0) return std::string();
  return std::string(static_cast<const char*>(result.buffer),
                     static_cast<std::size_t>(result.size));
}

std::string PdfLikeBytes(std::size_t size) {
  std::string bytes = "%PDF-1.4\n%stand-in document\n";
  while (bytes.size() < size) bytes += static_cast<char>('a' + bytes.size() % 26);
  bytes.resize(size);
  return bytes;
}

std::filesystem::path FixturePdf(const std::string& name) {
  return ExecutableDirectory() / "fixtures" / name;
}

StandinControl::StandinControl(const std::filesystem::path& folder, const std::string& words)
    : log_(folder / "standin.log"),
      words_text_(words),
      words_("QUILLMEND_STANDIN", words),
      log_variable_("QUILLMEND_STANDIN_LOG", PathUtf8(log_)) {}

bool StandinControl::AlsoFor(const std::filesystem::path& library_folder) const {
  return WriteFileBytes(
      library_folder / "standin-control",
      "QUILLMEND_STANDIN=" + words_text_ + "\nQUILLMEND_STANDIN_LOG=" + PathUtf8(log_) + "\n");
}

std::vector<std::string> StandinControl::LogLines() const {
  std::vector<std::string> lines;
  std::istringstream in(ReadFileBytes(log_));
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

std::vector<std::string> StandinControl::Values(const std::string& prefix) const {
  std::vector<std::string> values;
  for (const std::string& line : LogLines()) {
    if (line.rfind(prefix, 0) == 0) values.push_back(line.substr(prefix.size()));
  }
  return values;
}

std::vector<std::string> StandinControl::Arguments(int index) const {
  return Values("arg " + std::to_string(index) + " ");
}

std::vector<std::string> StandinControl::FilesNamed() const {
  std::vector<std::string> files = Arguments(8);
  for (const char* prefix : {"arg 9 ", "run "}) {
    const std::vector<std::string> inputs = Values(prefix);
    files.insert(files.end(), inputs.begin(), inputs.end());
  }
  return files;
}

int StandinControl::PeakAlive() const {
  int peak = 0;
  for (const std::string& count : Values("alive ")) peak = std::max(peak, std::stoi(count));
  return peak;
}

}  // namespace quillmend::test
