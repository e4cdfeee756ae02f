// Ghostscript's settings on the workstation, through the stand-in: GS_OPTIONS, from the
// environment or from the registry key of the library's release, stops every conversion, and a
// permit that still reaches the staged input fails the view before the document runs.
#include <algorithm>
#include <cstdio>

#include "support/system.h"
#include "support/view_fixture.h"

namespace quillmend::test {
namespace {

const HostMessage kLoaded{u"Quillmend viewer X-Tension loaded.", 2};
const HostMessage kOptionsSet{
    u"[ERROR] GS_OPTIONS is set on this workstation (as an environment variable, or in the "
    u"registry for this Ghostscript release). Ghostscript would add those options to every "
    u"conversion, for instance leaving out pages, so PDF items are not converted until it is "
    u"removed.",
    2};

enum class Where { kEnvironment, kRegistry };

// GS_OPTIONS where the parameter says, for the scope. In the registry it goes under the key of a
// product name that only this test gives the stand-in, so that it reaches no other program that
// shares the registry.
class ScopedOptions {
 public:
  ScopedOptions(Where where, const std::string& options) : where_(where) {
    if (where == Where::kEnvironment) {
      environment_ = std::make_unique<ScopedEnvironment>("GS_OPTIONS", options);
    } else {
      available_ = SetUserRegistryValue(kKey, "GS_OPTIONS", options);
    }
  }
  ~ScopedOptions() {
    if (where_ == Where::kRegistry && available_) SetUserRegistryValue(kKey, "GS_OPTIONS", {});
  }
  ScopedOptions(const ScopedOptions&) = delete;
  ScopedOptions& operator=(const ScopedOptions&) = delete;

  bool available() const { return available_; }

 private:
  // Ghostscript's key for the product and its release 10.0.0, which the stand-in reports.
  static constexpr char kProduct[] = "Quillmend options test";
  static constexpr char kKey[] = "Software\\Quillmend options test\\10.00.0";

  ScopedEnvironment product_{"QUILLMEND_STANDIN_PRODUCT", std::string(kProduct)};
  Where where_;
  bool available_ = true;
  std::unique_ptr<ScopedEnvironment> environment_;
};

class GhostscriptOptionsTest : public ViewTest, public testing::WithParamInterface<Where> {};

TEST_P(GhostscriptOptionsTest, StartupSaysSoOnceAndEveryViewFailsUntilRemoved) {
  StandinControl standin(folder_.path(), "");
  auto options = std::make_unique<ScopedOptions>(GetParam(), "-dLastPage=1");
  if (!options->available()) GTEST_SKIP() << "no registry here";
  ResetHost();
  ASSERT_TRUE(LoadReadyPlugin(folder_.path() / "plugin", Ghostscript::kStandin, &plugin_));
  EXPECT_EQ(HostMessages(), (std::vector<HostMessage>{kLoaded, kOptionsSet}));

  ResetHost();
  const std::string document = PdfLikeBytes(400);
  for (int view = 0; view < 2; ++view) {
    const ViewResult result = ViewItem(plugin_, AddItem({document, {}, {}}));
    EXPECT_EQ(result.buffer, nullptr);
    EXPECT_EQ(result.size, -2);
  }
  EXPECT_EQ(HostMessages(), (std::vector<HostMessage>{kConversionFailed, kConversionFailed}));
  EXPECT_EQ(standin.LogLines(), std::vector<std::string>()) << "Ghostscript was started";
  EXPECT_EQ(EntriesOf(temp()), std::vector<std::string>());

  // The setting alone stopped them.
  options.reset();
  EXPECT_EQ(Convert(document), document);
}

INSTANTIATE_TEST_SUITE_P(Sources, GhostscriptOptionsTest,
                         testing::Values(Where::kEnvironment, Where::kRegistry),
                         [](const testing::TestParamInfo<Where>& info) {
                           return info.param == Where::kEnvironment ? "Environment" : "Registry";
                         });

class ConfinementCheckTest : public ViewTest {
 protected:
  void SetUp() override { ASSERT_TRUE(Ready(Ghostscript::kStandin)); }
};

// The interpreter is asked, after the withdrawal and before the document runs, whether the
// document could read its own staged file, by the very name it will run under.
TEST_F(ConfinementCheckTest, AsksAfterTheWithdrawalByTheInputsOwnName) {
  StandinControl standin(folder_.path(), "");
  ASSERT_EQ(Convert(PdfLikeBytes(400)).size(), 400u);
  const std::vector<std::string> log = standin.LogLines();
  const auto first = [&log](const char* prefix) {
    return std::find_if(log.begin(), log.end(),
                        [prefix](const std::string& line) { return line.rfind(prefix, 0) == 0; });
  };
  const auto asked = first("string ");
  const auto run = first("run ");
  ASSERT_NE(asked, log.end());
  ASSERT_NE(run, log.end());
  EXPECT_EQ(std::find_if(asked, log.end(),
                         [](const std::string& line) { return line.rfind("remove ", 0) == 0; }),
            log.end())
      << "a permit was withdrawn after the check";
  EXPECT_LT(asked, run);

  // The name as a PostScript hex string, two digits a byte.
  std::string name;
  for (const char c : run->substr(4)) {
    char digits[3];
    std::snprintf(digits, sizeof(digits), "%02X", static_cast<unsigned char>(c));
    name += digits;
  }
  EXPECT_EQ(asked->substr(7), "<" + name + "> status { pop pop pop pop quit } if");
}

TEST_F(ConfinementCheckTest, AReadableInputFailsTheViewBeforeTheDocumentRuns) {
  StandinControl standin(folder_.path(), "input-readable");
  const ViewResult result = ViewItem(plugin_, AddItem({PdfLikeBytes(400), {}, {}}));
  EXPECT_EQ(result.buffer, nullptr);
  EXPECT_EQ(result.size, -2);
  EXPECT_EQ(HostMessages(), std::vector<HostMessage>{kConversionFailed});
  EXPECT_EQ(standin.Values("run "), std::vector<std::string>());
  EXPECT_EQ(standin.Values("delete"), std::vector<std::string>{""});
  EXPECT_EQ(EntriesOf(temp()), std::vector<std::string>());
}

}  // namespace
}  // namespace quillmend::test
