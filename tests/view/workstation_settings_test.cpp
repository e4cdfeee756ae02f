// Ghostscript's settings on the workstation, through the stand-in: GS_OPTIONS, from the
// environment or from the registry key of the library's release, stops every conversion, and a
// permit that still reaches the staged input fails the view before the document runs.
#include <algorithm>
#include <cstdio>
#include <optional>

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

enum class Where { kEnvironment, kCRuntimeOnly, kUserRegistry, kMachineRegistry };

// Where GS_OPTIONS is set, to what, and how much of it a registry value holds.
struct OptionsCase {
  const char* name;
  Where where;
  std::string value;
  std::optional<std::size_t> data_bytes = std::nullopt;
  // The product the stand-in names: a snapshot build's lies in the family's key.
  const char* product = "Quillmend options test";
};

void PrintTo(const OptionsCase& options, std::ostream* out) {
  *out << options.name;
}

// Longer than any buffer of the plug-in's: Ghostscript reads values of any length.
const std::string kLongOptions = "-dLastPage=1" + std::string(3000, ' ');

const OptionsCase kOptionsCases[] = {
    {"Environment", Where::kEnvironment, "-dLastPage=1"},
    {"LongInTheEnvironment", Where::kEnvironment, kLongOptions},
    {"CRuntimeOnly", Where::kCRuntimeOnly, "-dLastPage=1"},
    {"LongInTheCRuntimeOnly", Where::kCRuntimeOnly, kLongOptions},
    {"UserRegistry", Where::kUserRegistry, "-dLastPage=1"},
    {"LongInTheUserRegistry", Where::kUserRegistry, kLongOptions},
    {"MachineRegistry", Where::kMachineRegistry, "-dLastPage=1"},
    {"LongInTheMachineRegistry", Where::kMachineRegistry, kLongOptions},
    // A string value of no byte, or one, holds not even its terminator.
    {"NoByteInTheRegistry", Where::kUserRegistry, "-dLastPage=1", 0},
    {"OneByteInTheRegistry", Where::kUserRegistry, "-dLastPage=1", 1},
    {"SnapshotBuildsFamily", Where::kUserRegistry, "-dLastPage=1", std::nullopt,
     "Quillmend options test GIT PRERELEASE"},
};

// GS_OPTIONS where the case says, for the scope. In the registry it goes under the key of a
// product name that only this test gives the stand-in, so that it reaches no other program that
// shares the registry.
class ScopedOptions {
 public:
  explicit ScopedOptions(const OptionsCase& options)
      : where_(options.where), product_("QUILLMEND_STANDIN_PRODUCT", std::string(options.product)) {
    switch (where_) {
      case Where::kEnvironment:
        environment_ = std::make_unique<ScopedEnvironment>("GS_OPTIONS", options.value);
        break;
      case Where::kCRuntimeOnly:
        available_ = SetCRuntimeOnlyEnvironment("GS_OPTIONS", options.value);
        break;
      case Where::kUserRegistry:
      case Where::kMachineRegistry:
        available_ =
            SetRegistryValue(Root(), kKey, "GS_OPTIONS", options.value, options.data_bytes);
        break;
    }
  }
  ~ScopedOptions() {
    if (!available_) return;
    if (where_ == Where::kCRuntimeOnly) SetCRuntimeOnlyEnvironment("GS_OPTIONS", std::nullopt);
    if (where_ == Where::kUserRegistry || where_ == Where::kMachineRegistry) {
      SetRegistryValue(Root(), kKey, "GS_OPTIONS", std::nullopt);
    }
  }
  ScopedOptions(const ScopedOptions&) = delete;
  ScopedOptions& operator=(const ScopedOptions&) = delete;

  bool available() const { return available_; }

 private:
  // Ghostscript's key for the product's family and its release 10.0.0, which the stand-in
  // reports.
  static constexpr char kKey[] = "Software\\Quillmend options test\\10.00.0";

  RegistryRoot Root() const {
    return where_ == Where::kMachineRegistry ? RegistryRoot::kMachine : RegistryRoot::kUser;
  }

  Where where_;
  ScopedEnvironment product_;
  bool available_ = true;
  std::unique_ptr<ScopedEnvironment> environment_;
};

class GhostscriptOptionsTest : public ViewTest, public testing::WithParamInterface<OptionsCase> {};

TEST_P(GhostscriptOptionsTest, StartupSaysSoOnceAndEveryViewFailsUntilRemoved) {
  StandinControl standin(folder_.path(), "");
  auto options = std::make_unique<ScopedOptions>(GetParam());
  if (!options->available()) GTEST_SKIP() << "not in this system";
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
  EXPECT_EQ(ReasonLines(), (std::vector<std::u16string>{kOptionsReason, kOptionsReason}));
  EXPECT_EQ(standin.LogLines(), std::vector<std::string>()) << "Ghostscript was started";
  EXPECT_EQ(EntriesOf(temp()), std::vector<std::string>());

  // The setting alone stopped them.
  options.reset();
  EXPECT_EQ(Convert(document), document);
}

INSTANTIATE_TEST_SUITE_P(Sources, GhostscriptOptionsTest, testing::ValuesIn(kOptionsCases),
                         [](const testing::TestParamInfo<OptionsCase>& info) {
                           return std::string(info.param.name);
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
  EXPECT_EQ(AllHostMessages(), FailedWith(kPermitReason));
  EXPECT_EQ(standin.Values("run "), std::vector<std::string>());
  EXPECT_EQ(standin.Values("delete"), std::vector<std::string>{""});
  EXPECT_EQ(EntriesOf(temp()), std::vector<std::string>());
}

}  // namespace
}  // namespace quillmend::test
