#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include <cstdlib>

#include "standin_platform.h"

namespace standin {

std::string GetEnvironment(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}

std::FILE* OpenArgumentPath(const char* path, const char* mode, int) {
  return std::fopen(path, mode);
}

bool RemoveArgumentPath(const char* path, int) {
  return std::remove(path) == 0;
}

std::string ControlFileText() {
  Dl_info info;
  if (dladdr(reinterpret_cast<void*>(&ControlFileText), &info) == 0 || info.dli_fname == nullptr) {
    return std::string();
  }
  std::string path = info.dli_fname;
  path = path.substr(0, path.rfind('/') + 1) + "standin-control";
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

long ProcessId() {
  return static_cast<long>(getpid());
}

bool StartIdleProcess(long* id) {
  const pid_t child = fork();
  if (child == 0) {
    for (;;) pause();
  }
  if (child < 0) return false;
  *id = static_cast<long>(child);
  return true;
}

std::string PermissionBits(const char* path) {
  struct stat status;
  if (stat(path, &status) != 0) return "none";
  char bits[8];
  std::snprintf(bits, sizeof(bits), "%o", static_cast<unsigned>(status.st_mode & 07777));
  return bits;
}

void AppendLine(const char* path, const std::string& line) {
  const int file = open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
  if (file < 0) return;
  const ssize_t written = write(file, line.data(), line.size());
  static_cast<void>(written);
  close(file);
}

}  // namespace standin
