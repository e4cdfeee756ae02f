// What xtview needs from the operating system. system_posix.cpp and system_win.cpp implement it;
// CMake compiles the one that fits the build. Text is UTF-8 throughout; paths are
// std::filesystem paths, which hold wide text on Windows.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace xtview::sys {

// The plug-in's and Ghostscript's library file names on this platform.
extern const char kPluginFileName[];
extern const char kGhostscriptFileName[];

// --- Process -------------------------------------------------------------------------------

// The program's arguments as UTF-8. On Windows they come from the wide command line, so that
// file names outside the ANSI code page survive.
std::vector<std::string> Arguments(int argc, char** argv);

// The folder that holds the running program; empty when it cannot be found.
std::filesystem::path OwnFolder();

unsigned CoreCount();

// Calls `handler` on a thread of its own each time the user interrupts the program (Ctrl-C, or a
// termination signal on POSIX). Call before any other thread is started.
void OnInterrupt(void (*handler)());

// --- Console ---------------------------------------------------------------------------------

enum class Stream { Out, Err };

bool StdoutIsTerminal();

// Writes UTF-8 text as it is, to a console as its characters. Never throws.
void Write(Stream stream, const std::string& text);

// --- Libraries -------------------------------------------------------------------------------

// Loads a library by full path; null on failure, with the system's reason in `error`.
void* LoadLibraryAt(const std::filesystem::path& path, std::string* error);
void* FindSymbol(void* library, const char* name);

// --- Files -----------------------------------------------------------------------------------

// A whole file's bytes, mapped for reading. An empty file has no bytes and no mapping.
struct MappedFile {
  const std::uint8_t* bytes = nullptr;
  std::uint64_t size = 0;
  std::intptr_t mapping = 0;
};

bool MapFile(const std::filesystem::path& path, MappedFile* file, std::string* error);
void UnmapFile(MappedFile* file);

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
