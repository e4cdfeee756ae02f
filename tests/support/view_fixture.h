// The common frame of the view tests: a fresh folder, a scratch temporary directory inside it,
// and a plug-in that has started with the chosen Ghostscript.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "plugin_loader.h"
#include "sandbox.h"
#include "test_host.h"
#include "view_support.h"

namespace quillmend::test {

inline const HostMessage kConversionFailed{u"[ERROR] GhostScript conversion failed.", 2};

class ViewTest : public testing::Test {
 protected:
  // Loads the plug-in and runs XT_Init; afterwards the host has seen nothing of the start-up,
  // so every call and message it records belongs to the view path.
  bool Ready(Ghostscript ghostscript, PluginBuild build = PluginBuild::kShipped) {
    if (!LoadReadyPlugin(folder_.path() / "plugin", ghostscript, &plugin_, build)) return false;
    ResetHost();
    return true;
  }

  const std::filesystem::path& temp() const { return temp_path_; }

  TestFolder folder_;
  std::filesystem::path temp_path_ = folder_.path() / "tmp";
  ScopedTempDirectory temp_directory_{temp_path_};
  Plugin plugin_;
};

}  // namespace quillmend::test
