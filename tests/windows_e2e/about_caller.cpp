// Calls XT_About of the plug-in beside this program, as the host does from its menu, prints what
// the call returned and exits with it. about_window.sh drives the box it shows.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>

int main() {
  std::wstring path(MAX_PATH, L'\0');
  const DWORD length = GetModuleFileNameW(nullptr, path.data(), MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return 100;
  path.resize(path.find_last_of(L'\\', length) + 1);
  HMODULE plugin = LoadLibraryW((path + L"quillmend.dll").c_str());
  if (plugin == nullptr) {
    std::printf("cannot load quillmend.dll (error %lu)\n", GetLastError());
    return 101;
  }
  void* symbol = reinterpret_cast<void*>(GetProcAddress(plugin, "XT_About"));
  if (symbol == nullptr) {
    std::printf("quillmend.dll does not export XT_About\n");
    return 102;
  }
  using AboutFunction = std::int32_t (*)(void*, void*);
  const std::int32_t result = reinterpret_cast<AboutFunction>(symbol)(nullptr, nullptr);
  std::printf("XT_About returned %d\n", static_cast<int>(result));
  return result;
}
