// The common frame of the view tests: a fresh folder, a scratch temporary directory inside it,
// and a plug-in that has started with the chosen Ghostscript.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "plugin_loader.h"
#include "sandbox.h"
#include "system.h"
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

  // Ready, with the plug-in's cache sized `cache_mib` MiB (QUILLMEND_CACHE_MB while it starts;
  // "0" turns it off).
  bool ReadyWithCache(const char* cache_mib, Ghostscript ghostscript = Ghostscript::kStandin,
                      PluginBuild build = PluginBuild::kShipped) {
    ScopedEnvironment budget("QUILLMEND_CACHE_MB", std::string(cache_mib));
    return Ready(ghostscript, build);
  }

  // Ready in the separate-process mode: QUILLMEND_ISOLATION=process and `settings` (name and
  // value) while it starts, with the worker beside the plug-in.
  bool ReadyIsolated(Ghostscript ghostscript,
                     const std::vector<std::pair<const char*, std::string>>& settings = {}) {
    std::error_code error;
    std::filesystem::create_directories(plugin_folder(), error);
    if (!error) {
      std::filesystem::copy_file(ExecutableDirectory() / kWorkerFileName,
                                 plugin_folder() / kWorkerFileName, error);
    }
    if (error) {
      ADD_FAILURE() << "cannot place the worker: " << error.message();
      return false;
    }
    ScopedEnvironment mode("QUILLMEND_ISOLATION", std::string("process"));
    std::vector<std::unique_ptr<ScopedEnvironment>> set;
    for (const auto& [name, value] : settings) {
      set.push_back(std::make_unique<ScopedEnvironment>(name, value));
    }
    return Ready(ghostscript);
  }

  // The folder the plug-in is loaded from, with Ghostscript and the worker beside it.
  std::filesystem::path plugin_folder() const { return folder_.path() / "plugin"; }

  // One view of `document`: the document that came back, or empty when none did. The result size
  // must be its length, and the buffer has been given back through XT_ReleaseMem.
  std::string Convert(const std::string& document) {
    const ViewResult result = ViewItem(plugin_, AddItem({document, {}, {}}));
    const std::string bytes = BufferBytes(result);
    EXPECT_EQ(result.size, static_cast<std::int64_t>(bytes.size()));
    EXPECT_EQ(plugin_.ReleaseMem(result.buffer), result.buffer == nullptr ? 0 : 1);
    return bytes;
  }

  const std::filesystem::path& temp() const { return temp_path_; }

  TestFolder folder_;
  std::filesystem::path temp_path_ = folder_.path() / "tmp";
  ScopedTempDirectory temp_directory_{temp_path_};
  Plugin plugin_;
};

}  // namespace quillmend::test
