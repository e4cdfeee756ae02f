#include <windows.h>

#include <cstdlib>

#include "platform/platform.h"
#include "wide.h"

namespace quillmend::os {

namespace {

constexpr std::size_t kNameCapacity = 64;
// Longer values are refused; each UTF-16 unit takes at least a byte in UTF-8, so none of them
// would fit the plug-in's 1024-byte buffers anyway.
constexpr DWORD kValueUnits = 1024;

EnvironmentValue ToUtf8(const wchar_t* text, char* value, std::size_t capacity) {
  const int size =
      WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 0 || static_cast<std::size_t>(size) > capacity) return EnvironmentValue::kUnusable;
  WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text, -1, value, size, nullptr, nullptr);
  return EnvironmentValue::kSet;
}

constexpr std::size_t kKeyCapacity = 256;

// The string value under one root: kUnset when the key or the value is missing or the value is
// no plain string, so that the next root is asked.
EnvironmentValue ReadStringValue(HKEY root, const wchar_t* key, const wchar_t* name, char* value,
                                 std::size_t capacity) {
  HKEY opened = nullptr;
  // With the access Ghostscript asks for: a key it can open must not be missed here.
  if (RegOpenKeyExW(root, key, 0, KEY_READ, &opened) != ERROR_SUCCESS) {
    return EnvironmentValue::kUnset;
  }
  // One unit more than the data may fill, so that the text always ends in a NUL.
  wchar_t units[kValueUnits + 1] = {};
  DWORD type = REG_NONE;
  DWORD bytes = kValueUnits * sizeof(wchar_t);
  const LONG status =
      RegQueryValueExW(opened, name, nullptr, &type, reinterpret_cast<BYTE*>(units), &bytes);
  RegCloseKey(opened);
  if (type != REG_SZ) return EnvironmentValue::kUnset;
  if (status == ERROR_MORE_DATA) return EnvironmentValue::kUnusable;
  if (status != ERROR_SUCCESS) return EnvironmentValue::kUnset;
  // Less than one unit holds not even the terminator: Ghostscript would read as text what it
  // never received.
  if (bytes < sizeof(wchar_t)) return EnvironmentValue::kUnusable;
  return ToUtf8(units, value, capacity);
}

}  // namespace

EnvironmentValue ReadUserOrMachineSetting(const char* key, const char* name, char* value,
                                          std::size_t capacity) {
  wchar_t wide_key[kKeyCapacity];
  wchar_t wide_name[kNameCapacity];
  if (MultiByteToWideChar(CP_UTF8, 0, key, -1, wide_key, kKeyCapacity) == 0 ||
      MultiByteToWideChar(CP_UTF8, 0, name, -1, wide_name, kNameCapacity) == 0) {
    return EnvironmentValue::kUnusable;
  }
  const EnvironmentValue user =
      ReadStringValue(HKEY_CURRENT_USER, wide_key, wide_name, value, capacity);
  if (user != EnvironmentValue::kUnset) return user;
  return ReadStringValue(HKEY_LOCAL_MACHINE, wide_key, wide_name, value, capacity);
}

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
  // An empty value and a missing variable both give 0; only the error code tells them apart.
  wchar_t units[kValueUnits];
  units[0] = L'\0';
  SetLastError(ERROR_SUCCESS);
  const DWORD length = GetEnvironmentVariableW(wide_name, units, kValueUnits);
  if (length >= kValueUnits) return EnvironmentValue::kUnusable;
  if (length == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND) return EnvironmentValue::kUnset;
  return ToUtf8(units, value, capacity);
}

}  // namespace quillmend::os
