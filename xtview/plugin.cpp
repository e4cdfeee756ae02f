#include "plugin.h"

#include "system.h"

namespace xtview {

namespace {

// What the host passes to XT_Init: its version in the high word and a flag that names the
// forensic edition. The plug-in reads neither.
constexpr std::uint32_t kHostVersion = 2100u << 16;
constexpr std::uint32_t kHostFlags = 1;

template <typename Function>
bool Bind(void* library, const char* name, Function* function, std::string* error) {
  *function = reinterpret_cast<Function>(sys::FindSymbol(library, name));
  if (*function == nullptr) *error = std::string("it does not export ") + name;
  return *function != nullptr;
}

}  // namespace

bool LoadPlugin(const std::filesystem::path& path, Plugin* plugin, std::string* error) {
  std::error_code status_error;
  if (!std::filesystem::is_regular_file(path, status_error)) {
    *error = std::filesystem::exists(path, status_error) ? "not a file" : "no such file";
    return false;
  }
  void* library = sys::LoadLibraryAt(path, error);
  if (library == nullptr) return false;
  // The library stays loaded for the life of the process, as in the host.
  return Bind(library, "XT_Init", &plugin->Init, error) &&
         Bind(library, "XT_About", &plugin->About, error) &&
         Bind(library, "XT_View", &plugin->View, error) &&
         Bind(library, "XT_ReleaseMem", &plugin->ReleaseMem, error);
}

std::int32_t StartPlugin(const Plugin& plugin) {
  return plugin.Init(kHostVersion, kHostFlags, nullptr, nullptr);
}

}  // namespace xtview
