#include "failure_report.h"

#include <cstddef>
#include <cstdint>

#include "host/host_api.h"
#include "host/message_line.h"
#include "isolation.h"

namespace quillmend {

namespace {

constexpr char16_t kConversionFailedMessage[] = u"[ERROR] GhostScript conversion failed.";

// Each reason's line; a bound, where the line names one, comes between its two parts.
struct ReasonText {
  const char16_t* text;
  const char16_t* after_bound;
};

ReasonText TextOf(FailureReason reason, bool isolated) {
  switch (reason) {
    case FailureReason::kUnknown:
      break;
    case FailureReason::kPasswordRequired:
      return {
          u"Reason: the document needs a password to open. Ask for the password, or view the "
          u"item with another tool.",
          nullptr};
    case FailureReason::kUnreadable:
      return {
          u"Reason: Ghostscript could not read the item as a PDF document: it is damaged "
          u"beyond repair, or no PDF document at all. View it with another tool.",
          nullptr};
    case FailureReason::kNoPage:
      return {
          u"Reason: the document has no page that Ghostscript could draw. View the item with "
          u"another tool.",
          nullptr};
    case FailureReason::kOutOfMemory:
      if (!isolated) {
        return {
            u"Reason: Ghostscript ran out of memory. Close other programs, or convert the "
            u"item in the separate process (QUILLMEND_ISOLATION=process).",
            nullptr};
      }
      return {u"Reason: Ghostscript needed more memory than QUILLMEND_MEMORY_LIMIT_MB allows (",
              u" MiB). Raise the limit and restart the host, or view the item with another tool."};
    case FailureReason::kGhostscriptOptions:
      return {
          u"Reason: GS_OPTIONS is set on this workstation, so Ghostscript was not run. Remove "
          u"it and restart the host.",
          nullptr};
    case FailureReason::kPermitReachesTemp:
      return {
          u"Reason: a Ghostscript file permit (from GS_LIB, GS_FONTPATH or the like) still "
          u"reaches the temporary directory, so the document was not run. Remove that "
          u"setting, or set TEMP and TMP to another folder, and restart the host.",
          nullptr};
    case FailureReason::kTempDirectory:
      return {
          u"Reason: the temporary directory could not take the item's staged copy (it is "
          u"full, or not writable). Free space there, or set TEMP and TMP to another folder, "
          u"and restart the host.",
          nullptr};
    case FailureReason::kTimeLimit:
      return {u"Reason: the conversion took longer than QUILLMEND_TIME_LIMIT_S allows (",
              u" seconds) and was stopped. Raise the limit and restart the host, or view the item "
              u"with another tool."};
    case FailureReason::kOutputLimit:
      return {u"Reason: the conversion wrote more than QUILLMEND_OUTPUT_LIMIT_MB allows (",
              u" MiB) and was stopped. Raise the limit and restart the host, or view the item "
              u"with another tool."};
    case FailureReason::kCrashed:
      return {
          u"Reason: Ghostscript ended abnormally (it crashed) in the separate process; the "
          u"host was not affected. View the item with another tool.",
          nullptr};
    case FailureReason::kWorkerUnavailable:
      return {
          u"Reason: the conversion worker (quillmend-convert.exe) is missing, could not "
          u"start or could not be bounded; see the message when the plug-in was loaded.",
          nullptr};
    case FailureReason::kIsolationSetting:
      return {
          u"Reason: QUILLMEND_ISOLATION is neither process nor none; see the message when "
          u"the plug-in was loaded.",
          nullptr};
  }
  return {
      u"Reason: not known. Ghostscript gave no sign of what stopped it; view the item with "
      u"another tool.",
      nullptr};
}

std::uint32_t BoundOf(FailureReason reason) {
  switch (reason) {
    case FailureReason::kTimeLimit:
      return TimeLimitSeconds();
    case FailureReason::kOutputLimit:
      return OutputLimitMiB();
    default:
      return MemoryLimitMiB();
  }
}

// The longest line with the longest bound, 4294967295.
constexpr std::size_t kLineCapacity = 320;

}  // namespace

void ReportConversionFailure(FailureReason reason, bool isolated) {
  HostApi.OutputMessage(kConversionFailedMessage, kNoticeFlags);
  const ReasonText text = TextOf(reason, isolated);
  MessageLine<kLineCapacity> line;
  line.Add(text.text);
  if (text.after_bound != nullptr) {
    line.AddNumber(BoundOf(reason));
    line.Add(text.after_bound);
  }
  HostApi.OutputMessage(line.text, kReasonFlags);
}

}  // namespace quillmend
