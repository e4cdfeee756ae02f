#include "ghostscript.h"

#include <cstddef>
#include <cstdio>

#include "platform/platform.h"

namespace quillmend {

GhostscriptApi GsApi = {};

namespace {

// The library LoadGsApi loaded; written only by XT_Init.
void* loaded_library = nullptr;

std::size_t Length(const char16_t* text) {
  std::size_t length = 0;
  while (text[length] != u'\0') ++length;
  return length;
}

void CopyBareName(char16_t* path) {
  std::size_t i = 0;
  for (; os::kGhostscriptLibraryName[i] != u'\0'; ++i) path[i] = os::kGhostscriptLibraryName[i];
  path[i] = u'\0';
}

template <typename Function>
void Bind(Function& field, void* library, const char* name) {
  field = reinterpret_cast<Function>(os::FindLibrarySymbol(library, name));
}

}  // namespace

bool FormPathBesideThisModule(const char16_t* name, char16_t* path) {
  if (!os::GetOwnModulePath(path, os::kPathCapacity)) return false;
  if (!os::RemoveLastPathComponent(path)) return false;
  const std::size_t directory = Length(path);
  const std::size_t length = Length(name);
  if (directory + 1 + length + 1 > os::kPathCapacity) return false;
  path[directory] = os::kDirectorySeparator;
  for (std::size_t i = 0; i <= length; ++i) path[directory + 1 + i] = name[i];
  return true;
}

bool LoadGsApi() {
  // Only the copy beside the plug-in is wanted: when that path can be formed it is the one and
  // only attempt. The platform's search decides only when no such path can be formed.
  char16_t path[os::kPathCapacity];
  if (!FormPathBesideThisModule(os::kGhostscriptLibraryName, path)) CopyBareName(path);

  void* library = os::LoadLibraryFile(path);
  if (library == nullptr) return false;
  loaded_library = library;

  Bind(GsApi.NewInstance, library, "gsapi_new_instance");
  Bind(GsApi.InitWithArgs, library, "gsapi_init_with_args");
  Bind(GsApi.Exit, library, "gsapi_exit");
  Bind(GsApi.DeleteInstance, library, "gsapi_delete_instance");
  Bind(GsApi.SetArgEncoding, library, "gsapi_set_arg_encoding");
  Bind(GsApi.RemoveControlPath, library, "gsapi_remove_control_path");
  Bind(GsApi.RunFile, library, "gsapi_run_file");
  Bind(GsApi.RunString, library, "gsapi_run_string");
  Bind(GsApi.GetParam, library, "gsapi_get_param");
  Bind(GsApi.SetStdio, library, "gsapi_set_stdio");
  Bind(GsApi.Revision, library, "gsapi_revision");
  return GsApiIsBound();
}

bool FormReleaseName(long revision, char* name,  // NOLINT(google-runtime-int)
                     std::size_t capacity) {
  int written = 0;
  if (revision >= 9530) {
    written = std::snprintf(name, capacity, "%ld.%02ld.%ld", revision / 1000, revision % 1000 / 10,
                            revision % 10);
  } else {
    written = std::snprintf(name, capacity, "%ld.%02ld", revision / 100, revision % 100);
  }
  return written > 0 && static_cast<std::size_t>(written) < capacity;
}

bool GetGhostscriptLibraryPath(char16_t* path) {
  return loaded_library != nullptr && os::GetLibraryPath(loaded_library, path, os::kPathCapacity);
}

bool GsApiIsBound() {
  return GsApi.NewInstance != nullptr && GsApi.InitWithArgs != nullptr && GsApi.Exit != nullptr &&
         GsApi.DeleteInstance != nullptr;
}

}  // namespace quillmend
