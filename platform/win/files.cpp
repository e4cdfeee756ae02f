// Files on Windows: the temporary-name service creates each file as it names it.
#include <windows.h>

#include "platform/platform.h"
#include "wide.h"

namespace quillmend::os {

namespace {

FileHandle OpenExisting(const char16_t* path, DWORD access) {
  HANDLE file =
      CreateFileW(Wide(path), access, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_TEMPORARY, nullptr);
  return file == INVALID_HANDLE_VALUE ? kNoFile : reinterpret_cast<FileHandle>(file);
}

HANDLE Native(FileHandle file) {
  return reinterpret_cast<HANDLE>(file);
}

}  // namespace

bool GetTempDirectory(char16_t* path, std::size_t capacity) {
  const DWORD length = GetTempPathW(static_cast<DWORD>(capacity), Wide(path));
  return length >= 1 && length <= capacity;
}

bool CreateTempFile(const char16_t* directory, const char16_t* prefix, char16_t* path) {
  return GetTempFileNameW(Wide(directory), Wide(prefix), 0, Wide(path)) != 0;
}

FileHandle OpenFileForWriting(const char16_t* path) {
  return OpenExisting(path, GENERIC_WRITE);
}

FileHandle OpenFileForReading(const char16_t* path) {
  return OpenExisting(path, GENERIC_READ);
}

bool WriteBlock(FileHandle file, const void* data, std::uint32_t count, std::uint32_t* done) {
  DWORD written = 0;
  const BOOL succeeded = WriteFile(Native(file), data, count, &written, nullptr);
  *done = written;
  return succeeded != FALSE;
}

bool ReadBlock(FileHandle file, void* data, std::uint32_t count, std::uint32_t* done) {
  DWORD read = 0;
  const BOOL succeeded = ReadFile(Native(file), data, count, &read, nullptr);
  *done = read;
  return succeeded != FALSE;
}

bool GetFileSize(FileHandle file, std::uint64_t* size) {
  LARGE_INTEGER whole;
  if (!GetFileSizeEx(Native(file), &whole) || whole.QuadPart < 0) return false;
  *size = static_cast<std::uint64_t>(whole.QuadPart);
  return true;
}

void CloseFile(FileHandle file) {
  CloseHandle(Native(file));
}

Removal DeleteFileAt(const char16_t* path) {
  if (DeleteFileW(Wide(path))) return Removal::kRemoved;
  return GetLastError() == ERROR_SHARING_VIOLATION ? Removal::kInUse : Removal::kFailed;
}

}  // namespace quillmend::os
