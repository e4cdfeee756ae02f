// The separate-process mode with the stand-in: whatever Ghostscript does in the worker, the test
// program (the host) survives, the view fails with the one message, nothing is left on disk and
// no process of the run is left.
#include <algorithm>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "support/sandbox.h"
#include "support/system.h"
#include "support/view_fixture.h"

namespace quillmend::test {
namespace {

const HostMessage kLoaded{u"Quillmend viewer X-Tension loaded.", 2};

class IsolationTest : public ViewTest {
 protected:
  // One view in the separate-process mode with the stand-in doing what `words` say: -2, the one
  // message, an empty temporary directory, and neither the worker nor anything it started still
  // running. The stand-in's log.
  // The plug-in must be ReadyIsolated.
  // `reason`, when given, is the reason line that must follow the message.
  std::vector<std::string> ViewFails(const std::string& words,
                                     const std::optional<std::u16string>& reason) {
    std::filesystem::remove(folder_.path() / "standin.log");
    StandinControl standin(folder_.path(), words);
    EXPECT_TRUE(standin.AlsoFor(plugin_folder()));
    const ViewResult result = ViewItem(plugin_, AddItem({PdfLikeBytes(400), {}, {}}));
    EXPECT_EQ(result.size, -2) << words;
    EXPECT_EQ(result.buffer, nullptr) << words;
    EXPECT_EQ(HostMessages(), std::vector<HostMessage>{kConversionFailed}) << words;
    if (reason) {
      EXPECT_EQ(AllHostMessages(), FailedWith(*reason)) << words;
    }
    EXPECT_EQ(EntriesOf(temp()), std::vector<std::string>()) << words;
    const std::vector<std::string> workers = standin.Values("pid ");
    EXPECT_EQ(workers.size(), 1u) << words << ": the worker never ran the document";
    std::vector<std::string> processes = workers;
    for (const std::string& spawned : standin.Values("spawned ")) processes.push_back(spawned);
    for (const std::string& id : processes) {
      EXPECT_FALSE(ProcessIsAlive(std::stol(id))) << words << ": process " << id << " runs on";
    }
    return standin.LogLines();
  }
};

TEST_F(IsolationTest, CrashAbortAndNoEndEndTheWorkerNotTheHost) {
  ASSERT_TRUE(ReadyIsolated(Ghostscript::kStandin, {{"QUILLMEND_TIME_LIMIT_S", "1"}}));
  // Wine may start its debugger on a crash, which then holds the worker until the time limit
  // ends it: there the reason is not checked.
  for (const char* words : {"crash", "abort"}) {
    ViewFails(words, UnderWine() ? std::nullopt : std::optional(kCrashedReason));
    ResetHost();
  }
  for (const char* words : {"loop", "hang"}) {
    ViewFails(words, TimeLimitReason(1));
    ResetHost();
  }
}

// The output is ended at its limit: RLIMIT_FSIZE natively, the size watched between the wait's
// slices on Windows. The stand-in gives up by itself after 256 MiB. An output that grows past
// the limit only as the worker ends, as pdfwrite writes at its close, is looked at once more
// before anything is read. Scratch files, each within the limit, are bounded together with the
// output: the stand-in gives up by itself after 128 MiB.
TEST_F(IsolationTest, OutputAndScratchFilesStopAtTheirLimit) {
  ASSERT_TRUE(ReadyIsolated(Ghostscript::kStandin, {{"QUILLMEND_OUTPUT_LIMIT_MB", "1"}}));
  std::vector<std::string> log = ViewFails("flood", OutputLimitReason(1));
  EXPECT_EQ(std::count(log.begin(), log.end(), "flood never refused"), 0);
  ResetHost();
  ViewFails("late-output", OutputLimitReason(1));
  ResetHost();
  log = ViewFails("scratch-flood", OutputLimitReason(1));
  EXPECT_EQ(std::count(log.begin(), log.end(), "scratch never refused"), 0);
}

// The hog's refusal after at most `limit_mib` MiB, where the system enforces the bound. Wine
// does not enforce a job's memory limit: there the view still fails at the hog's own end, and
// the bound itself is not checked.
void ExpectHogRefusedWithin(const StandinControl& log, long limit_mib) {
  if (UnderWine()) {
    std::cout << "Wine does not enforce the job's memory limit: not checked here\n";
    return;
  }
  const std::vector<std::string> refused = log.Values("hog refused after ");
  ASSERT_EQ(refused.size(), 1u) << testing::PrintToString(log.LogLines());
  EXPECT_LE(std::stol(refused[0].substr(0, refused[0].find(' '))), limit_mib);
}

TEST_F(IsolationTest, MemoryWithoutEndIsRefusedAtItsLimit) {
  ASSERT_TRUE(ReadyIsolated(Ghostscript::kStandin, {{"QUILLMEND_MEMORY_LIMIT_MB", "512"}}));
  // Ghostscript tells of the memory it could not have on its console; under Wine nothing refuses.
  ViewFails("hog", UnderWine() ? kUnknownReason : MemoryLimitReason(512));
  ExpectHogRefusedWithin(StandinControl(folder_.path(), ""), 512);
}

// The worker can start nothing. Wine does not enforce a job's limit of one active process: there
// whatever it started must still be gone with it (ViewFails), and the refusal is not checked.
TEST_F(IsolationTest, TheWorkerCannotStartAProcess) {
  ASSERT_TRUE(ReadyIsolated(Ghostscript::kStandin));
  const std::vector<std::string> log = ViewFails("spawn", kUnknownReason);
  if (UnderWine()) {
    std::cout << "Wine does not enforce the job's active process limit: not checked here\n";
    return;
  }
  EXPECT_EQ(std::count(log.begin(), log.end(), "spawn refused"), 1) << testing::PrintToString(log);
}

// The mode asked for but no worker to run: XT_Init says so, and every view fails rather than
// convert in the host's process.
TEST_F(IsolationTest, WithoutTheWorkerStartSaysSoAndEveryViewFails) {
  ScopedEnvironment mode("QUILLMEND_ISOLATION", std::string("process"));
  ASSERT_TRUE(LoadPlugin(plugin_folder(), Ghostscript::kStandin, &plugin_));
  ResetHost();
  EXPECT_EQ(host_emulator::StartPlugin(plugin_), 2);
  const std::vector<HostMessage> messages = HostMessages();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0], kLoaded);
  EXPECT_EQ(messages[1].text.rfind(u"[ERROR] QUILLMEND_ISOLATION=process, but the conversion "
                                   u"worker",
                                   0),
            0u);
  StandinControl standin(folder_.path(), "");
  for (int view = 0; view < 2; ++view) {
    ResetHost();
    const ViewResult result = ViewItem(plugin_, AddItem({PdfLikeBytes(400), {}, {}}));
    EXPECT_EQ(result.size, -2);
    EXPECT_EQ(AllHostMessages(), FailedWith(kWorkerUnavailableReason));
  }
  EXPECT_EQ(standin.Values("run ").size(), 0u) << "converted in the host's process";
  EXPECT_EQ(EntriesOf(temp()), std::vector<std::string>());
}

