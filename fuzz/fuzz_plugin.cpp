#include "fuzz_plugin.h"

#include <dirent.h>
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace quillmend::fuzz {

namespace {

std::string work_folder;
std::string temp_directory;

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "fuzz set-up: %s\n", what.c_str());
  std::abort();
}

void RemoveWorkFolder() {
  std::error_code error;
  std::filesystem::remove_all(work_folder, error);
}

template <typename Function>
void Resolve(void* library, const char* name, Function* function) {
  *function = reinterpret_cast<Function>(dlsym(library, name));
  if (*function == nullptr) Fail(std::string("the plug-in does not export ") + name);
}

int CountEntries(const char* folder, std::string* first) {
  DIR* directory = opendir(folder);
  if (directory == nullptr) return -1;
  int count = 0;
  while (const dirent* entry = readdir(directory)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    if (count == 0 && first != nullptr) *first = name;
    ++count;
  }
  closedir(directory);
  return count;
}

}  // namespace

Plugin StartPlugin(const char* plugin_file, const char* ghostscript_file) {
  const char* base = std::getenv("TMPDIR");
  std::string pattern =
      std::string(base != nullptr && base[0] != '\0' ? base : "/tmp") + "/quillmend-fuzz-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) Fail("cannot create a work folder");
  work_folder = pattern;
  std::atexit(RemoveWorkFolder);

  namespace fs = std::filesystem;
  const fs::path folder = work_folder;
  std::error_code error;
  fs::create_directory(folder / "plugin", error);
  fs::copy_file(plugin_file, folder / "plugin" / "quillmend.so", error);
  if (error) Fail("cannot copy the plug-in: " + error.message());
  fs::copy_file(ghostscript_file, folder / "plugin" / QUILLMEND_GHOSTSCRIPT_LIBRARY, error);
  if (error) Fail("cannot copy Ghostscript: " + error.message());
  temp_directory = (folder / "tmp").string();
  fs::create_directory(temp_directory, error);
  if (error) Fail("cannot create the temporary directory");
  setenv("TMPDIR", temp_directory.c_str(), 1);

  const std::string copy = (folder / "plugin" / "quillmend.so").string();
  void* library = dlopen(copy.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) Fail(std::string("cannot load the plug-in: ") + dlerror());
  Plugin plugin;
  Resolve(library, "XT_Init", &plugin.Init);
  Resolve(library, "XT_View", &plugin.View);
  Resolve(library, "XT_ReleaseMem", &plugin.ReleaseMem);
  if (plugin.Init(1, 0, nullptr, nullptr) != 2) Fail("XT_Init did not answer 2");
  return plugin;
}

const std::string& TempDirectory() {
  return temp_directory;
}

void Violation(const char* rule) {
  std::fprintf(stderr, "contract broken: %s\n", rule);
  std::abort();
}

int EntriesInTempDirectory(std::string* first) {
  return CountEntries(temp_directory.c_str(), first);
}

int OpenDescriptors() {
  return CountEntries("/proc/self/fd", nullptr) - 1;
}

}  // namespace quillmend::fuzz
