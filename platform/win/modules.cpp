// Modules on Windows: the host is the process's .exe, libraries are DLLs.
#include <shlwapi.h>
#include <windows.h>

#include "platform/platform.h"
#include "wide.h"

namespace quillmend::os {

const char16_t kDirectorySeparator = u'\\';

void* FindMainProgramSymbol(const char* name) {
  // No module name: the process's main program, which is the host.
  HMODULE host = GetModuleHandleW(nullptr);
  if (host == nullptr) return nullptr;
  return reinterpret_cast<void*>(GetProcAddress(host, name));
}

bool GetOwnModulePath(char16_t* path, std::size_t capacity) {
  HMODULE self = nullptr;
  if (!GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCWSTR>(&GetOwnModulePath), &self)) {
    return false;
  }
  const DWORD length = GetModuleFileNameW(self, Wide(path), static_cast<DWORD>(capacity));
  // A result that fills the buffer was cut short and names no file.
  return length > 0 && length < capacity;
}

bool RemoveLastPathComponent(char16_t* path) {
  return PathRemoveFileSpecW(Wide(path)) != FALSE;
}

void* LoadLibraryFile(const char16_t* path) {
  return reinterpret_cast<void*>(LoadLibraryW(Wide(path)));
}

bool GetLibraryPath(void* library, char16_t* path, std::size_t capacity) {
  const DWORD length =
      GetModuleFileNameW(static_cast<HMODULE>(library), Wide(path), static_cast<DWORD>(capacity));
  return length > 0 && length < capacity;
}

void* FindLibrarySymbol(void* library, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

}  // namespace quillmend::os
