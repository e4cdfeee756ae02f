// Natively the plug-in names its temporary files from getentropy and moves their bytes with read
// and write. This program defines those functions itself, and being the main program it takes
// precedence over the C library for every library the process loads, the plug-in included: a
// test can then choose the names, make their draws fail, or cut transfers short. Outside a
// test's arrangement each behaves as the real one. (The stand-in's stdio does not come here:
// the C library calls its own read and write directly.)
#include <limits.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>

#include "fault_seams.h"

namespace {

std::mutex entropy_mutex;
int entropy_left = -1;                   // draws left before they fail; -1: no arrangement
std::deque<std::uint64_t> chosen_draws;  // handed out before any random one

std::atomic<bool> shortening{false};
std::string shortened_directory;  // written only while `shortening` is clear
std::atomic<int> short_reads{0};
std::atomic<int> short_writes{0};

// True for a descriptor of a file in the shortened directory.
bool Shortened(int fd) {
  if (!shortening) return false;
  char link[64];
  std::snprintf(link, sizeof(link), "/proc/self/fd/%d", fd);
  char target[PATH_MAX];
  const ssize_t length = readlink(link, target, sizeof(target));
  return length > 0 && static_cast<std::size_t>(length) > shortened_directory.size() &&
         std::memcmp(target, shortened_directory.data(), shortened_directory.size()) == 0;
}

// `data` is written to or read from as `call` says.
ssize_t Transfer(long call, int fd, void* data, std::size_t count, std::atomic<int>* calls) {
  if (Shortened(fd)) {
    if (calls->fetch_add(1) % 2 == 0) {
      errno = EINTR;
      return -1;
    }
    count = (count + 1) / 2;
  }
  return syscall(call, fd, data, count);
}

}  // namespace

extern "C" ssize_t write(int fd, const void* data, std::size_t count) {
  return Transfer(SYS_write, fd, const_cast<void*>(data), count, &short_writes);
}

extern "C" ssize_t read(int fd, void* data, std::size_t count) {
  return Transfer(SYS_read, fd, data, count, &short_reads);
}

extern "C" int getentropy(void* buffer, std::size_t length) {
  {
    std::lock_guard lock(entropy_mutex);
    if (entropy_left == 0) {
      errno = EIO;
      return -1;
    }
    if (entropy_left > 0) --entropy_left;
    if (!chosen_draws.empty() && length == sizeof(std::uint64_t)) {
      std::memcpy(buffer, &chosen_draws.front(), length);
      chosen_draws.pop_front();
      return 0;
    }
  }
  if (length > 256) {
    errno = EIO;
    return -1;
  }
  auto* bytes = static_cast<unsigned char*>(buffer);
  for (std::size_t done = 0; done < length;) {
    const long got = syscall(SYS_getrandom, bytes + done, length - done, 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    done += static_cast<std::size_t>(got);
  }
  return 0;
}

namespace quillmend::test {

TempFileCreationFailure::TempFileCreationFailure(const std::filesystem::path& temp, int successes) {
  directory = temp;
  std::lock_guard lock(entropy_mutex);
  entropy_left = successes;
}

TempFileCreationFailure::~TempFileCreationFailure() {
  std::lock_guard lock(entropy_mutex);
  entropy_left = -1;
}

ChosenTempNames::ChosenTempNames(const std::vector<std::uint64_t>& numbers) {
  std::lock_guard lock(entropy_mutex);
  chosen_draws.assign(numbers.begin(), numbers.end());
}

ChosenTempNames::~ChosenTempNames() {
  std::lock_guard lock(entropy_mutex);
  chosen_draws.clear();
}

ShortTransfers::ShortTransfers(const std::filesystem::path& directory) {
  shortened_directory = (directory / "").string();
  short_reads = 0;
  short_writes = 0;
  shortening = true;
}

ShortTransfers::~ShortTransfers() {
  shortening = false;
}

int ShortTransfers::reads() const {
  return short_reads;
}

int ShortTransfers::writes() const {
  return short_writes;
}

// RLIMIT_FSIZE binds root too; with SIGXFSZ ignored a write past it fails with EFBIG.
FileSizeLimit::FileSizeLimit(std::uint64_t bytes) {
  rlimit limit{};
  if (getrlimit(RLIMIT_FSIZE, &limit) != 0) {
    unavailable = "getrlimit failed";
    return;
  }
  earlier_soft_ = limit.rlim_cur;
  limit.rlim_cur = bytes;
  signal(SIGXFSZ, SIG_IGN);
  if (setrlimit(RLIMIT_FSIZE, &limit) != 0) {
    unavailable = "setrlimit failed";
    return;
  }
  armed_ = true;
}

FileSizeLimit::~FileSizeLimit() {
  if (!armed_) return;
  rlimit limit{};
  getrlimit(RLIMIT_FSIZE, &limit);
  limit.rlim_cur = earlier_soft_;
  setrlimit(RLIMIT_FSIZE, &limit);
}

}  // namespace quillmend::test
