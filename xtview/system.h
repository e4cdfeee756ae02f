// What xtview needs from the operating system. system_posix.cpp and system_win.cpp implement it;
// CMake compiles the one that fits the build. Text is UTF-8 throughout; paths are
// std::filesystem paths, which hold wide text on Windows.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "host_emulator/host.h"
#include "host_emulator/plugin_loader.h"

namespace xtview::sys {

// The plug-in's and Ghostscript's library file names on this platform.
using quillmend::host_emulator::kPluginFileName;
inline constexpr char kGhostscriptFileName[] = QUILLMEND_GHOSTSCRIPT_LIBRARY;

// --- Process -------------------------------------------------------------------------------

// The program's arguments as UTF-8. On Windows they come from the wide command line, so that
// file names outside the ANSI code page survive.
std::vector<std::string> Arguments(int argc, char** argv);

// The folder that holds the running program; empty when it cannot be found.
inline std::filesystem::path OwnFolder() {
  return quillmend::host_emulator::ProgramFolder();
}

unsigned CoreCount();

// Sets a variable in the process's own environment, where a library loaded into it reads it.
bool SetEnvironment(const std::string& name, const std::string& value);

// The variable's value in the process's own environment; empty when it is unset.
std::string GetEnvironment(const std::string& name);

// Calls `handler` on a thread of its own each time the user interrupts the program (Ctrl-C, or a
// termination signal on POSIX). Call before any other thread is started.
void OnInterrupt(void (*handler)());

// --- Console ---------------------------------------------------------------------------------

enum class Stream { Out, Err };

bool StdoutIsTerminal();

// Writes UTF-8 text as it is, to a console as its characters. Never throws.
void Write(Stream stream, const std::string& text);

// --- Files -----------------------------------------------------------------------------------

// A whole file's bytes, mapped for reading (host_emulator/host.h).
using quillmend::host_emulator::MapFile;
using quillmend::host_emulator::MappedFile;
using quillmend::host_emulator::UnmapFile;

using FileHandle = std::intptr_t;

// Creates a file that must not exist yet, for writing by this process alone.
bool CreateNewFile(const std::filesystem::path& path, FileHandle* file, std::string* error);

// Writes all bytes and flushes them to the disk before closing; the file is closed either way.
bool WriteAndClose(FileHandle file, const std::uint8_t* bytes, std::uint64_t size,
                   std::string* error);

// Renames `from` to `to` in one step. Without `replace`, fails when `to` exists; with it, an
// existing `to` is replaced so that readers see either the old file or the new one.
bool MoveIntoPlace(const std::filesystem::path& from, const std::filesystem::path& to, bool replace,
                   std::string* error);

void RemoveFile(const std::filesystem::path& path);

}  // namespace xtview::sys
