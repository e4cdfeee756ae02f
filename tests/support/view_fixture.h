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

inline std::u16string Utf16Number(int number) {
  std::u16string text;
  for (const char c : std::to_string(number)) text += static_cast<char16_t>(c);
  return text;
}

// The reason lines that follow it, as ReasonLines() gives them.
inline const std::u16string kTempDirectoryReason =
    u"Reason: the temporary directory could not take the item's staged copy (it is full, or not "
    u"writable). Free space there, or set TEMP and TMP to another folder, and restart the host.";
inline const std::u16string kUnknownReason =
    u"Reason: not known. Ghostscript gave no sign of what stopped it; view the item with another "
    u"tool.";
inline const std::u16string kPasswordReason =
    u"Reason: the document needs a password to open. Ask for the password, or view the item with "
    u"another tool.";
inline const std::u16string kUnreadableReason =
    u"Reason: Ghostscript could not read the item as a PDF document: it is damaged beyond repair, "
    u"or no PDF document at all. View it with another tool.";
inline const std::u16string kNoPageReason =
    u"Reason: the document has no page that Ghostscript could draw. View the item with another "
    u"tool.";
inline const std::u16string kOptionsReason =
    u"Reason: GS_OPTIONS is set on this workstation, so Ghostscript was not run. Remove it and "
    u"restart the host.";
inline const std::u16string kPermitReason =
    u"Reason: a Ghostscript file permit (from GS_LIB, GS_FONTPATH or the like) still reaches the "
    u"temporary directory, so the document was not run. Remove that setting, or set TEMP and TMP "
    u"to another folder, and restart the host.";
inline const std::u16string kCrashedReason =
    u"Reason: Ghostscript ended abnormally (it crashed) in the separate process; the host was not "
    u"affected. View the item with another tool.";
inline const std::u16string kWorkerUnavailableReason =
    u"Reason: the conversion worker (quillmend-convert.exe) is missing, could not start or could "
    u"not be bounded; see the message when the plug-in was loaded.";
inline const std::u16string kIsolationSettingReason =
    u"Reason: QUILLMEND_ISOLATION is neither process nor none; see the message when the plug-in "
    u"was loaded.";
inline std::u16string TimeLimitReason(int seconds) {
  return u"Reason: the conversion took longer than QUILLMEND_TIME_LIMIT_S allows (" +
         Utf16Number(seconds) +
         u" seconds) and was stopped. Raise the limit and restart the host, or view the item "
         u"with another tool.";
}
inline std::u16string OutputLimitReason(int mib) {
  return u"Reason: the conversion wrote more than QUILLMEND_OUTPUT_LIMIT_MB allows (" +
         Utf16Number(mib) +
         u" MiB) and was stopped. Raise the limit and restart the host, or view the item with "
         u"another tool.";
}
inline std::u16string MemoryLimitReason(int mib) {
  return u"Reason: Ghostscript needed more memory than QUILLMEND_MEMORY_LIMIT_MB allows (" +
         Utf16Number(mib) +
         u" MiB). Raise the limit and restart the host, or view the item with another tool.";
}

// The one failure of a view, with exactly `reason` right after it and nothing else.
inline std::vector<HostMessage> FailedWith(const std::u16string& reason) {
  return {kConversionFailed, {reason, 0}};
}

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
