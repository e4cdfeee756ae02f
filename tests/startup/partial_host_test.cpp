// XT_Init in a main program that is not a complete host: it exports none or only two of the
// three services, while a library loaded globally exports all three. The plug-in must take
// services from the main program only, so it answers -1 and reports nothing anywhere.
#include <gtest/gtest.h>

#include "support/plugin_loader.h"
#include "support/sandbox.h"
#include "support/system.h"
#include "support/test_host.h"
#include "support/view_support.h"

namespace quillmend::test {
namespace {

using DecoyCallCount = int (*)();

TEST(PartialHost, InitFailsSilentlyAndTakesNothingFromOtherLibraries) {
  ResetHost();
  TestFolder folder;
  void* decoy = OpenLibrary(ExecutableDirectory() / QUILLMEND_TEST_DECOY_FILE, true);
  ASSERT_NE(decoy, nullptr) << LastLibraryError();
  const auto decoy_calls =
      reinterpret_cast<DecoyCallCount>(host_emulator::FindSymbol(decoy, "DecoyHostCallCount"));
  ASSERT_NE(decoy_calls, nullptr);

  Plugin plugin;
  ASSERT_TRUE(LoadPlugin(folder.path() / "plugin", Ghostscript::kStandin, &plugin));
  EXPECT_EQ(plugin.Init(0, 0, nullptr, nullptr), -1);
  EXPECT_EQ(HostCallCount(), 0);
  EXPECT_EQ(decoy_calls(), 0);
  // Without a host there is nothing to report to, so Ghostscript is not even looked for.
  EXPECT_FALSE(IsLibraryLoaded(folder.path() / "plugin" / kGhostscriptFileName));

  // Nor does a view call touch any service, the decoy's included.
  ExpectViewTouchesNothing(plugin, folder.path(), 0);
  EXPECT_EQ(decoy_calls(), 0);
}

}  // namespace
}  // namespace quillmend::test
