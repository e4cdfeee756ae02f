#include <windows.h>

#include <cstdlib>

#include "platform/platform.h"
#include "system_calls.h"
#include "wide.h"

namespace quillmend::os {

namespace {

constexpr std::size_t kNameCapacity = 64;
// Windows caps a variable's value at 32767 characters.
constexpr DWORD kValueUnits = 32768;

EnvironmentValue ToUtf8(const wchar_t* text, char* value, std::size_t capacity) {
  const int size =
      WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 0 || static_cast<std::size_t>(size) > capacity) return EnvironmentValue::kUnusable;
  WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text, -1, value, size, nullptr, nullptr);
  return EnvironmentValue::kSet;
}

}  // namespace

EnvironmentValue ReadEnvironmentVariable(const char* name, EnvironmentCopy copy, char* value,
                                         std::size_t capacity) {
  wchar_t wide_name[kNameCapacity];
  if (MultiByteToWideChar(CP_UTF8, 0, name, -1, wide_name, kNameCapacity) == 0) {
    return EnvironmentValue::kUnusable;
  }
  if (copy == EnvironmentCopy::kCRuntime) {
    const wchar_t* found = _wgetenv(wide_name);
    return found == nullptr ? EnvironmentValue::kUnset : ToUtf8(found, value, capacity);
  }
  // The value goes through a heap block: it may be far longer than the stack should hold.
  auto* units =
      static_cast<wchar_t*>(Win32.HeapAlloc(GetProcessHeap(), 0, kValueUnits * sizeof(wchar_t)));
  if (units == nullptr) return EnvironmentValue::kUnusable;
  // An empty value and a missing variable both give 0; only the error code tells them apart.
  units[0] = L'\0';
  SetLastError(ERROR_SUCCESS);
  const DWORD length = GetEnvironmentVariableW(wide_name, units, kValueUnits);
  EnvironmentValue result = EnvironmentValue::kUnset;
  if (length >= kValueUnits) {
    result = EnvironmentValue::kUnusable;
  } else if (length > 0 || GetLastError() != ERROR_ENVVAR_NOT_FOUND) {
    result = ToUtf8(units, value, capacity);
  }
  Win32.HeapFree(GetProcessHeap(), 0, units);
  return result;
}

}  // namespace quillmend::os
