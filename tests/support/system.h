// What the test support does differently on each platform: system_posix.cpp and system_win.cpp.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "host_emulator/plugin_loader.h"

namespace quillmend::test {

// The folder of the running test program: the build's bin/, where every built file lies.
inline std::filesystem::path ExecutableDirectory() {
  return host_emulator::ProgramFolder();
}

// Loads a library by full path as the host loads the plug-in (dlopen RTLD_NOW | RTLD_LOCAL, or
// RTLD_GLOBAL when `global`; LoadLibraryW on Windows, where every library is global). Null on
// failure, with the reason in LastLibraryError(). host_emulator::FindSymbol finds its symbols.
void* OpenLibrary(const std::filesystem::path& file, bool global);
std::string LastLibraryError();

// True when the library at this path is loaded in the process (by this path or by its file).
bool IsLibraryLoaded(const std::filesystem::path& file);

// The environment variable that lists folders for the library search, and its list separator.
// (Natively the loader reads it only at process start.)
extern const char kLibrarySearchVariable[];
extern const char kPathListSeparator;

// The process environment, which the plug-in and the stand-in read at every call. Values are
// UTF-8.
void SetEnvironment(const char* name, const std::string& value);
void UnsetEnvironment(const char* name);
std::optional<std::string> GetEnvironmentValue(const char* name);

// Writes the string value `name` = `value` under HKEY_CURRENT_USER\`key`, or removes the value
// when `value` is empty; false where that fails, or where there is no registry (POSIX).
bool SetUserRegistryValue(const std::string& key, const std::string& name,
                          const std::optional<std::string>& value);

// The same under the user's or the machine's root (HKEY_LOCAL_MACHINE). `data_bytes`, when
// given, stores only that many bytes of the value's UTF-16 form with its terminator: a string
// value cut short, as any program may write one.
enum class RegistryRoot { kUser, kMachine };
bool SetRegistryValue(RegistryRoot root, const std::string& key, const std::string& name,
                      const std::optional<std::string>& value,
                      std::optional<std::size_t> data_bytes = std::nullopt);

// Sets `name` in the C runtime's copy of the environment only, as a process may find it when
// the variable was removed from the process's own environment after the runtime started (or
// removes it there when `value` is empty). False where both are one (POSIX).
bool SetCRuntimeOnlyEnvironment(const char* name, const std::optional<std::string>& value);

// The variables that name the user's temporary directory.
std::vector<const char*> TempDirectoryVariables();

// The plug-in's and Ghostscript's file names on this platform.
using host_emulator::kPluginFileName;
inline constexpr char kGhostscriptFileName[] = QUILLMEND_GHOSTSCRIPT_LIBRARY;

// The environment variable that names a second Ghostscript release under test. Unset or empty,
// the real library is the build's own: Debian's libgs.so.10, or bin/real-gs/gsdll64.dll on
// Windows. Set to a release's label, it is the one the build placed in bin/real-gs-<label>/.
inline constexpr char kRealGhostscriptReleaseVariable[] = "QUILLMEND_REAL_GHOSTSCRIPT_RELEASE";

// True for a Windows test program that runs under Wine, whose job objects do not enforce every
// limit Windows does (a job's memory and its number of active processes, as of Wine 8.0).
bool UnderWine();

// Why the folder is not the current user's alone, or empty when it is: on POSIX its mode must be
// 0700; on Windows its access list must be protected from its parent's and allow the current user
// only.
std::string NotPrivateBecause(const std::filesystem::path& folder);

// The conversion worker's file name on this platform (built in bin/).
extern const char kWorkerFileName[];

// True while the process with this id runs (a process that has ended but is not yet reaped
// counts as gone).
bool ProcessIsAlive(long id);

// Where the real Ghostscript library is, or an empty path when this machine has none.
std::filesystem::path RealGhostscriptLibrary();

// The build's own real library, whatever release is chosen (one per platform).
std::filesystem::path DefaultRealGhostscriptLibrary();

// A Ghostscript library's revision as its gsapi_revision reports it (10051 for 10.05.1), or 0
// when it cannot be loaded. A library loaded already is the one asked.
long GhostscriptRevisionOf(const std::filesystem::path& library);  // NOLINT(google-runtime-int)
long RealGhostscriptRevision();                                    // NOLINT(google-runtime-int)

// Ghostscript's spelling of a revision, as in its registry key: 10051 gives "10.05.1".
std::string GhostscriptReleaseName(long revision);  // NOLINT(google-runtime-int)

// The registry key under HKEY_CURRENT_USER where the real library looks for its settings; empty
// when its revision cannot be read.
std::string RealGhostscriptRegistryKey();

// Whether the real library opens a file whose UTF-8 path holds characters outside the Basic
// Multilingual Plane such as those of kFarFromAsciiName, led by the byte F0. Natively it takes
// the bytes as they are. The Windows builds cannot: 10.0.0 decodes UTF-8 sequences of up to
// three bytes only (base/gp_wutf8.c), and 10.05.1's decoder (base/gp_utf8.c) takes a lead byte
// without data bits, E0 or F0, for an overlong form.
extern const bool kRealGhostscriptOpensPathsBeyondTheBasicPlane;

// Whether a file name may hold control characters such as a carriage return: natively any byte
// but '/' and NUL may; Windows refuses those from 1 to 31.
extern const bool kFileNamesMayHoldControlCharacters;

// Puts `target` at `place`: a symbolic link natively, so that the library stays one loaded
// object per process; a copy on Windows.
bool PlaceFile(const std::filesystem::path& target, const std::filesystem::path& place);

// UTF-8 text and paths, the same on both platforms.
std::filesystem::path Utf8Path(const std::string& text);
std::string PathUtf8(const std::filesystem::path& path);

}  // namespace quillmend::test
