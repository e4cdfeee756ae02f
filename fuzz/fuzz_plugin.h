// The plug-in under fuzzing: loaded once per fuzz process from a fresh folder, the way the host
// loads it, with the chosen Ghostscript library beside it and a temporary directory of its own.
// The fuzz programs play the host with the host emulator and its test extension
// (support/test_host.h), one item at a time.
#pragma once

#include <string>

#include "host_emulator/plugin_loader.h"

namespace quillmend::fuzz {

using host_emulator::Plugin;

// Makes a fresh work folder, places a copy of `plugin_file` and `ghostscript_file` (under
// Ghostscript's library name) in it, points TMPDIR at an empty folder inside it, loads the copy
// and runs XT_Init, which must answer 2. The folder is removed when the process exits normally.
// Aborts the process on any failure: a fuzz run without its plug-in would prove nothing.
Plugin StartPlugin(const char* plugin_file, const char* ghostscript_file);

// Reports a broken rule of the plug-in's contract and aborts, so that libFuzzer keeps the input.
[[noreturn]] void Violation(const char* rule);

inline void Require(bool holds, const char* rule) {
  if (!holds) Violation(rule);
}

// Requires that the plug-in called the host only for `item`, the one it was given, and read it
// only from its start.
void RequireCallsOnlyFor(void* item);

// The names in the temporary directory (every entry: the plug-in and Ghostscript must both
// clean up after themselves).
int EntriesInTempDirectory(std::string* first);

// The number of file descriptors the process holds open.
int OpenDescriptors();

}  // namespace quillmend::fuzz
