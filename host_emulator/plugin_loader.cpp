#include "plugin_loader.h"

#include <system_error>

namespace quillmend::host_emulator {

namespace {

// What the host passes to XT_Init: its version in the high word and a flag that names the
// forensic edition. The plug-in reads neither.
constexpr std::uint32_t kHostVersion = 2100u << 16;
constexpr std::uint32_t kHostFlags = 1;

}  // namespace

bool LoadPlugin(const std::filesystem::path& path, Plugin* plugin, std::string* error) {
  std::error_code status_error;
  if (!std::filesystem::is_regular_file(path, status_error)) {
    *error = std::filesystem::exists(path, status_error) ? "not a file" : "no such file";
    return false;
  }
  plugin->library = LoadLibraryAt(path, error);
  if (plugin->library == nullptr) return false;
  return Bind(plugin->library, "XT_Init", &plugin->Init, error) &&
         Bind(plugin->library, "XT_About", &plugin->About, error) &&
         Bind(plugin->library, "XT_View", &plugin->View, error) &&
         Bind(plugin->library, "XT_ReleaseMem", &plugin->ReleaseMem, error);
}

std::int32_t StartPlugin(const Plugin& plugin) {
  return plugin.Init(kHostVersion, kHostFlags, nullptr, nullptr);
}

}  // namespace quillmend::host_emulator
