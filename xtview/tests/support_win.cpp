// The Windows side of the test helpers; under Wine too.
#include <windows.h>

#include "support.h"
#include "support/child_process.h"

namespace xtview_test {

namespace {

constexpr int kRunSeconds = 300;

std::wstring Wide(const std::string& text) {
  const int length = static_cast<int>(text.size());
  const int units = MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(units > 0 ? units : 0), L'\0');
  if (units > 0) MultiByteToWideChar(CP_UTF8, 0, text.data(), length, wide.data(), units);
  return wide;
}

}  // namespace

fs::path BuildPath(const std::string& path) {
  // The build ran on Linux: under Wine its folders are on drive Z:.
  if (path.empty() || path[0] != '/') return PathFromUtf8(path);
  std::string windows = "Z:" + path;
  for (char& c : windows) {
    if (c == '/') c = '\\';
  }
  return PathFromUtf8(windows);
}

int RunProgram(const fs::path& program, const std::vector<std::string>& arguments,
               const fs::path& output) {
  return quillmend::test::RunChild(program, arguments, output, kRunSeconds).exit_code;
}

void SetEnvironment(const std::string& name, const std::string& value) {
  SetEnvironmentVariableW(Wide(name).c_str(), value.empty() ? nullptr : Wide(value).c_str());
}

std::shared_ptr<void> KeepUnreadable(const fs::path& file) {
  // A file that another program holds open without sharing cannot be opened.
  const HANDLE handle = CreateFileW(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  return Undoing([handle] { CloseHandle(handle); });
}

std::shared_ptr<void> KeepUnwritable(const fs::path&) {
  // That takes a folder ACL, which Wine does not enforce; not attempted here.
  return nullptr;
}

}  // namespace xtview_test
