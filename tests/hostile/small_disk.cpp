#include "small_disk.h"

#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace quillmend::test {

SmallTmpfs::SmallTmpfs(const std::filesystem::path& directory, std::uint64_t bytes)
    : directory_(directory) {
  const std::string options = "size=" + std::to_string(bytes) + ",mode=0700";
  if (mount("tmpfs", directory.c_str(), "tmpfs", MS_NOSUID | MS_NODEV | MS_NOEXEC,
            options.c_str()) != 0) {
    unavailable = std::string("cannot mount a tmpfs here: ") + std::strerror(errno);
    return;
  }
  mounted_ = true;
}

SmallTmpfs::~SmallTmpfs() {
  if (mounted_) umount2(directory_.c_str(), MNT_DETACH);
}

ChildResult RunWithFileSizeLimit(std::uint64_t bytes, const std::function<std::int64_t()>& work) {
  ChildResult result;
  int channel[2];
  if (pipe(channel) != 0) return result;
  // What is still buffered would be written twice, once by each process.
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child < 0) {
    close(channel[0]);
    close(channel[1]);
    return result;
  }
  if (child == 0) {
    close(channel[0]);
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = bytes;
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(2);
    const std::int64_t value = work();
    const bool sent = write(channel[1], &value, sizeof(value)) == sizeof(value);
    _exit(sent ? 0 : 3);
  }
  close(channel[1]);
  std::int64_t value = 0;
  ssize_t got;
  do {
    got = read(channel[0], &value, sizeof(value));
  } while (got < 0 && errno == EINTR);
  close(channel[0]);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  result.ran = got == sizeof(value) && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  result.value = value;
  return result;
}

}  // namespace quillmend::test
