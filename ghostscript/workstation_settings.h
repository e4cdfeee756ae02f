// Ghostscript reads settings of the workstation besides the arguments it is given: each
// variable from the environment and, on Windows, where the C runtime's environment lacks it, from
// the registry key of its own release. GS_OPTIONS there adds arguments to every run: pages left
// out, -dNOSAFER. None of that may shape a conversion unseen.
#pragma once

#include <cstddef>

#include "platform/platform.h"

namespace quillmend {

// Where a running Ghostscript may find a variable. The registry counts where the library names
// its release (gsapi_revision), on Windows only.
enum class SettingSource { kProcess, kCRuntime, kRegistry };
inline constexpr SettingSource kSettingSources[] = {
    SettingSource::kProcess, SettingSource::kCRuntime, SettingSource::kRegistry};

// The variable's value in one source, as ReadEnvironmentVariable gives it.
os::EnvironmentValue ReadGhostscriptSetting(const char* name, SettingSource source, char* value,
                                            std::size_t capacity);

// True when GS_OPTIONS has a value in any source, or one that cannot be read: Ghostscript would
// then add options of the workstation's to the plug-in's own.
bool GhostscriptOptionsAreSet();

}  // namespace quillmend
