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

std::string PermissionBits(const char*) {
  return std::string();
}

}  // namespace standin
