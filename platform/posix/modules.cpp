// Modules on POSIX: the host is the main executable, libraries are shared objects.
#include <dlfcn.h>
#include <link.h>

#include <climits>
#include <cstddef>
#include <cstdlib>

#include "platform/platform.h"
#include "utf16.h"

namespace quillmend::os {

const char16_t kDirectorySeparator = u'/';

void* FindMainProgramSymbol(const char* name) {
  void* self = dlopen(nullptr, RTLD_NOW);
  if (self == nullptr) return nullptr;
  // dlsym on the main handle searches every global library too; keep only what the main
  // executable itself defines. Its link map is the handle's own.
  link_map* main_program = nullptr;
  void* symbol = nullptr;
  if (dlinfo(self, RTLD_DI_LINKMAP, &main_program) == 0) symbol = dlsym(self, name);
  dlclose(self);
  if (symbol == nullptr) return nullptr;
  Dl_info info;
  link_map* owner = nullptr;
  if (dladdr1(symbol, &info, reinterpret_cast<void**>(&owner), RTLD_DL_LINKMAP) == 0) {
    return nullptr;
  }
  return owner == main_program ? symbol : nullptr;
}

bool GetOwnModulePath(char16_t* path, std::size_t capacity) {
  Dl_info info;
  if (dladdr(reinterpret_cast<void*>(&GetOwnModulePath), &info) == 0) return false;
  if (info.dli_fname == nullptr || info.dli_fname[0] == '\0') return false;
  return posix::FromUtf8(info.dli_fname, path, capacity);
}

bool RemoveLastPathComponent(char16_t* path) {
  constexpr std::size_t kNone = ~std::size_t{0};
  std::size_t last_separator = kNone;
  std::size_t length = 0;
  for (; path[length] != u'\0'; ++length) {
    if (path[length] == u'/') last_separator = length;
  }
  // A bare file name has no directory to keep.
  if (last_separator == kNone) return false;
  if (last_separator + 1 == length) {
    // A bare root or a trailing separator: only the separator itself can go.
    if (last_separator == 0) return false;
    path[last_separator] = u'\0';
    return true;
  }
  // Keep the root's separator: "/plugin.so" leaves "/".
  path[last_separator == 0 ? 1 : last_separator] = u'\0';
  return true;
}

void* LoadLibraryFile(const char16_t* path) {
  char narrow[posix::kNarrowPathCapacity];
  if (!posix::ToUtf8(path, narrow, sizeof(narrow))) return nullptr;
  // Local binding keeps Ghostscript's many symbols out of the host's global scope.
  return dlopen(narrow, RTLD_NOW | RTLD_LOCAL);
}

bool GetLibraryPath(void* library, char16_t* path, std::size_t capacity) {
  link_map* map = nullptr;
  if (dlinfo(library, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr || map->l_name == nullptr ||
      map->l_name[0] == '\0') {
    return false;
  }
  // A library found by its bare name carries the path the loader found it at.
  char resolved[PATH_MAX];
  if (realpath(map->l_name, resolved) == nullptr) return false;
  return posix::FromUtf8(resolved, path, capacity);
}

void* FindLibrarySymbol(void* library, const char* name) {
  return dlsym(library, name);
}

}  // namespace quillmend::os
