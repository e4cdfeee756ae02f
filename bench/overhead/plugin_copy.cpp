#include "plugin_copy.h"

#include <system_error>

namespace quillmend::bench {

bool LoadPluginCopy(const std::filesystem::path& folder, const std::filesystem::path& plugin_file,
                    const std::filesystem::path& standin_file, Plugin* plugin, Standin* standin,
                    std::string* error) {
  std::error_code code;
  const std::filesystem::path plugin_copy = folder / plugin_file.filename();
  const std::filesystem::path standin_copy = folder / standin_file.filename();
  std::filesystem::copy_file(plugin_file, plugin_copy, code);
  if (!code) std::filesystem::copy_file(standin_file, standin_copy, code);
  if (code) {
    *error = "cannot copy the libraries into " + folder.string() + ": " + code.message();
    return false;
  }
  if (!host_emulator::LoadPlugin(plugin_copy, plugin, error)) return false;
  // The same copy the plug-in loads: the system hands back the library already in the process.
  void* standin_library = host_emulator::LoadLibraryAt(standin_copy, error);
  if (standin_library == nullptr) return false;
  using host_emulator::Bind;
  return Bind(standin_library, "gsapi_new_instance", &standin->NewInstance, error) &&
         Bind(standin_library, "gsapi_set_arg_encoding", &standin->SetArgEncoding, error) &&
         Bind(standin_library, "gsapi_init_with_args", &standin->InitWithArgs, error) &&
         Bind(standin_library, "gsapi_exit", &standin->Exit, error) &&
         Bind(standin_library, "gsapi_delete_instance", &standin->DeleteInstance, error);
}

}  // namespace quillmend::bench
