// XT_Init's outcomes, where Ghostscript is looked for, and XT_About, with a test program that
// exports all three host services.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sha256.h"
#include "support/about_capture.h"
#include "support/plugin_loader.h"
#include "support/sandbox.h"
#include "support/system.h"
#include "support/test_host.h"
#include "support/view_support.h"

namespace quillmend::test {
namespace {

const HostMessage kLoaded{u"Quillmend viewer X-Tension loaded.", 2};
const HostMessage kLoadError{u"[ERROR] Could not load the GhostScript API (gsdll64.dll).", 0};

constexpr char kAboutText[] =
    "Quillmend viewer X-Tension\n"
    "\n"
    "This viewer X-Tension provides a workaround for the 'disappearing fonts during printing' "
    "bug in the original Oracle Outside In Viewer component. The bug was introduced in the "
    "viewer version 8.52 and as of now is still persistent in the latest version (8.53). \n"
    "\n"
    "The X-Tension utilizes the GhostScript API through gsdll64.dll and passes the result of the "
    "following conversion command back to X-Ways:\n"
    "\n"
    "gs -sDEVICE=pdfwrite -dNoOutputFonts -dCompatibilityLevel=1.5 -r150 -dQUIET -dSAFER "
    "-o <output file> <input file>";

std::u16string Utf16(const std::string& ascii) {
  return std::u16string(ascii.begin(), ascii.end());
}

class StartupTest : public testing::Test {
 protected:
  void SetUp() override { ResetHost(); }

  std::int32_t Init(const Plugin& plugin) { return plugin.Init(0x07D00000, 0, nullptr, nullptr); }

