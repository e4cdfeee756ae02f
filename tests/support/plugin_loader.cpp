#include "plugin_loader.h"

#include <gtest/gtest.h>

#include <string>
#include <system_error>

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
  return !RealGhostscriptLibrary().empty();
}

const FaultHooks& LoadedFaultHooks() {
  return loaded_fault_hooks;
}

bool LoadPlugin(const std::filesystem::path& folder, Ghostscript ghostscript, Plugin* plugin,
                PluginBuild build) {
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  const std::filesystem::path copy = folder / kPluginFileName;
  const std::filesystem::path hooked = ExecutableDirectory() / "fault-hooks" / kPluginFileName;
  const bool with_hooks = build == PluginBuild::kFaultHooks && std::filesystem::exists(hooked);
  std::filesystem::copy_file(with_hooks ? hooked : ExecutableDirectory() / kPluginFileName, copy,
                             error);
  if (error) {
    ADD_FAILURE() << "cannot copy the plug-in into " << PathUtf8(folder) << ": " << error.message();
    return false;
  }
  if (ghostscript == Ghostscript::kReal) {
    const std::filesystem::path real = RealGhostscriptLibrary();
    if (real.empty() || !PlaceFile(real, folder / kGhostscriptFileName)) {
      ADD_FAILURE() << "cannot place the real Ghostscript library beside the plug-in";
      return false;
    }
  } else if (ghostscript != Ghostscript::kNone) {
    std::filesystem::copy_file(StandinLibrary(ghostscript), folder / kGhostscriptFileName, error);
    if (error) {
      ADD_FAILURE() << "cannot copy the stand-in: " << error.message();
      return false;
    }
  }
  std::string reason;
  if (!host_emulator::LoadPlugin(copy, plugin, &reason)) {
    ADD_FAILURE() << "cannot load " << PathUtf8(copy) << ": " << reason;
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
