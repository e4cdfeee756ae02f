// Every Win32 call of a view, made to fail in turn through the test build's table: the right
// sentinel, the failure message exactly when the conversion failed or the temporary directory
// could not take the item, and nothing left
// behind: no temporary file, no handle, no heap block. A virus scanner's passing hold on a
// staged file is waited for; one that does not pass fails the view cleanly.
#include <windows.h>

#include "support/view_fixture.h"

namespace quillmend::test {
namespace {

constexpr long kEveryCall = -1;
constexpr long kLastCall = 0;  // the last call of its kind in a view that runs clean
constexpr std::int64_t kConverted = 0;

struct CallFailure {
  const char* name;
  const char* call;
  long first;
  long times;
  DWORD error;
  std::int64_t result;  // -2, or kConverted
  bool message;
};

void PrintTo(const CallFailure& failure, std::ostream* out) {
  *out << failure.name;
}

const CallFailure kFailures[] = {
    {"NoTempDirectory", "GetTempPathW", 1, kEveryCall, ERROR_PATH_NOT_FOUND, -2, true},
    {"NoInputName", "GetTempFileNameW", 1, kEveryCall, ERROR_DISK_FULL, -2, true},
    {"NoOutputName", "GetTempFileNameW", 2, kEveryCall, ERROR_DISK_FULL, -2, true},
    {"InputDoesNotOpen", "CreateFileW", 1, kEveryCall, ERROR_FILE_NOT_FOUND, -2, true},
    {"NoStagingBlock", "HeapAlloc", 1, 1, ERROR_NOT_ENOUGH_MEMORY, -2, false},
    {"StagingWriteFails", "WriteFile", 1, kEveryCall, ERROR_DISK_FULL, -2, true},
    {"NoBlockForTheInputPath", "HeapAlloc", 2, 1, ERROR_NOT_ENOUGH_MEMORY, -2, true},
    {"NoBlockForTheOutputPath", "HeapAlloc", 3, 1, ERROR_NOT_ENOUGH_MEMORY, -2, true},
    {"InputCannotBeHeld", "CreateFileW", 2, kEveryCall, ERROR_FILE_NOT_FOUND, -2, true},
    {"OutputCannotBeHeld", "CreateFileW", 3, kEveryCall, ERROR_FILE_NOT_FOUND, -2, true},
    {"OutputDoesNotOpen", "CreateFileW", kLastCall, kEveryCall, ERROR_FILE_NOT_FOUND, -2, false},
    {"OutputSizeUnknown", "GetFileSizeEx", 1, kEveryCall, ERROR_INVALID_HANDLE, -2, false},
    {"NoResultBlock", "HeapAlloc", kLastCall, 1, ERROR_NOT_ENOUGH_MEMORY, -2, false},
    {"OutputReadFails", "ReadFile", 1, kEveryCall, ERROR_READ_FAULT, -2, false},
    // Calls that report success but move half the bytes, or give a size no single read can take.
    {"StagingWriteComesBackShort", "WriteFile", 1, 1, ERROR_SUCCESS, -2, true},
    {"OutputReadComesBackShort", "ReadFile", 1, 1, ERROR_SUCCESS, -2, false},
    {"OutputTooLargeForOneRead", "GetFileSizeEx", 1, 1, ERROR_SUCCESS, -2, false},
    // A scanner looking at a staged file for a moment.
    {"InputHeldForAMoment", "CreateFileW", 1, 2, ERROR_SHARING_VIOLATION, kConverted, false},
    {"InputHeldAsGhostscriptStarts", "CreateFileW", 2, 2, ERROR_SHARING_VIOLATION, kConverted,
     false},
    {"OutputHeldAsGhostscriptStarts", "CreateFileW", 3, 2, ERROR_LOCK_VIOLATION, kConverted, false},
    {"OutputHeldForAMoment", "CreateFileW", kLastCall, 2, ERROR_SHARING_VIOLATION, kConverted,
     false},
    // The first delete of the input, while Ghostscript may hold it, is asked again once the
    // instance has gone, whichever error of a passing hold it met.
    {"InputDeleteHeld", "DeleteFileW", 1, 3, ERROR_SHARING_VIOLATION, kConverted, false},
    {"InputFirstDeleteDenied", "DeleteFileW", 1, 1, ERROR_ACCESS_DENIED, kConverted, false},
    {"InputFirstDeleteLocked", "DeleteFileW", 1, 1, ERROR_LOCK_VIOLATION, kConverted, false},
    {"OutputDeleteHeld", "DeleteFileW", kLastCall, 2, ERROR_ACCESS_DENIED, kConverted, false},
    // A hold that does not pass.
    {"OutputHeldForGoodAsGhostscriptStarts", "CreateFileW", 3, kEveryCall, ERROR_SHARING_VIOLATION,
     -2, true},
    {"OutputHeldForGood", "CreateFileW", kLastCall, kEveryCall, ERROR_LOCK_VIOLATION, -2, false},
};

class SystemCallFailureTest : public ViewTest, public testing::WithParamInterface<CallFailure> {
 protected:
  void SetUp() override {
    // Every view converts, so that each row reaches the call it fails; the cache's own blocks
    // would also count as held.
    ASSERT_TRUE(ReadyWithCache("0", Ghostscript::kStandin, PluginBuild::kFaultHooks));
    ASSERT_NE(hooks().FailSystemCall, nullptr);
  }
  const FaultHooks& hooks() const { return LoadedFaultHooks(); }
};

TEST_P(SystemCallFailureTest, LeavesNothingBehind) {
  const CallFailure& failure = GetParam();
  StandinControl standin(folder_.path(), "");
  const std::string document = PdfLikeBytes(400);
  void* item = AddItem({document, {}, {}});

  long first = failure.first;
  if (first == kLastCall) {
    // A clean view first, to count the calls of this kind.
    hooks().FailSystemCall(nullptr, 0, 0, 0);
    const ViewResult clean = ViewItem(plugin_, item);
    ASSERT_EQ(BufferBytes(clean), document);
    plugin_.ReleaseMem(clean.buffer);
    first = hooks().SystemCallCount(failure.call);
    ResetHost();
    item = AddItem({document, {}, {}});
  }
  DWORD handles_before = 0;
  GetProcessHandleCount(GetCurrentProcess(), &handles_before);
  const long blocks_before = hooks().BlocksHeld();
  ASSERT_TRUE(hooks().FailSystemCall(failure.call, first, failure.times, failure.error));

  const ViewResult result = ViewItem(plugin_, item);
  hooks().FailSystemCall(nullptr, 0, 0, 0);
  if (failure.result == kConverted) {
    EXPECT_EQ(BufferBytes(result), document);
  } else {
    EXPECT_EQ(result.buffer, nullptr);
    EXPECT_EQ(result.size, failure.result);
  }
  plugin_.ReleaseMem(result.buffer);
  EXPECT_EQ(HostMessages(), failure.message ? std::vector<HostMessage>{kConversionFailed}
                                            : std::vector<HostMessage>{});
  EXPECT_EQ(EntriesOf(temp()), std::vector<std::string>());
  DWORD handles_after = 0;
  GetProcessHandleCount(GetCurrentProcess(), &handles_after);
  EXPECT_EQ(handles_after, handles_before) << "a handle was left open";
  EXPECT_EQ(hooks().BlocksHeld(), blocks_before) << "a heap block was not given back";
}

INSTANTIATE_TEST_SUITE_P(EveryCall, SystemCallFailureTest, testing::ValuesIn(kFailures),
                         [](const testing::TestParamInfo<CallFailure>& info) {
                           return std::string(info.param.name);
                         });

// A host that already runs in a job allowing none inside it cannot put the worker in a job of its
// own: start-up says so, in words of its own, and nothing converts, in the worker or the host.
class JobObjectTest : public ViewTest {};

TEST_F(JobObjectTest, AWorkerOutsideItsJobIsRefusedAndNothingConverts) {
  ScopedEnvironment mode("QUILLMEND_ISOLATION", std::string("process"));
  ASSERT_TRUE(
      LoadPlugin(plugin_folder(), Ghostscript::kStandin, &plugin_, PluginBuild::kFaultHooks));
  const FaultHooks& hooks = LoadedFaultHooks();
  ASSERT_NE(hooks.FailSystemCall, nullptr);
  std::filesystem::copy_file(ExecutableDirectory() / kWorkerFileName,
                             plugin_folder() / kWorkerFileName);
  StandinControl standin(folder_.path(), "");
  ASSERT_TRUE(standin.AlsoFor(plugin_folder()));
  ASSERT_TRUE(hooks.FailSystemCall("AssignProcessToJobObject", 1, -1, ERROR_ACCESS_DENIED));
  ResetHost();
  EXPECT_EQ(host_emulator::StartPlugin(plugin_), 2);
  const std::vector<HostMessage> messages = HostMessages();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[1].text.rfind(u"[ERROR] QUILLMEND_ISOLATION=process, but the system does "
                                   u"not let the plug-in hold the conversion worker to its bounds",
                                   0),
            0u);

  ResetHost();
  const ViewResult result = ViewItem(plugin_, AddItem({PdfLikeBytes(400), {}, {}}));
  hooks.FailSystemCall(nullptr, 0, 0, 0);
  EXPECT_EQ(result.size, -2);
  EXPECT_EQ(HostMessages(), std::vector<HostMessage>{kConversionFailed});
  EXPECT_EQ(standin.Values("run ").size(), 0u) << "converted after all";
  EXPECT_EQ(EntriesOf(temp()), std::vector<std::string>());
}

}  // namespace
}  // namespace quillmend::test
