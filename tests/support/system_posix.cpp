#include <dlfcn.h>
#include <unistd.h>

#include <signal.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <system_error>

#include "system.h"

namespace quillmend::test {

const bool kRealGhostscriptOpensPathsBeyondTheBasicPlane = true;
const bool kFileNamesMayHoldControlCharacters = true;

void* OpenLibrary(const std::filesystem::path& file, bool global) {
  return dlopen(file.c_str(), RTLD_NOW | (global ? RTLD_GLOBAL : RTLD_LOCAL));
}

bool IsLibraryLoaded(const std::filesystem::path& file) {
  void* library = dlopen(file.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (library != nullptr) dlclose(library);
  return library != nullptr;
}

const char kLibrarySearchVariable[] = "LD_LIBRARY_PATH";
const char kPathListSeparator = ':';

std::string LastLibraryError() {
  const char* error = dlerror();
  return error == nullptr ? std::string("no error") : std::string(error);
}

void SetEnvironment(const char* name, const std::string& value) {
  setenv(name, value.c_str(), 1);
}

void UnsetEnvironment(const char* name) {
  unsetenv(name);
}

std::optional<std::string> GetEnvironmentValue(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

bool SetUserRegistryValue(const std::string&, const std::string&,
                          const std::optional<std::string>&) {
  return false;
}

bool SetRegistryValue(RegistryRoot, const std::string&, const std::string&,
                      const std::optional<std::string>&, std::optional<std::size_t>) {
  return false;
}

bool SetCRuntimeOnlyEnvironment(const char*, const std::optional<std::string>&) {
  return false;
}

std::vector<const char*> TempDirectoryVariables() {
  return {"TMPDIR"};
}

bool UnderWine() {
  return false;
}

const char kWorkerFileName[] = "quillmend-convert";

bool ProcessIsAlive(long id) {
  if (kill(static_cast<pid_t>(id), 0) != 0) return false;
  // The state follows the command's closing parenthesis: Z for a zombie.
  std::ifstream stat("/proc/" + std::to_string(id) + "/stat");
  std::string line;
  std::getline(stat, line);
  const std::size_t end = line.rfind(')');
  return end == std::string::npos || end + 2 >= line.size() || line[end + 2] != 'Z';
}

std::filesystem::path DefaultRealGhostscriptLibrary() {
  return QUILLMEND_TEST_REAL_GHOSTSCRIPT;
}

bool PlaceFile(const std::filesystem::path& target, const std::filesystem::path& place) {
  std::error_code error;
  std::filesystem::create_symlink(target, place, error);
  return !error;
}

std::string NotPrivateBecause(const std::filesystem::path& folder) {
  struct stat status {};
  if (stat(folder.c_str(), &status) != 0) return "cannot stat it";
  const unsigned mode = status.st_mode & 07777;
  return mode == 0700 ? "" : "its mode is " + std::to_string(mode);
}

}  // namespace quillmend::test