  TestFolder folder_;
};

// After the loaded message, one line for the case log names Quillmend's version, the library's
// product and release, the file it was loaded from with that file's SHA-256, the mode and the
// cache: `release` is how the library names itself.
void ExpectWhatConverts(const std::filesystem::path& library, const std::u16string& release) {
  const std::vector<HostMessage> messages = AllHostMessages();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0], kLoaded);
  EXPECT_EQ(messages[1].flags, 0u);
  const std::u16string& line = messages[1].text;
  const std::u16string start =
      u"Quillmend " + Utf16(QUILLMEND_TEST_VERSION) + u" converts with " + release + u" from ";
  ASSERT_EQ(line.rfind(start, 0), 0u) << ToUtf8(line);
  const std::size_t digest_at = line.find(u", SHA-256 ");
  ASSERT_NE(digest_at, std::u16string::npos) << ToUtf8(line);
  const std::filesystem::path named =
      Utf8Path(ToUtf8(line.substr(start.size(), digest_at - start.size())));
  EXPECT_TRUE(std::filesystem::equivalent(named, library)) << ToUtf8(line);
  const std::string bytes = ReadFileBytes(library);
  const std::string digest =
      xtview::Sha256Hex(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  EXPECT_EQ(
      line.substr(digest_at),
      u", SHA-256 " + Utf16(digest) + u"; Ghostscript runs in the host's process; cache 256 MiB.");
}

TEST_F(StartupTest, EverythingBoundSaysLoadedOnceAndAnswersReady) {
  Plugin plugin;
  ASSERT_TRUE(LoadPlugin(folder_.path() / "plugin", Ghostscript::kStandin, &plugin));
  EXPECT_EQ(Init(plugin), 2);
  EXPECT_EQ(HostMessages(), std::vector<HostMessage>{kLoaded});
  ExpectWhatConverts(folder_.path() / "plugin" / kGhostscriptFileName,
                     u"GPL Ghostscript 10.00.0 (revision 10000)");
}

TEST_F(StartupTest, RealGhostscriptBesideThePluginIsAccepted) {
  if (!RealGhostscriptAvailable()) GTEST_SKIP() << "no real Ghostscript library on this machine";
  Plugin plugin;
  ASSERT_TRUE(LoadPlugin(folder_.path() / "plugin", Ghostscript::kReal, &plugin));
  EXPECT_EQ(Init(plugin), 2);
  EXPECT_EQ(HostMessages(), std::vector<HostMessage>{kLoaded});
  const long revision = RealGhostscriptRevision();  // NOLINT(google-runtime-int)
  ExpectWhatConverts(folder_.path() / "plugin" / kGhostscriptFileName,
                     u"GPL Ghostscript " + Utf16(GhostscriptReleaseName(revision)) +
                         u" (revision " + Utf16(std::to_string(revision)) + u")");
}

TEST_F(StartupTest, NoGhostscriptBesideThePluginReportsTheLoadErrorOnce) {
  Plugin plugin;
  ASSERT_TRUE(LoadPlugin(folder_.path() / "plugin", Ghostscript::kNone, &plugin));
  EXPECT_EQ(Init(plugin), -1);
  EXPECT_EQ(HostMessages(), std::vector<HostMessage>{kLoadError});
}

TEST_F(StartupTest, GhostscriptLackingExitIsRejected) {
  Plugin plugin;
  ASSERT_TRUE(LoadPlugin(folder_.path() / "plugin", Ghostscript::kStandinWithoutExit, &plugin));
  EXPECT_EQ(Init(plugin), -1);
  EXPECT_EQ(HostMessages(), std::vector<HostMessage>{kLoadError});

  // The half-bound library must never be driven: a PDF item is not even looked at.
  ExpectViewTouchesNothing(plugin, folder_.path(), HostCallCount());
}

TEST_F(StartupTest, OptionalArgumentEncodingMayBeMissing) {
  Plugin plugin;
  ASSERT_TRUE(LoadPlugin(folder_.path() / "plugin", Ghostscript::kStandinWithoutEncoding, &plugin));
  EXPECT_EQ(Init(plugin), 2);
  EXPECT_EQ(HostMessages(), std::vector<HostMessage>{kLoaded});
}

// A Ghostscript library that the platform's search would find, by the search path and already
// loaded under its name, must not stand in for the missing one beside the plug-in. (Natively the
// stand-in carries Ghostscript's soname, so a bare-name load would return it; Debian's own
// library is on the default search path as well.)
TEST_F(StartupTest, GhostscriptElsewhereIsNotLoaded) {
  const std::filesystem::path elsewhere = StandinLibrary(Ghostscript::kStandin);
  ASSERT_NE(OpenLibrary(elsewhere, false), nullptr) << LastLibraryError();
  const std::string search = PathUtf8(elsewhere.parent_path()) + kPathListSeparator +
                             GetEnvironmentValue(kLibrarySearchVariable).value_or("");
  ScopedEnvironment search_path(kLibrarySearchVariable, search);

  Plugin plugin;
  ASSERT_TRUE(LoadPlugin(folder_.path() / "plugin", Ghostscript::kNone, &plugin));
  EXPECT_EQ(Init(plugin), -1);
  EXPECT_EQ(HostMessages(), std::vector<HostMessage>{kLoadError});
}

// When the plug-in's folder is so long that "<folder>/<Ghostscript's file name>" passes 259 units,
// the bare name goes through the platform's search. Here that search finds the stand-in (on the
// search path, and loaded already under Ghostscript's name), and nothing lies beside the
// plug-in: a working conversion proves which library was loaded.
TEST_F(StartupTest, OverlongPluginFolderLoadsTheBareNameThroughTheSearch) {
  std::filesystem::path folder = folder_.path();
  while (PathUtf8(folder).size() < 300) folder /= std::string(60, 'd');
  ASSERT_GT(PathUtf8(folder / kGhostscriptFileName).size(), 259u);

  const std::filesystem::path standin = StandinLibrary(Ghostscript::kStandin);
  ASSERT_NE(OpenLibrary(standin, false), nullptr) << LastLibraryError();
  const std::string search = PathUtf8(standin.parent_path()) + kPathListSeparator +
                             GetEnvironmentValue(kLibrarySearchVariable).value_or("");
  ScopedEnvironment search_path(kLibrarySearchVariable, search);

  Plugin plugin;
  ASSERT_TRUE(LoadPlugin(folder, Ghostscript::kNone, &plugin));
  ASSERT_EQ(Init(plugin), 2);
  EXPECT_EQ(HostMessages(), std::vector<HostMessage>{kLoaded});

  ScopedTempDirectory temp(folder_.path() / "tmp");
  StandinControl control(folder_.path(), "");
  const std::string document = PdfLikeBytes(300);
  const ViewResult result = ViewItem(plugin, AddItem({document, {}, {}}));
  EXPECT_EQ(BufferBytes(result), document) << "the stand-in copies its input";
  EXPECT_EQ(plugin.ReleaseMem(result.buffer), 1);
  EXPECT_FALSE(control.LogLines().empty()) << "the stand-in was not the library in use";
}

TEST_F(StartupTest, AboutBeforeInitShowsTheTextByteForByte) {
  Plugin plugin;
  ASSERT_TRUE(LoadPlugin(folder_.path() / "plugin", Ghostscript::kNone, &plugin));
  const AboutCapture about = CaptureAbout(plugin);
  if (!about.unavailable.empty()) GTEST_SKIP() << about.unavailable;
  EXPECT_EQ(about.result, 0);
  EXPECT_EQ(about.shown, std::string("About\n\n") + kAboutText + "\n");
  EXPECT_EQ(HostCallCount(), 0);
}

}  // namespace
}  // namespace quillmend::test
