// Files on POSIX. Temporary files hold evidence: they are created for the user alone (0600), and
// a symbolic link planted at a staged file's name is never followed.
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"
#include "utf16.h"

namespace quillmend::os {

namespace {

constexpr int kNameAttempts = 100;

int OpenExisting(const char16_t* path, int access) {
  char narrow[posix::kNarrowPathCapacity];
  if (!posix::ToUtf8(path, narrow, sizeof(narrow))) return -1;
  int fd;
  do {
    fd = open(narrow, access | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW);
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
  const std::size_t length = std::strlen(directory);
  char with_separator[posix::kNarrowPathCapacity];
  if (length + 2 > sizeof(with_separator)) return false;
  std::memcpy(with_separator, directory, length + 1);
  if (directory[length - 1] != '/') std::memcpy(with_separator + length, "/", 2);
  return posix::FromUtf8(with_separator, path, capacity);
}

bool CreateTempFile(const char16_t* directory, const char16_t* prefix, char16_t* path) {
  // "<directory><prefix>XXXXXXXX.tmp": the name's own part has a fixed length.
  constexpr std::size_t kNameLength = 8 + 4;
  char candidate[posix::kNarrowPathCapacity];
  if (!posix::ToUtf8(directory, candidate, sizeof(candidate))) return false;
  const std::size_t directory_length = std::strlen(candidate);
  if (!posix::ToUtf8(prefix, candidate + directory_length, sizeof(candidate) - directory_length)) {
    return false;
  }
  const std::size_t stem = std::strlen(candidate);
  if (stem + kNameLength + 1 > sizeof(candidate)) return false;
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    unsigned long long number = 0;
    if (!RandomNumber(&number)) return false;
    std::snprintf(candidate + stem, kNameLength + 1, "%.8llX.tmp", number & 0xFFFFFFFFULL);
    if (!posix::FromUtf8(candidate, path, kPathCapacity)) return false;
    // O_EXCL with O_CREAT refuses any name that exists, a symbolic link included.
    const int fd =
        open(candidate, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, S_IRUSR | S_IWUSR);
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

// POSIX removes a name whatever holds the file open, so nothing is ever "in use" here and
// nothing is worth a second attempt.
Removal DeleteFileAt(const char16_t* path) {
  char narrow[posix::kNarrowPathCapacity];
  if (!posix::ToUtf8(path, narrow, sizeof(narrow))) return Removal::kFailed;
  return unlink(narrow) == 0 ? Removal::kRemoved : Removal::kFailed;
}

Removal DeleteFileOnce(const char16_t* path) {
  return DeleteFileAt(path);
}

// Another program's open never keeps this one from opening a file: there is nothing to wait for.
bool HoldFileForGhostscript(const char16_t*, GhostscriptOpens, FileHandle* held) {
  *held = kNoFile;
  return true;
}

void ReleaseHeldFile(FileHandle) {}

}  // namespace quillmend::os