// Unusable values are reported at start-up and leave their defaults: the memory limit's, 2 GiB,
// shows in the stand-in's refusal.
TEST_F(IsolationTest, UnusableSettingsWarnAndKeepTheirDefaults) {
  ASSERT_TRUE(
      ReadyIsolated(Ghostscript::kStandin, {{"QUILLMEND_TIME_LIMIT_S", "0"},
                                            {"QUILLMEND_MEMORY_LIMIT_MB", "99999999999999999999"},
                                            {"QUILLMEND_OUTPUT_LIMIT_MB", "4097"}}));
  ViewFails("hog", UnderWine() ? kUnknownReason : MemoryLimitReason(2048));
  ExpectHogRefusedWithin(StandinControl(folder_.path(), ""), 2048);

  ScopedEnvironment mode("QUILLMEND_ISOLATION", std::string("separate"));
  ScopedEnvironment time("QUILLMEND_TIME_LIMIT_S", std::string("2m"));
  ScopedEnvironment memory("QUILLMEND_MEMORY_LIMIT_MB", std::string("-1"));
  ScopedEnvironment output("QUILLMEND_OUTPUT_LIMIT_MB", std::string("0"));
  ScopedEnvironment parallel("QUILLMEND_PARALLEL", std::string("17"));
  ResetHost();
  EXPECT_EQ(host_emulator::StartPlugin(plugin_), 2);
  const std::vector<HostMessage> messages = HostMessages();
  ASSERT_EQ(messages.size(), 6u);
  const char16_t* const kWarnings[] = {
      u"[ERROR] QUILLMEND_ISOLATION is neither", u"[WARNING] QUILLMEND_TIME_LIMIT_S is not",
      u"[WARNING] QUILLMEND_MEMORY_LIMIT_MB is not", u"[WARNING] QUILLMEND_OUTPUT_LIMIT_MB is not",
      u"[WARNING] QUILLMEND_PARALLEL is neither auto nor a whole number of workers from 1 to 16"};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(messages[static_cast<std::size_t>(i) + 1].text.rfind(kWarnings[i], 0), 0u) << i;
  }
  // The examiner may have meant the separate process: an unusable mode converts nowhere.
  std::filesystem::remove(plugin_folder() / "standin-control");
  std::filesystem::remove(folder_.path() / "standin.log");
  StandinControl standin(folder_.path(), "");
  ResetHost();
  const ViewResult result = ViewItem(plugin_, AddItem({PdfLikeBytes(400), {}, {}}));
  EXPECT_EQ(result.size, -2);
  EXPECT_EQ(AllHostMessages(), FailedWith(kIsolationSettingReason));
  EXPECT_EQ(standin.Values("run ").size(), 0u);
  EXPECT_EQ(EntriesOf(temp()), std::vector<std::string>());
}

