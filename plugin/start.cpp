// XT_Init and XT_About: how the plug-in starts and how it describes itself.
#include "ghostscript/ghostscript.h"
#include "ghostscript/workstation_settings.h"
#include "host/host_api.h"
#include "platform/platform.h"
#include "quillmend.h"
#include "startup_line.h"
#include "view/document_cache.h"
#include "view/isolation.h"

namespace {

constexpr char16_t kLoadedMessage[] = u"Quillmend viewer X-Tension loaded.";
constexpr char16_t kGhostscriptMissingMessage[] =
    u"[ERROR] Could not load the GhostScript API (gsdll64.dll).";

constexpr char16_t kCacheSettingMessage[] =
    u"[WARNING] QUILLMEND_CACHE_MB is not a whole number of MiB from 0 to 1048576; the cache of "
    u"converted documents keeps its default size of 256 MiB.";

constexpr char16_t kGhostscriptOptionsMessage[] =
    u"[ERROR] GS_OPTIONS is set on this workstation (as an environment variable, or in the "
    u"registry for this Ghostscript release). Ghostscript would add those options to every "
    u"conversion, for instance leaving out pages, so PDF items are not converted until it is "
    u"removed.";

constexpr char16_t kIsolationSettingMessage[] =
    u"[ERROR] QUILLMEND_ISOLATION is neither process nor none, so PDF items are not converted. "
    u"Set it to process or none, or unset it, and restart the host.";
constexpr char16_t kTimeLimitSettingMessage[] =
    u"[WARNING] QUILLMEND_TIME_LIMIT_S is not a whole number of seconds from 1 to 86400; a "
    u"conversion in the separate process keeps its default limit of 120 seconds.";
constexpr char16_t kMemoryLimitSettingMessage[] =
    u"[WARNING] QUILLMEND_MEMORY_LIMIT_MB is not a whole number of MiB from 256 to 1048576; a "
    u"conversion in the separate process keeps its default limit of 2048 MiB.";
constexpr char16_t kOutputLimitSettingMessage[] =
    u"[WARNING] QUILLMEND_OUTPUT_LIMIT_MB is not a whole number of MiB from 1 to 4096; a "
    u"conversion in the separate process keeps its default limit of 4096 MiB.";
constexpr char16_t kParallelSettingMessage[] =
    u"[WARNING] QUILLMEND_PARALLEL is neither auto nor a whole number of workers from 1 to 16; a "
    u"view in the separate process keeps its one worker.";
constexpr char16_t kParallelWithoutIsolationMessage[] =
    u"[WARNING] QUILLMEND_PARALLEL applies only with QUILLMEND_ISOLATION=process; each view "
    u"converts in one run of Ghostscript.";
constexpr char16_t kWorkerMissingMessage[] =
    u"[ERROR] QUILLMEND_ISOLATION=process, but the conversion worker (quillmend-convert.exe "
    u"beside the plug-in, with gsdll64.dll beside it) cannot be started, so PDF items are not "
    u"converted. Put it there, or unset QUILLMEND_ISOLATION, and restart the host.";
constexpr char16_t kWorkerNotBoundedMessage[] =
    u"[ERROR] QUILLMEND_ISOLATION=process, but the system does not let the plug-in hold the "
    u"conversion worker to its bounds (on Windows, the host runs in a job object that allows no "
    u"job of the worker's own), so PDF items are not converted. Start the host outside that job, "
    u"or unset QUILLMEND_ISOLATION, and restart the host.";

constexpr char16_t kAboutCaption[] = u"About";
constexpr char16_t kAboutText[] =
    u"Quillmend viewer X-Tension\n"
    u"\n"
    u"This viewer X-Tension provides a workaround for the 'disappearing fonts during printing' "
    u"bug in the original Oracle Outside In Viewer component. The bug was introduced in the "
    u"viewer version 8.52 and as of now is still persistent in the latest version (8.53). \n"
    u"\n"
    u"The X-Tension utilizes the GhostScript API through gsdll64.dll and passes the result of the "
    u"following conversion command back to X-Ways:\n"
    u"\n"
    u"gs -sDEVICE=pdfwrite -dNoOutputFonts -dCompatibilityLevel=1.5 -r150 -dQUIET -dSAFER "
    u"-o <output file> <input file>";

constexpr std::int32_t kReady = 2;
constexpr std::int32_t kDoNotUse = -1;

}  // namespace

extern "C" std::int32_t XT_Init(std::uint32_t, std::uint32_t, void*, void*) {
  using namespace quillmend;
  // Without the host's services there is no channel to report through: fail silently.
  if (!BindHostApi()) return kDoNotUse;
  if (!LoadGsApi()) {
    HostApi.OutputMessage(kGhostscriptMissingMessage, kStartupErrorFlags);
    return kDoNotUse;
  }
  HostApi.OutputMessage(kLoadedMessage, kNoticeFlags);
  if (GhostscriptOptionsAreSet()) HostApi.OutputMessage(kGhostscriptOptionsMessage, kNoticeFlags);
  if (!ConfigureCacheFromEnvironment()) HostApi.OutputMessage(kCacheSettingMessage, kNoticeFlags);
  const IsolationSettings isolation = ConfigureIsolationFromEnvironment();
  if (!isolation.mode) HostApi.OutputMessage(kIsolationSettingMessage, kNoticeFlags);
  if (!isolation.time_limit) HostApi.OutputMessage(kTimeLimitSettingMessage, kNoticeFlags);
  if (!isolation.memory_limit) HostApi.OutputMessage(kMemoryLimitSettingMessage, kNoticeFlags);
  if (!isolation.output_limit) HostApi.OutputMessage(kOutputLimitSettingMessage, kNoticeFlags);
  if (!isolation.parallel) HostApi.OutputMessage(kParallelSettingMessage, kNoticeFlags);
  if (!isolation.parallel_applies) {
    HostApi.OutputMessage(kParallelWithoutIsolationMessage, kNoticeFlags);
  }
  // The examiner asked for the separate process: without a worker that runs, nothing converts.
  if (isolation.mode && IsolationIsOn()) {
    switch (PrepareWorker()) {
      case WorkerReadiness::kReady:
        break;
      case WorkerReadiness::kMissing:
        HostApi.OutputMessage(kWorkerMissingMessage, kNoticeFlags);
        break;
      case WorkerReadiness::kNotBounded:
        HostApi.OutputMessage(kWorkerNotBoundedMessage, kNoticeFlags);
        break;
    }
  }
  ReportWhatConverts();
  os::CallWhenUnloaded(&ReleaseCache);
  return kReady;
}

extern "C" std::int32_t XT_About(void*, void*) {
  quillmend::os::ShowInformationBox(kAboutText, kAboutCaption);
  return 0;
}
