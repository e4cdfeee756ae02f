// XT_Init with the real DLL: it is found beside the plug-in, wherever that folder is.
#include <vector>

#include "real_dll.h"
#include "support/sandbox.h"
#include "support/system.h"
#include "support/test_host.h"

namespace quillmend::test {
namespace {

class RealStartup : public testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(RealGhostscriptAvailable()) << kNoRealDll;
    ResetHost();
  }
  TestFolder folder_;
};

TEST_P(RealStartup, FindsTheDllBesideThePluginAndSaysLoaded) {
  const std::filesystem::path plugin_folder = folder_.path() / Utf8Path(GetParam());
  Plugin plugin;
  ASSERT_TRUE(LoadPlugin(plugin_folder, Ghostscript::kReal, &plugin));
  const std::filesystem::path dll = plugin_folder / kGhostscriptFileName;
  EXPECT_FALSE(IsLibraryLoaded(dll)) << "loading the plug-in alone must not load Ghostscript";

  EXPECT_EQ(plugin.Init(2100u << 16, 1, nullptr, nullptr), 2);
  EXPECT_EQ(HostMessages(), std::vector<HostMessage>{kLoaded});
  EXPECT_TRUE(IsLibraryLoaded(dll)) << "the DLL beside the plug-in is the one in use";
}

// The plug-in finds its own folder with the wide module services: a folder name outside the
// ANSI code page must not hide the DLL.
INSTANTIATE_TEST_SUITE_P(Folders, RealStartup,
                         testing::Values("plugin", "Pr\u00fcfung \u0416\u043e\u0440\u0430"),
                         [](const testing::TestParamInfo<const char*>& info) {
                           return info.index == 0 ? std::string("Ascii") : std::string("NonAnsi");
                         });

}  // namespace
}  // namespace quillmend::test
