#include "staging.h"

#include <system_error>

namespace quillmend::test {

namespace {

std::string Utf8(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

}  // namespace

bool StagePlugin(const std::filesystem::path& folder, const std::filesystem::path& plugin_file,
                 const std::filesystem::path& ghostscript_file, host_emulator::Plugin* plugin,
                 std::string* error) {
  namespace fs = std::filesystem;
  std::error_code code;
  fs::create_directories(folder, code);
  const fs::path copy = folder / host_emulator::kPluginFileName;
  if (!code) fs::copy_file(plugin_file, copy, code);
  if (!code && !ghostscript_file.empty()) {
    fs::copy_file(ghostscript_file, folder / QUILLMEND_GHOSTSCRIPT_LIBRARY, code);
  }
  if (code) {
    *error = "cannot stage the plug-in in " + Utf8(folder) + ": " + code.message();
    return false;
  }
  std::string reason;
  if (host_emulator::LoadPlugin(copy, plugin, &reason)) return true;
  *error = "cannot load " + Utf8(copy) + ": " + reason;
  return false;
}

int CountEntries(const std::filesystem::path& directory, std::string* first) {
  std::error_code error;
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(directory, error)) {
    if (count++ == 0 && first != nullptr) *first = Utf8(entry.path().filename());
  }
  return error ? -1 : count;
}

int OpenDescriptors() {
  return CountEntries("/proc/self/fd");
}

}  // namespace quillmend::test
