#include <windows.h>

#include <string>

#include "standin_platform.h"

namespace standin {

namespace {

std::wstring Decode(const char* text, int encoding) {
  const UINT code_page = encoding == 1 ? CP_UTF8 : CP_ACP;
  const int units = MultiByteToWideChar(code_page, 0, text, -1, nullptr, 0);
  if (units <= 0) return std::wstring();
  std::wstring wide(static_cast<std::size_t>(units), L'\0');
  MultiByteToWideChar(code_page, 0, text, -1, wide.data(), units);
  wide.resize(static_cast<std::size_t>(units - 1));
  return wide;
}

}  // namespace

std::string GetEnvironment(const char* name) {
  // The process environment itself, not the C runtime's copy taken at start-up.
  char value[4096];
  const DWORD length = GetEnvironmentVariableA(name, value, sizeof(value));
  if (length == 0 || length >= sizeof(value)) return std::string();
  return std::string(value, length);
}

std::FILE* OpenArgumentPath(const char* path, const char* mode, int encoding) {
  const std::wstring wide_mode = Decode(mode, 0);
  return _wfopen(Decode(path, encoding).c_str(), wide_mode.c_str());
}

bool RemoveArgumentPath(const char* path, int encoding) {
  return DeleteFileW(Decode(path, encoding).c_str()) != FALSE;
}

std::string ControlFileText() {
  HMODULE self = nullptr;
  wchar_t path[MAX_PATH];
  if (!GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCWSTR>(&ControlFileText), &self) ||
      GetModuleFileNameW(self, path, MAX_PATH) == 0) {
    return std::string();
  }
  std::wstring name = path;
  name = name.substr(0, name.rfind(L'\\') + 1) + L"standin-control";
  std::FILE* file = _wfopen(name.c_str(), L"rb");
  if (file == nullptr) return std::string();
  std::string text;
  char chunk[4096];
  for (std::size_t got; (got = std::fread(chunk, 1, sizeof(chunk), file)) > 0;)
    text.append(chunk, got);
  std::fclose(file);
  return text;
}

long ProcessId() {
  return static_cast<long>(GetCurrentProcessId());
}

// A suspended copy of this process's program: it never runs, and lives until it is killed.
bool StartIdleProcess(long* id) {
  wchar_t program[MAX_PATH];
  if (GetModuleFileNameW(nullptr, program, MAX_PATH) == 0) return false;
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION started = {};
  if (!CreateProcessW(program, nullptr, nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr,
                      &startup, &started)) {
    return false;
  }
  *id = static_cast<long>(started.dwProcessId);
  CloseHandle(started.hThread);
  CloseHandle(started.hProcess);
  return true;
}

std::string PermissionBits(const char*) {
  return std::string();
}

void AppendLine(const char* path, const std::string& line) {
  HANDLE file =
      CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  // The whole file locked while the end is found and written: an append is two steps here.
  OVERLAPPED whole = {};
  if (LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole)) {
    DWORD written = 0;
    if (SetFilePointerEx(file, LARGE_INTEGER{}, nullptr, FILE_END)) {
      WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    }
    UnlockFileEx(file, 0, MAXDWORD, MAXDWORD, &whole);
  }
  CloseHandle(file);
}

}  // namespace standin
