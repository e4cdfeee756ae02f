// Loads the built plug-in the way the host does: from a fresh folder that holds a copy of it and,
// as the test chooses, nothing else, a stand-in Ghostscript or the real one.
#pragma once

#include <filesystem>

#include "host_emulator/plugin_loader.h"

namespace quillmend::test {

using host_emulator::Plugin;

enum class PluginBuild {
  kShipped,
  // On Windows the test build, whose Win32 calls can be made to fail (FaultHooks); elsewhere the
  // shipped one, whose system calls the test program itself can make fail.
  kFaultHooks,
};

// The test build's controls, of the copy loaded last with PluginBuild::kFaultHooks; all null
// where there is no such build.
struct FaultHooks {
  // Calls number `first` to `first + times - 1` of `call` fail with `error` (a negative `times`:
  // every call from `first` on); a null `call` clears every plan and count.
  bool (*FailSystemCall)(const char* call, long first, long times, unsigned long error) = nullptr;
  long (*SystemCallCount)(const char* call) = nullptr;
  // Heap blocks the plug-in holds, the ones it handed to the host included.
  long (*BlocksHeld)() = nullptr;
};
const FaultHooks& LoadedFaultHooks();

enum class Ghostscript {
  kNone,
  kStandin,                     // bin/standin/standin_gs
  kStandinWithoutExit,          // lacks gsapi_exit
  kStandinWithoutEncoding,      // lacks gsapi_set_arg_encoding
  kStandinWithoutControlPaths,  // lacks gsapi_remove_control_path
  kStandinWithoutGetParam,      // lacks gsapi_get_param
  kReal,                        // Debian's libgs.so.10, or bin/real-gs/gsdll64.dll on Windows
};

// The built stand-in variant's library file (bin/standin/<variant>/<Ghostscript's file name>).
std::filesystem::path StandinLibrary(Ghostscript variant);

// True when the real Ghostscript library is there to be placed beside the plug-in.
// A test failure besides when a release named for the tests has no library.
bool RealGhostscriptAvailable();

// Copies the plug-in into `folder` (created if need be), places the chosen Ghostscript beside it,
// loads the copy by its full path and resolves the four entry points. Each call loads a fresh
// copy, so no state carries over from an earlier load. Records a test failure and returns false
// when any step fails.
bool LoadPlugin(const std::filesystem::path& folder, Ghostscript ghostscript, Plugin* plugin,
                PluginBuild build = PluginBuild::kShipped);

// LoadPlugin, then XT_Init as the host calls it, which must answer 2.
bool LoadReadyPlugin(const std::filesystem::path& folder, Ghostscript ghostscript, Plugin* plugin,
                     PluginBuild build = PluginBuild::kShipped);

}  // namespace quillmend::test
