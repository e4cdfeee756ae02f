// Files served as items, on Windows: mapped whole for reading.
#include <windows.h>

#include "host.h"
#include "plugin_loader.h"  // SystemErrorText

namespace quillmend::host_emulator {

bool MapFile(const std::filesystem::path& path, MappedFile* file, std::string* error) {
  const HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    *error = SystemErrorText(GetLastError());
    return false;
  }
  LARGE_INTEGER size = {};
  if (!GetFileSizeEx(handle, &size)) {
    *error = SystemErrorText(GetLastError());
    CloseHandle(handle);
    return false;
  }
  *file = MappedFile{};
  file->size = static_cast<std::uint64_t>(size.QuadPart);
  // Windows cannot map an empty file; it simply has no bytes.
  if (file->size == 0) {
    CloseHandle(handle);
    return true;
  }
  const HANDLE mapping = CreateFileMappingW(handle, nullptr, PAGE_READONLY, 0, 0, nullptr);
  const DWORD mapping_error = GetLastError();
  CloseHandle(handle);
  if (mapping == nullptr) {
    *error = SystemErrorText(mapping_error);
    return false;
  }
  const void* bytes = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
  if (bytes == nullptr) {
    *error = SystemErrorText(GetLastError());
    CloseHandle(mapping);
    return false;
  }
  file->bytes = static_cast<const std::uint8_t*>(bytes);
  file->mapping = reinterpret_cast<std::intptr_t>(mapping);
  return true;
}

void UnmapFile(MappedFile* file) {
  if (file->mapping != 0) {
    UnmapViewOfFile(file->bytes);
    CloseHandle(reinterpret_cast<HANDLE>(file->mapping));
  }
  *file = MappedFile{};
}

}  // namespace quillmend::host_emulator
