// The plug-in under fuzzing: loaded once per fuzz process from a fresh folder, the way the host
// loads it, with the chosen Ghostscript library beside it and a temporary directory of its own.
#pragma once

#include <cstdint>
#include <string>

namespace quillmend::fuzz {

struct Plugin {
  std::int32_t (*Init)(std::uint32_t, std::uint32_t, void*, void*) = nullptr;
  void* (*View)(void*, std::int32_t, void*, void*, void*, std::int64_t*) = nullptr;
  std::int32_t (*ReleaseMem)(void*) = nullptr;
};

// Makes a fresh work folder, places a copy of `plugin_file` and `ghostscript_file` (under
// Ghostscript's library name) in it, points TMPDIR at an empty folder inside it, loads the copy
// and runs XT_Init, which must answer 2. The folder is removed when the process exits normally.
// Aborts the process on any failure: a fuzz run without its plug-in would prove nothing.
Plugin StartPlugin(const char* plugin_file, const char* ghostscript_file);

// The plug-in's temporary directory as set by StartPlugin.
const std::string& TempDirectory();

// Reports a broken rule of the plug-in's contract and aborts, so that libFuzzer keeps the input.
[[noreturn]] void Violation(const char* rule);

inline void Require(bool holds, const char* rule) {
  if (!holds) Violation(rule);
}

// The names in the temporary directory (every entry: the plug-in and Ghostscript must both
// clean up after themselves).
int EntriesInTempDirectory(std::string* first);

// The number of file descriptors the process holds open.
int OpenDescriptors();

}  // namespace quillmend::fuzz
