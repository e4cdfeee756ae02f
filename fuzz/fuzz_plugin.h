// The plug-in under fuzzing: loaded once per fuzz process from a fresh folder, the way the host
// loads it, with the chosen Ghostscript library beside it and a temporary directory of its own.
// The fuzz programs play the host with the host emulator and its test extension
// (support/test_host.h), one item at a time.
#pragma once

#include "host_emulator/plugin_loader.h"
#include "support/view_contract.h"

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

// The same for a rule of support/view_contract.h: `broken` names it, or is null when all hold.
inline void Require(const char* broken) {
  if (broken != nullptr) Violation(broken);
}

// Requires the plug-in's temporary directory to be empty: the plug-in and Ghostscript must both
// clean up after themselves.
void RequireNothingLeft();

}  // namespace quillmend::fuzz
