// xtview's system layer on Linux and other POSIX systems.
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <system_error>
#include <thread>

#include "system.h"

#ifndef XTVIEW_GHOSTSCRIPT_LIBRARY
#define XTVIEW_GHOSTSCRIPT_LIBRARY "libgs.so.10"
#endif

namespace xtview::sys {

const char kPluginFileName[] = "quillmend.so";
const char kGhostscriptFileName[] = XTVIEW_GHOSTSCRIPT_LIBRARY;

namespace {

std::string Reason(int error) {
  return std::generic_category().message(error);
}

}  // namespace

std::vector<std::string> Arguments(int argc, char** argv) {
  return {argv, argv + argc};
}

std::filesystem::path OwnFolder() {
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::filesystem::path() : self.parent_path();
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

void* LoadLibraryAt(const std::filesystem::path& path, std::string* error) {
  void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    const char* reason = dlerror();
    *error = reason != nullptr ? reason : "unknown error";
  }
  return library;
}

void* FindSymbol(void* library, const char* name) {
  return dlsym(library, name);
}

bool MapFile(const std::filesystem::path& path, MappedFile* file, std::string* error) {
  // Non-blocking, so that a FIFO given by mistake is refused below instead of waited on.
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) {
    *error = Reason(errno);
    return false;
  }
  struct stat status = {};
  if (fstat(fd, &status) != 0) {
    *error = Reason(errno);
    close(fd);
    return false;
  }
  if (!S_ISREG(status.st_mode)) {
    *error = S_ISDIR(status.st_mode) ? "is a folder" : "not a regular file";
    close(fd);
    return false;
  }
  *file = MappedFile{};
  file->size = static_cast<std::uint64_t>(status.st_size);
  if (file->size == 0) {
    close(fd);
    return true;
  }
  void* bytes = mmap(nullptr, file->size, PROT_READ, MAP_PRIVATE, fd, 0);
  const int map_error = errno;
  close(fd);
  if (bytes == MAP_FAILED) {
    *error = Reason(map_error);
    return false;
  }
  file->bytes = static_cast<const std::uint8_t*>(bytes);
  file->mapping = 1;
  return true;
}

void UnmapFile(MappedFile* file) {
  if (file->mapping != 0) munmap(const_cast<std::uint8_t*>(file->bytes), file->size);
  *file = MappedFile{};
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