// A folder of the view's that cannot be removed is named to the examiner, after the view.
TEST_F(IsolationTest, AFolderLeftBehindIsReported) {
  ASSERT_TRUE(ReadyIsolated(Ghostscript::kStandin));
  StandinControl standin(folder_.path(), "scratch-folder");
  ASSERT_TRUE(standin.AlsoFor(plugin_folder()));
  const std::string document = PdfLikeBytes(400);
  EXPECT_EQ(Convert(document), document);
  const std::vector<std::string> left = EntriesOf(temp());
  ASSERT_EQ(left.size(), 1u);
  const std::filesystem::path folder = temp() / left[0];
  EXPECT_EQ(EntriesOf(folder), std::vector<std::string>{"kept"}) << "files were left beside it";
  // The view's folder was the user's alone, whatever the temporary directory allows. Wine keeps
  // no access list of a folder (it maps one to the folder's mode bits), so none can be read back.
  if (UnderWine()) {
    std::cout << "Wine keeps no access list of a folder: not checked here\n";
  } else {
    EXPECT_EQ(NotPrivateBecause(folder), "");
  }
  const std::u16string prefix = u"[WARNING] The plug-in could not remove its temporary folder ";
  const std::u16string suffix =
      u", which may hold a copy of the item. Delete it once no program uses it.";
  const std::vector<HostMessage> messages = HostMessages();
  ASSERT_EQ(messages.size(), 1u);
  const std::u16string& text = messages[0].text;
  EXPECT_EQ(text.rfind(prefix, 0), 0u) << PathUtf8(folder);
  ASSERT_GE(text.size(), suffix.size());
  EXPECT_EQ(text.substr(text.size() - suffix.size()), suffix);
  // The path, with its separator, as the plug-in formed it from the temporary directory.
  const std::u16string named = (std::filesystem::path(left[0]) / "").u16string();
  EXPECT_EQ(text.substr(0, text.size() - suffix.size()).rfind(named),
            text.size() - suffix.size() - named.size());
  EXPECT_EQ(messages[0].flags, 2u);
  std::filesystem::remove_all(folder);
}

// An ordinary conversion through the worker: the document comes back whole and nothing stays.
// The worker's environment is the plug-in's own: the host's orders to the stand-in (which would
// crash it) do not reach it.
TEST_F(IsolationTest, AnOrdinaryDocumentConverts) {
  ASSERT_TRUE(ReadyIsolated(Ghostscript::kStandin));
  StandinControl standin(folder_.path(), "");
  ASSERT_TRUE(standin.AlsoFor(plugin_folder()));
  ScopedEnvironment host_only("QUILLMEND_STANDIN", std::string("crash"));
  const std::string document = PdfLikeBytes(5000);
  EXPECT_EQ(Convert(document), document);
  EXPECT_TRUE(HostMessages().empty());
  EXPECT_EQ(EntriesOf(temp()), std::vector<std::string>());
  EXPECT_EQ(standin.Values("run ").size(), 1u);
}

// A first view split into page ranges gives the same document as one conversion, or is one: a
// range that fails, or ranges whose pages do not add up to the document's, leave the whole
// conversion to do (the stand-in's ranges copy the whole input, so their pages never add up).
TEST_F(IsolationTest, SplitViewsThatGoWrongConvertWhole) {
  ASSERT_TRUE(ReadyIsolated(Ghostscript::kStandin,
                            {{"QUILLMEND_PARALLEL", "4"}, {"QUILLMEND_CACHE_MB", "0"}}));
  const std::string document = ReadFileBytes(FixturePdf("forty_pages.pdf"));
  for (const char* words : {"", "fail-range"}) {
    std::filesystem::remove(folder_.path() / "standin.log");
    StandinControl standin(folder_.path(), words);
    ASSERT_TRUE(standin.AlsoFor(plugin_folder()));
    EXPECT_EQ(Convert(document), document) << words;
    EXPECT_TRUE(AllHostMessages().empty()) << words;
    EXPECT_EQ(EntriesOf(temp()), std::vector<std::string>()) << words;
    // Every range ran (or the first that failed ended the others), then the whole document.
    const std::size_t ranges = standin.Values("arg 7 -dFirstPage=").size();
    if (*words == '\0') {
      EXPECT_EQ(ranges, 8u);
    }
    EXPECT_GE(ranges, 1u) << words;
    EXPECT_EQ(standin.Values("arg 7 -o").size(), 1u) << words << ": one whole conversion";
    ResetHost();
  }
}

