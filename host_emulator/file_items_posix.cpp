// Files served as items, on POSIX: mapped whole for reading.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "host.h"
#include "plugin_loader.h"  // SystemErrorText

namespace quillmend::host_emulator {

bool MapFile(const std::filesystem::path& path, MappedFile* file, std::string* error) {
  // Non-blocking, so that a FIFO given by mistake is refused below instead of waited on.
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) {
    *error = SystemErrorText(static_cast<unsigned long>(errno));
    return false;
  }
  struct stat status = {};
  if (fstat(fd, &status) != 0) {
    *error = SystemErrorText(static_cast<unsigned long>(errno));
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
    *error = SystemErrorText(static_cast<unsigned long>(map_error));
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

}  // namespace quillmend::host_emulator
