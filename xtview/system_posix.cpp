// xtview's system layer on Linux and other POSIX systems.
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <system_error>
#include <thread>

#include "system.h"

namespace xtview::sys {

namespace {

std::string Reason(int error) {
  return quillmend::host_emulator::SystemErrorText(static_cast<unsigned long>(error));
}

}  // namespace

std::vector<std::string> Arguments(int argc, char** argv) {
  return {argv, argv + argc};
}

bool SetEnvironment(const std::string& name, const std::string& value) {
  return setenv(name.c_str(), value.c_str(), 1) == 0;
}

std::string GetEnvironment(const std::string& name) {
  const char* value = getenv(name.c_str());
  return value == nullptr ? std::string() : std::string(value);
}

unsigned CoreCount() {
  const long count = sysconf(_SC_NPROCESSORS_ONLN);
  return count > 0 ? static_cast<unsigned>(count) : 1;
}

void OnInterrupt(void (*handler)()) {
  // The signals are blocked here and in every thread started later; one thread waits for
  // them, so the handler runs as ordinary code rather than inside a signal handler.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGHUP);
  if (pthread_sigmask(SIG_BLOCK, &signals, nullptr) != 0) return;
  std::thread([signals, handler] {
    for (int received = 0; sigwait(&signals, &received) == 0;) handler();
  }).detach();
}

bool StdoutIsTerminal() {
  return isatty(STDOUT_FILENO) == 1;
}

void Write(Stream stream, const std::string& text) {
  std::FILE* file = stream == Stream::Out ? stdout : stderr;
  std::fwrite(text.data(), 1, text.size(), file);
  std::fflush(file);
}

bool CreateNewFile(const std::filesystem::path& path, FileHandle* file, std::string* error) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0644);
  if (fd < 0) {
    *error = Reason(errno);
    return false;
  }
  *file = fd;
  return true;
}

bool WriteAndClose(FileHandle file, const std::uint8_t* bytes, std::uint64_t size,
                   std::string* error) {
  const int fd = static_cast<int>(file);
  for (std::uint64_t done = 0; done < size;) {
    const ssize_t written = write(fd, bytes + done, size - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      *error = Reason(written < 0 ? errno : EIO);
      close(fd);
      return false;
    }
    done += static_cast<std::uint64_t>(written);
  }
  if (fsync(fd) != 0) {
    *error = Reason(errno);
    close(fd);
    return false;
  }
  if (close(fd) != 0) {
    *error = Reason(errno);
    return false;
  }
  return true;
}

bool MoveIntoPlace(const std::filesystem::path& from, const std::filesystem::path& to, bool replace,
                   std::string* error) {
  if (replace) {
    if (rename(from.c_str(), to.c_str()) == 0) return true;
    *error = Reason(errno);
    return false;
  }
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) {
    *error = Reason(errno);
    return false;
  }
  // File systems without RENAME_NOREPLACE: a hard link also refuses an existing name.
  if (link(from.c_str(), to.c_str()) != 0) {
    *error = Reason(errno);
    return false;
  }
  unlink(from.c_str());
  return true;
}

void RemoveFile(const std::filesystem::path& path) {
  unlink(path.c_str());
}

}  // namespace xtview::sys