// Side by side, the time limit covers the whole view: reaching it ends every worker at once, and
// no whole conversion follows.
TEST_F(IsolationTest, TheTimeLimitEndsEveryWorkerOfASplitView) {
  ASSERT_TRUE(ReadyIsolated(Ghostscript::kStandin,
                            {{"QUILLMEND_PARALLEL", "4"}, {"QUILLMEND_TIME_LIMIT_S", "1"}}));
  StandinControl standin(folder_.path(), "hang");
  ASSERT_TRUE(standin.AlsoFor(plugin_folder()));
  const ViewResult result =
      ViewItem(plugin_, AddItem({ReadFileBytes(FixturePdf("forty_pages.pdf")), {}, {}}));
  EXPECT_EQ(result.size, -2);
  EXPECT_EQ(AllHostMessages(), FailedWith(TimeLimitReason(1)));
  EXPECT_EQ(EntriesOf(temp()), std::vector<std::string>());
  // How many got as far as the document before the deadline depends on the machine.
  const std::vector<std::string> workers = standin.Values("pid ");
  EXPECT_GE(workers.size(), 1u);
  EXPECT_LE(workers.size(), 4u);
  for (const std::string& id : workers) EXPECT_FALSE(ProcessIsAlive(std::stol(id))) << id;
  EXPECT_EQ(standin.Values("arg 7 -o").size(), 0u) << "a whole conversion after the deadline";
}

// The start-up line names the workers side by side (auto: one per logical processor, at most
// 16); outside the separate process the setting changes nothing, and XT_Init says so.
TEST_F(IsolationTest, TheParallelSettingShowsAtStartUp) {
  ASSERT_TRUE(ReadyIsolated(Ghostscript::kStandin));
  ScopedEnvironment parallel("QUILLMEND_PARALLEL", std::string("auto"));
  {
    ScopedEnvironment mode("QUILLMEND_ISOLATION", std::string("process"));
    ResetHost();
    ASSERT_EQ(host_emulator::StartPlugin(plugin_), 2);
    const std::u16string line = AllHostMessages().back().text;
    const std::u16string workers = u", first views in page ranges on ";
    const std::size_t at = line.find(workers);
    ASSERT_NE(at, std::u16string::npos) << ToUtf8(line);
    const int count = std::stoi(ToUtf8(line.substr(at + workers.size(), 2)));
    EXPECT_GE(count, 1);
    EXPECT_LE(count, 16);
  }
  ResetHost();
  ASSERT_EQ(host_emulator::StartPlugin(plugin_), 2);
  const std::vector<HostMessage> messages = HostMessages();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[1],
            (HostMessage{u"[WARNING] QUILLMEND_PARALLEL applies only with "
                         u"QUILLMEND_ISOLATION=process; each view converts in one run of "
                         u"Ghostscript.",
                         2}));
  EXPECT_EQ(AllHostMessages().back().text.find(u"page ranges"), std::u16string::npos);
}

// A short document, or one whose pages cannot be counted, is converted at once by the worker that
// counted it: one run of Ghostscript, and a failure is final.
TEST_F(IsolationTest, ShortDocumentsConvertWholeInTheWorkerThatCounts) {
  ASSERT_TRUE(ReadyIsolated(Ghostscript::kStandin,
                            {{"QUILLMEND_PARALLEL", "4"}, {"QUILLMEND_CACHE_MB", "0"}}));
  const std::string three_pages = ReadFileBytes(FixturePdf("three_pages.pdf"));
  for (const std::string& document : {three_pages, PdfLikeBytes(5000)}) {
    std::filesystem::remove(folder_.path() / "standin.log");
    StandinControl standin(folder_.path(), "");
    ASSERT_TRUE(standin.AlsoFor(plugin_folder()));
    EXPECT_EQ(Convert(document), document);
    EXPECT_EQ(standin.Values("new").size(), 1u);
    EXPECT_EQ(standin.Values("arg 7 -dFirstPage=").size(), 0u);
  }
  std::filesystem::remove(folder_.path() / "standin.log");
  StandinControl standin(folder_.path(), "fail-run");
  ASSERT_TRUE(standin.AlsoFor(plugin_folder()));
  ResetHost();
  EXPECT_EQ(ViewItem(plugin_, AddItem({three_pages, {}, {}})).size, -2);
  EXPECT_EQ(AllHostMessages(), FailedWith(kUnknownReason));
  EXPECT_EQ(standin.Values("new").size(), 1u) << "converted again after a final failure";
  EXPECT_EQ(EntriesOf(temp()), std::vector<std::string>());
}

}  // namespace
}  // namespace quillmend::test
