// xtview's system layer on Windows: wide-character APIs throughout, so any file name works.
#include <windows.h>

#include <shellapi.h>

#include "system.h"

namespace xtview::sys {

namespace {

std::string ToUtf8(const wchar_t* text, int length) {
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return std::string();
  std::string utf8(static_cast<std::size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, length, utf8.data(), bytes, nullptr, nullptr);
  return utf8;
}

std::wstring ToWide(const std::string& text) {
  const int length = static_cast<int>(text.size());
  const int units = MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0);
  if (units <= 0) return std::wstring();
  std::wstring wide(static_cast<std::size_t>(units), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), length, wide.data(), units);
  return wide;
}

std::string Reason(DWORD code) {
  return quillmend::host_emulator::SystemErrorText(code);
}

void (*interrupt_handler)() = nullptr;

BOOL WINAPI OnConsoleEvent(DWORD) {
  // Windows calls this on a thread of its own.
  interrupt_handler();
  return TRUE;
}

}  // namespace

std::vector<std::string> Arguments(int, char**) {
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> arguments;
  if (wide == nullptr) return arguments;
  for (int i = 0; i < count; ++i) arguments.push_back(ToUtf8(wide[i], -1).c_str());
  LocalFree(wide);
  return arguments;
}

bool SetEnvironment(const std::string& name, const std::string& value) {
  return SetEnvironmentVariableW(ToWide(name).c_str(), ToWide(value).c_str()) != FALSE;
}

std::string GetEnvironment(const std::string& name) {
  wchar_t value[1024];
  const DWORD length = GetEnvironmentVariableW(ToWide(name).c_str(), value, 1024);
  if (length == 0 || length >= 1024) return std::string();
  return ToUtf8(value, static_cast<int>(length));
}

unsigned CoreCount() {
  SYSTEM_INFO information = {};
  GetSystemInfo(&information);
  return information.dwNumberOfProcessors > 0 ? information.dwNumberOfProcessors : 1;
}

void OnInterrupt(void (*handler)()) {
  interrupt_handler = handler;
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

bool StdoutIsTerminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != FALSE;
}

void Write(Stream stream, const std::string& text) {
  const HANDLE handle = GetStdHandle(stream == Stream::Out ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
  DWORD mode = 0;
  if (GetConsoleMode(handle, &mode)) {
    // A console takes characters, whatever its code page.
    const std::wstring wide = ToWide(text);
    DWORD written = 0;
    WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    return;
  }
  DWORD written = 0;
  WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

bool CreateNewFile(const std::filesystem::path& path, FileHandle* file, std::string* error) {
  // Shared for deletion only, so that an interrupt can delete the file while it is written.
  const HANDLE handle = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr,
                                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    *error = Reason(GetLastError());
    return false;
  }
  *file = reinterpret_cast<FileHandle>(handle);
  return true;
}

bool WriteAndClose(FileHandle file, const std::uint8_t* bytes, std::uint64_t size,
                   std::string* error) {
  const HANDLE handle = reinterpret_cast<HANDLE>(file);
  constexpr std::uint64_t kLargestWrite = 1u << 30;
  for (std::uint64_t done = 0; done < size;) {
    const std::uint64_t chunk = size - done < kLargestWrite ? size - done : kLargestWrite;
    DWORD written = 0;
    if (!WriteFile(handle, bytes + done, static_cast<DWORD>(chunk), &written, nullptr) ||
        written == 0) {
      *error = Reason(GetLastError());
      CloseHandle(handle);
      return false;
    }
    done += written;
  }
  if (!FlushFileBuffers(handle)) {
    *error = Reason(GetLastError());
    CloseHandle(handle);
    return false;
  }
  if (!CloseHandle(handle)) {
    *error = Reason(GetLastError());
    return false;
  }
  return true;
}

bool MoveIntoPlace(const std::filesystem::path& from, const std::filesystem::path& to, bool replace,
                   std::string* error) {
  const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
  if (MoveFileExW(from.c_str(), to.c_str(), flags)) return true;
  *error = Reason(GetLastError());
  return false;
}

void RemoveFile(const std::filesystem::path& path) {
  DeleteFileW(path.c_str());
}

}  // namespace xtview::sys
