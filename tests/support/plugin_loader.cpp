#include "plugin_loader.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "staging.h"
#include "system.h"

namespace quillmend::test {

namespace {

const char* StandinName(Ghostscript variant) {
  switch (variant) {
    case Ghostscript::kStandinWithoutExit:
      return "standin_gs_without_exit";
    case Ghostscript::kStandinWithoutEncoding:
      return "standin_gs_without_encoding";
    case Ghostscript::kStandinWithoutControlPaths:
      return "standin_gs_without_control_paths";
    case Ghostscript::kStandinWithoutGetParam:
      return "standin_gs_without_get_param";
    default:
      return "standin_gs";
  }
}

FaultHooks loaded_fault_hooks;

}  // namespace

std::filesystem::path StandinLibrary(Ghostscript variant) {
  return ExecutableDirectory() / "standin" / StandinName(variant) / kGhostscriptFileName;
}

bool RealGhostscriptAvailable() {
  if (!RealGhostscriptLibrary().empty()) return true;
  // A release named for the tests must be there: its tests may not pass as skipped. The failure
  // is fatal, so that a test that would skip runs no further either.
  const std::optional<std::string> release = GetEnvironmentValue(kRealGhostscriptReleaseVariable);
  if (release && !release->empty()) {
    [&] {
      FAIL() << "no library of the Ghostscript release " << *release << " in bin/real-gs-"
             << *release << "/ (QUILLMEND_SECOND_GHOSTSCRIPT)";
    }();
  }
  return false;
}

const FaultHooks& LoadedFaultHooks() {
  return loaded_fault_hooks;
}

bool LoadPlugin(const std::filesystem::path& folder, Ghostscript ghostscript, Plugin* plugin,
                PluginBuild build) {
  const std::filesystem::path hooked = ExecutableDirectory() / "fault-hooks" / kPluginFileName;
  const bool with_hooks = build == PluginBuild::kFaultHooks && std::filesystem::exists(hooked);
  const bool standin = ghostscript != Ghostscript::kNone && ghostscript != Ghostscript::kReal;
  std::string reason;
  if (!StagePlugin(folder, with_hooks ? hooked : ExecutableDirectory() / kPluginFileName,
                   standin ? StandinLibrary(ghostscript) : std::filesystem::path(), plugin,
                   &reason)) {
    ADD_FAILURE() << reason;
    return false;
  }
  const std::filesystem::path real = RealGhostscriptLibrary();
  if (ghostscript == Ghostscript::kReal &&
      (real.empty() || !PlaceFile(real, folder / kGhostscriptFileName))) {
    ADD_FAILURE() << "cannot place the real Ghostscript library beside the plug-in";
    return false;
  }
  if (!with_hooks) return true;
  loaded_fault_hooks = {};
  using host_emulator::Bind;
  if (Bind(plugin->library, "QuillmendFailSystemCall", &loaded_fault_hooks.FailSystemCall,
           &reason) &&
      Bind(plugin->library, "QuillmendSystemCallCount", &loaded_fault_hooks.SystemCallCount,
           &reason) &&
      Bind(plugin->library, "QuillmendBlocksHeld", &loaded_fault_hooks.BlocksHeld, &reason)) {
    return true;
  }
  ADD_FAILURE() << "the test build of the plug-in: " << reason;
  return false;
}

bool LoadReadyPlugin(const std::filesystem::path& folder, Ghostscript ghostscript, Plugin* plugin,
                     PluginBuild build) {
  if (!LoadPlugin(folder, ghostscript, plugin, build)) return false;
  const std::int32_t result = host_emulator::StartPlugin(*plugin);
  if (result != 2) ADD_FAILURE() << "XT_Init answered " << result << ", not 2";
  return result == 2;
}

}  // namespace quillmend::test
