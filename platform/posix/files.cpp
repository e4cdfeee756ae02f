// Files on POSIX. Temporary files hold evidence: they are created for the user alone (0600).
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/platform.h"
#include "utf16.h"

namespace quillmend::os {

namespace {

constexpr int kNameAttempts = 100;

int OpenExisting(const char16_t* path, int access) {
  std::string narrow;
  if (!posix::ToUtf8(path, &narrow)) return -1;
  int fd;
  do {
    fd = open(narrow.c_str(), access | O_CLOEXEC | O_NOCTTY);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

bool RandomNumber(unsigned long long* value) {
  return getentropy(value, sizeof(*value)) == 0;
}

}  // namespace

bool GetTempDirectory(char16_t* path, std::size_t capacity) {
  const char* directory = std::getenv("TMPDIR");
  if (directory == nullptr || directory[0] == '\0') directory = "/tmp";
  std::string with_separator = directory;
  if (with_separator.back() != '/') with_separator += '/';
  return posix::FromUtf8(with_separator.c_str(), path, capacity);
}

bool CreateTempFile(const char16_t* directory, const char16_t* prefix, char16_t* path) {
  std::string narrow_directory;
  std::string narrow_prefix;
  if (!posix::ToUtf8(directory, &narrow_directory) || !posix::ToUtf8(prefix, &narrow_prefix)) {
    return false;
  }
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    unsigned long long number = 0;
    if (!RandomNumber(&number)) return false;
    char name[32];
    std::snprintf(name, sizeof(name), "%.8llX.tmp", number & 0xFFFFFFFFULL);
    const std::string candidate = narrow_directory + narrow_prefix + name;
    if (!posix::FromUtf8(candidate.c_str(), path, kPathCapacity)) return false;
    const int fd = open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY,
                        S_IRUSR | S_IWUSR);
    if (fd >= 0) {
      close(fd);
      return true;
    }
    if (errno != EEXIST && errno != EINTR) return false;
  }
  return false;
}

FileHandle OpenFileForWriting(const char16_t* path) {
  return OpenExisting(path, O_WRONLY);
}

FileHandle OpenFileForReading(const char16_t* path) {
  return OpenExisting(path, O_RDONLY);
}

bool WriteBlock(FileHandle file, const void* data, std::uint32_t count, std::uint32_t* done) {
  const auto* bytes = static_cast<const char*>(data);
  *done = 0;
  while (*done < count) {
    const ssize_t written = write(static_cast<int>(file), bytes + *done, count - *done);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (written == 0) return false;  // no progress and no error: never spin on it
    *done += static_cast<std::uint32_t>(written);
  }
  return true;
}

bool ReadBlock(FileHandle file, void* data, std::uint32_t count, std::uint32_t* done) {
  auto* bytes = static_cast<char*>(data);
  *done = 0;
  while (*done < count) {
    const ssize_t got = read(static_cast<int>(file), bytes + *done, count - *done);
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (got == 0) break;  // end of file: the caller judges the short count
    *done += static_cast<std::uint32_t>(got);
  }
  return true;
}

bool GetFileSize(FileHandle file, std::uint64_t* size) {
  struct stat status;
  if (fstat(static_cast<int>(file), &status) != 0) return false;
  *size = static_cast<std::uint64_t>(status.st_size);
  return true;
}

void CloseFile(FileHandle file) {
  close(static_cast<int>(file));
}

bool DeleteFileAt(const char16_t* path) {
  std::string narrow;
  return posix::ToUtf8(path, &narrow) && unlink(narrow.c_str()) == 0;
}

}  // namespace quillmend::os
