// The plug-in as the host loads it: a library file, loaded by its full path, and its four entry
// points.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "plugin/quillmend.h"

namespace quillmend::host_emulator {

// The plug-in's file name on this platform: quillmend.dll or quillmend.so.
extern const char kPluginFileName[];

// The folder that holds the running program, where its plug-in lies unless it is given another;
// empty when it cannot be found.
std::filesystem::path ProgramFolder();

struct Plugin {
  void* library = nullptr;
  decltype(&XT_Init) Init = nullptr;
  decltype(&XT_About) About = nullptr;
  decltype(&XT_View) View = nullptr;
  decltype(&XT_ReleaseMem) ReleaseMem = nullptr;
};

// XT_Init's answer when the plug-in may be called from several threads at once.
inline constexpr std::int32_t kReadyForThreads = 2;

// Loads the library and binds the four entry points; false with the reason in `error`. The
// library stays loaded for the life of the process, as in the host.
bool LoadPlugin(const std::filesystem::path& path, Plugin* plugin, std::string* error);

// Calls XT_Init as the host does at start-up.
std::int32_t StartPlugin(const Plugin& plugin);

// Loads any library by its full path as the host loads the plug-in (its symbols kept to itself);
// null on failure, with the system's reason in `error`.
void* LoadLibraryAt(const std::filesystem::path& path, std::string* error);
void* FindSymbol(void* library, const char* name);

// The system's text for an error number (errno on POSIX, GetLastError() on Windows), without a
// trailing full stop or line end.
std::string SystemErrorText(unsigned long code);

// Binds `name` from `library` to `function`; false with the reason in `error`.
template <typename Function>
bool Bind(void* library, const char* name, Function* function, std::string* error) {
  *function = reinterpret_cast<Function>(FindSymbol(library, name));
  if (*function == nullptr) *error = std::string("it does not export ") + name;
  return *function != nullptr;
}

}  // namespace quillmend::host_emulator
