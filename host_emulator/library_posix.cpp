#include <dlfcn.h>

#include <filesystem>
#include <system_error>

#include "plugin_loader.h"

namespace quillmend::host_emulator {

const char kPluginFileName[] = "quillmend.so";

std::filesystem::path ProgramFolder() {
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::filesystem::path() : self.parent_path();
}

void* LoadLibraryAt(const std::filesystem::path& path, std::string* error) {
  void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    const char* reason = dlerror();
    *error = reason != nullptr ? reason : "unknown error";
  }
  return library;
}

std::string SystemErrorText(unsigned long code) {
  return std::generic_category().message(static_cast<int>(code));
}

void* FindSymbol(void* library, const char* name) {
  return dlsym(library, name);
}

}  // namespace quillmend::host_emulator
