// Files on Windows: the temporary-name service creates each file as it names it. Opening and
// deleting a staged file wait out another program's passing hold on it (passing_hold.h).
#include <windows.h>

#include "passing_hold.h"
#include "platform/platform.h"
#include "system_calls.h"
#include "wide.h"

namespace quillmend::os {

namespace {

FileHandle OpenExisting(const char16_t* path, DWORD access) {
  HANDLE file = INVALID_HANDLE_VALUE;
  Retrying([&] {
    file = Win32.CreateFileW(Wide(path), access, 0, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_TEMPORARY, nullptr);
    return file != INVALID_HANDLE_VALUE;
  });
  return file == INVALID_HANDLE_VALUE ? kNoFile : reinterpret_cast<FileHandle>(file);
}

// A file another handle holds is still there, whichever of the errors of a passing hold says so.
Removal RemovalAfterFailure() {
  return IsPassingLock(GetLastError()) ? Removal::kInUse : Removal::kFailed;
}

HANDLE Native(FileHandle file) {
  return reinterpret_cast<HANDLE>(file);
}

}  // namespace

bool GetTempDirectory(char16_t* path, std::size_t capacity) {
  const DWORD length = Win32.GetTempPathW(static_cast<DWORD>(capacity), Wide(path));
  return length >= 1 && length <= capacity;
}

bool CreateTempFile(const char16_t* directory, const char16_t* prefix, char16_t* path) {
  return Win32.GetTempFileNameW(Wide(directory), Wide(prefix), 0, Wide(path)) != 0;
}

FileHandle OpenFileForWriting(const char16_t* path) {
  return OpenExisting(path, GENERIC_WRITE);
}

FileHandle OpenFileForReading(const char16_t* path) {
  return OpenExisting(path, GENERIC_READ);
}

bool WriteBlock(FileHandle file, const void* data, std::uint32_t count, std::uint32_t* done) {
  DWORD written = 0;
  const BOOL succeeded = Win32.WriteFile(Native(file), data, count, &written, nullptr);
  *done = written;
  return succeeded != FALSE;
}

bool ReadBlock(FileHandle file, void* data, std::uint32_t count, std::uint32_t* done) {
  DWORD read = 0;
  const BOOL succeeded = Win32.ReadFile(Native(file), data, count, &read, nullptr);
  *done = read;
  return succeeded != FALSE;
}

bool GetFileSize(FileHandle file, std::uint64_t* size) {
  LARGE_INTEGER whole;
  if (!Win32.GetFileSizeEx(Native(file), &whole) || whole.QuadPart < 0) return false;
  *size = static_cast<std::uint64_t>(whole.QuadPart);
  return true;
}

void CloseFile(FileHandle file) {
  CloseHandle(Native(file));
}

// Ghostscript opens files through the C runtime's _wfopen, which shares reading and writing; its
// output is opened for writing and, for a positionable device, reading too. A handle that asks
// for that much and shares the same lets every open of Ghostscript's through, and none that
// would not share. Sharing deletion as well keeps it out of the way of any later delete.
bool HoldFileForGhostscript(const char16_t* path, GhostscriptOpens open, FileHandle* held) {
  const DWORD access =
      open == GhostscriptOpens::kForReading ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE;
  HANDLE file = INVALID_HANDLE_VALUE;
  Retrying([&] {
    file = Win32.CreateFileW(Wide(path), access,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_TEMPORARY, nullptr);
    return file != INVALID_HANDLE_VALUE;
  });
  *held = file == INVALID_HANDLE_VALUE ? kNoFile : reinterpret_cast<FileHandle>(file);
  return file != INVALID_HANDLE_VALUE;
}

void ReleaseHeldFile(FileHandle held) {
  if (held != kNoFile) CloseHandle(Native(held));
}

Removal DeleteFileAt(const char16_t* path) {
  if (Retrying([path] { return Win32.DeleteFileW(Wide(path)) != FALSE; })) return Removal::kRemoved;
  return RemovalAfterFailure();
}

Removal DeleteFileOnce(const char16_t* path) {
  if (Win32.DeleteFileW(Wide(path))) return Removal::kRemoved;
  return RemovalAfterFailure();
}

}  // namespace quillmend::os
