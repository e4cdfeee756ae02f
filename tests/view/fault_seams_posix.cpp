// Natively the plug-in names its temporary files from getentropy. This program defines
// getentropy itself, and being the main program it takes precedence over the C library for
// every library the process loads, the plug-in included: a test can then let some names be
// drawn and make the rest fail. Outside a test's arrangement it behaves as the real one.
#include <signal.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstddef>

#include "fault_seams.h"

namespace {
std::atomic<int> entropy_left{-1};  // -1: no arrangement
}

extern "C" int getentropy(void* buffer, std::size_t length) {
  if (entropy_left.load() == 0) {
    errno = EIO;
    return -1;
  }
  if (entropy_left.load() > 0) --entropy_left;
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
  entropy_left = successes;
}

TempFileCreationFailure::~TempFileCreationFailure() {
  entropy_left = -1;
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
