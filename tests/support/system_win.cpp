#include <windows.h>
// aclapi.h needs windows.h's types first.
#include <aclapi.h>

#include <cstdlib>
#include <memory>
#include <system_error>

#include "system.h"

namespace quillmend::test {

namespace {

std::wstring Wide(const std::string& text) {
  return Utf8Path(text).wstring();
}

}  // namespace

const bool kRealGhostscriptOpensPathsBeyondTheBasicPlane = false;
const bool kFileNamesMayHoldControlCharacters = false;

void* OpenLibrary(const std::filesystem::path& file, bool) {
  return reinterpret_cast<void*>(LoadLibraryW(file.c_str()));
}

bool IsLibraryLoaded(const std::filesystem::path& file) {
  return GetModuleHandleW(file.c_str()) != nullptr;
}

const char kLibrarySearchVariable[] = "PATH";
const char kPathListSeparator = ';';

std::string LastLibraryError() {
  return "Windows error " + std::to_string(GetLastError());
}

// The C runtime keeps its own copy of the environment, which SetEnvironmentVariableW does not
// change: Ghostscript's getenv reads that copy (for TEMP, where its scratch files go). _wputenv
// updates both.
void SetEnvironment(const char* name, const std::string& value) {
  SetEnvironmentVariableW(Wide(name).c_str(), Wide(value).c_str());
  _wputenv((Wide(name) + L"=" + Wide(value)).c_str());
}

void UnsetEnvironment(const char* name) {
  SetEnvironmentVariableW(Wide(name).c_str(), nullptr);
  _wputenv((Wide(name) + L"=").c_str());
}

std::optional<std::string> GetEnvironmentValue(const char* name) {
  const std::wstring wide_name = Wide(name);
  const DWORD units = GetEnvironmentVariableW(wide_name.c_str(), nullptr, 0);
  if (units == 0) return std::nullopt;
  std::wstring value(units, L'\0');
  const DWORD length = GetEnvironmentVariableW(wide_name.c_str(), value.data(), units);
  value.resize(length);
  return PathUtf8(value);
}

bool SetRegistryValue(RegistryRoot root, const std::string& key, const std::string& name,
                      const std::optional<std::string>& value,
                      std::optional<std::size_t> data_bytes) {
  HKEY opened = nullptr;
  if (RegCreateKeyExW(root == RegistryRoot::kUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE,
                      Wide(key).c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &opened,
                      nullptr) != ERROR_SUCCESS) {
    return false;
  }
  const std::wstring wide_name = Wide(name);
  LONG status = ERROR_SUCCESS;
  if (value) {
    const std::wstring text = Wide(*value);
    const std::size_t bytes = data_bytes.value_or((text.size() + 1) * sizeof(wchar_t));
    status = RegSetValueExW(opened, wide_name.c_str(), 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(text.c_str()), static_cast<DWORD>(bytes));
  } else {
    status = RegDeleteValueW(opened, wide_name.c_str());
  }
  RegCloseKey(opened);
  return status == ERROR_SUCCESS;
}

bool SetUserRegistryValue(const std::string& key, const std::string& name,
                          const std::optional<std::string>& value) {
  return SetRegistryValue(RegistryRoot::kUser, key, name, value);
}

bool SetCRuntimeOnlyEnvironment(const char* name, const std::optional<std::string>& value) {
  const std::wstring wide_name = Wide(name);
  // _wputenv_s sets both copies; the process's own then loses it again.
  if (_wputenv_s(wide_name.c_str(), Wide(value.value_or("")).c_str()) != 0) return false;
  return SetEnvironmentVariableW(wide_name.c_str(), nullptr) != FALSE || !value;
}

std::vector<const char*> TempDirectoryVariables() {
  return {"TMP", "TEMP"};
}

bool UnderWine() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

const char kWorkerFileName[] = "quillmend-convert.exe";

bool ProcessIsAlive(long id) {
  HANDLE process =
      OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(id));
  if (process == nullptr) return false;
  const bool alive = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
  CloseHandle(process);
  return alive;
}

// A real gsdll64.dll for the Windows tests, when the build has one, lies in bin/real-gs/.
std::filesystem::path DefaultRealGhostscriptLibrary() {
  return ExecutableDirectory() / "real-gs" / "gsdll64.dll";
}

bool PlaceFile(const std::filesystem::path& target, const std::filesystem::path& place) {
  std::error_code error;
  std::filesystem::copy_file(target, place, error);
  return !error;
}

std::string NotPrivateBecause(const std::filesystem::path& folder) {
  PACL acl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetNamedSecurityInfoW(folder.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                            nullptr, &acl, nullptr, &descriptor) != ERROR_SUCCESS) {
    return "cannot read its access list";
  }
  const std::shared_ptr<void> free_descriptor(descriptor, LocalFree);
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  if (!GetSecurityDescriptorControl(descriptor, &control, &revision)) return "no control bits";
  if ((control & SE_DACL_PROTECTED) == 0) return "its access list takes its parent's entries";
  if (acl == nullptr) return "it has no access list: everyone may enter";
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return "no token";
  alignas(DWORD) BYTE user[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  DWORD needed = 0;
  const BOOL known = GetTokenInformation(token, TokenUser, user, sizeof(user), &needed);
  CloseHandle(token);
  if (!known) return "no user";
  const PSID sid = reinterpret_cast<TOKEN_USER*>(user)->User.Sid;
  ACL_SIZE_INFORMATION size{};
  if (!GetAclInformation(acl, &size, sizeof(size), AclSizeInformation)) return "no ACL size";
  if (size.AceCount == 0) return "its access list is empty";
  for (DWORD i = 0; i < size.AceCount; ++i) {
    void* entry = nullptr;
    if (!GetAce(acl, i, &entry)) return "an unreadable entry";
    const auto* header = static_cast<ACE_HEADER*>(entry);
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
    const auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(entry);
    if (!EqualSid(const_cast<DWORD*>(&allowed->SidStart), sid)) {
      return "entry " + std::to_string(i) + " lets another account in";
    }
  }
  return "";
}

}  // namespace quillmend::test
