#include "plugin_copy.h"

#include <dlfcn.h>

#include <system_error>

namespace quillmend::bench {

namespace {

template <typename Function>
bool Bind(void* library, const char* name, Function* function, std::string* error) {
  *function = reinterpret_cast<Function>(dlsym(library, name));
  if (*function == nullptr) *error = std::string("no symbol ") + name;
  return *function != nullptr;
}

void* Open(const std::filesystem::path& file, std::string* error) {
  void* library = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) *error = dlerror();
  return library;
}

}  // namespace

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
  void* plugin_library = Open(plugin_copy, error);
  if (plugin_library == nullptr) return false;
  // The same copy the plug-in loads: dlopen hands back the library already in the process.
  void* standin_library = Open(standin_copy, error);
  if (standin_library == nullptr) return false;
  return Bind(plugin_library, "XT_Init", &plugin->Init, error) &&
         Bind(plugin_library, "XT_View", &plugin->View, error) &&
         Bind(plugin_library, "XT_ReleaseMem", &plugin->ReleaseMem, error) &&
         Bind(standin_library, "gsapi_new_instance", &standin->NewInstance, error) &&
         Bind(standin_library, "gsapi_set_arg_encoding", &standin->SetArgEncoding, error) &&
         Bind(standin_library, "gsapi_init_with_args", &standin->InitWithArgs, error) &&
         Bind(standin_library, "gsapi_exit", &standin->Exit, error) &&
         Bind(standin_library, "gsapi_delete_instance", &standin->DeleteInstance, error);
}

}  // namespace quillmend::bench
