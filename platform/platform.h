// The seam between Quillmend's portable logic and the operating system.
//
// Every function here does one system task that plugin/, ghostscript/ and view/ need, so those
// folders stay free of platform code. platform/win implements the seam with the Win32 services;
// platform/posix with POSIX ones. Text crosses the seam as NUL-terminated UTF-16 (char16_t),
// which on Windows is exactly wchar_t. Paths are held in buffers of kPathCapacity units.
//
// No function throws; each reports failure through its result.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quillmend::os {

// The platform's MAX_PATH: every path buffer holds this many UTF-16 units, terminator included.
inline constexpr std::size_t kPathCapacity = 260;

// --- Modules -------------------------------------------------------------------------------

// The address of `name` as exported by the process's main program, or null. A symbol that only
// some other loaded library exports counts as missing.
void* FindMainProgramSymbol(const char* name);

// Writes the full path of the library file that contains this code (the plug-in, not the host)
// into `path`. False when the path cannot be had or does not fit `capacity` units.
bool GetOwnModulePath(char16_t* path, std::size_t capacity);

// Strips the last component of `path` in place, leaving its directory. False when there was
// nothing to strip.
bool RemoveLastPathComponent(char16_t* path);

// Loads a library by path, or by bare name through the platform's standard search. The library
// is never unloaded. Null on failure.
void* LoadLibraryFile(const char16_t* path);

// The full path of the file of a loaded library, in `path`. False when it cannot be had or does
// not fit `capacity` units.
bool GetLibraryPath(void* library, char16_t* path, std::size_t capacity);

// The SHA-256 digest of the whole file at `path`, read with the system's own services. False
// when it cannot be read.
bool ComputeFileSha256(const char16_t* path, std::uint8_t* digest);

// The address of `name` in a loaded library, or null.
void* FindLibrarySymbol(void* library, const char* name);

// The Ghostscript shared library's file name on this platform (QUILLMEND_GHOSTSCRIPT_LIBRARY, set
// by the build), and the directory separator that joins it to a folder.
#define QUILLMEND_UTF16_LITERAL(text) u##text
#define QUILLMEND_UTF16(text) QUILLMEND_UTF16_LITERAL(text)
inline constexpr char16_t kGhostscriptLibraryName[] =
    QUILLMEND_UTF16(QUILLMEND_GHOSTSCRIPT_LIBRARY);
extern const char16_t kDirectorySeparator;

// --- Memory ----------------------------------------------------------------------------------

// A block from the process's default heap; a request for 0 bytes still yields a valid block.
// Null when the heap cannot provide it. Blocks that cross to the host come from here too, so
// that what one call hands out another can free.
void* AllocateBlock(std::size_t bytes);
void FreeBlock(void* block);

// --- Files -----------------------------------------------------------------------------------

using FileHandle = std::intptr_t;
inline constexpr FileHandle kNoFile = -1;

// The user's temporary directory, ending in a separator. False when there is none or its path
// does not fit `capacity` units.
bool GetTempDirectory(char16_t* path, std::size_t capacity);

// Chooses a unique name in `directory` that begins with `prefix`, creates the file there, empty
// and readable by the user only, and writes its full path into `path` (kPathCapacity units).
// Creating and naming are one step, so concurrent callers never share a name.
bool CreateTempFile(const char16_t* directory, const char16_t* prefix, char16_t* path);

// Opens an existing file exclusively (no sharing), waiting, as DeleteFileAt does, for another
// program's passing hold on it. kNoFile on failure.
FileHandle OpenFileForWriting(const char16_t* path);
FileHandle OpenFileForReading(const char16_t* path);

// Writes or reads `count` bytes in what is, for the caller, one call. `*done` receives the number
// of bytes moved. False on an error of the system; a short count is for the caller to judge.
bool WriteBlock(FileHandle file, const void* data, std::uint32_t count, std::uint32_t* done);
bool ReadBlock(FileHandle file, void* data, std::uint32_t count, std::uint32_t* done);

// The whole size of an open file, in bytes.
bool GetFileSize(FileHandle file, std::uint64_t* size);

void CloseFile(FileHandle file);

// What became of a request to remove a file.
enum class Removal {
  kRemoved,
  kInUse,   // another handle keeps it: it is still there, and may go once that is closed
  kFailed,  // for any other reason, among them that it was not there
};

// Removes a file. Another program that holds it open for a moment without sharing its removal,
// as a virus scanner does with new files, is waited for, up to about a quarter of a second.
Removal DeleteFileAt(const char16_t* path);

// Removes a file with one attempt only: for a file that something may be known to hold.
Removal DeleteFileOnce(const char16_t* path);

// How Ghostscript will open a staged file: the document to read, or the output to write.
enum class GhostscriptOpens { kForReading, kForWriting };

// Makes sure Ghostscript will be able to open the staged file at `path`: opens it with the
// access Ghostscript asks for and sharing as Ghostscript shares, waiting, as DeleteFileAt does,
// for another program's passing hold on it, and keeps it open in `*held` so that no such hold
// comes between this and Ghostscript's own open. ReleaseHeldFile lets go of it; that must come
// before the file is deleted. Where a file cannot be held from the side (POSIX), there is
// nothing to do: true, with `*held` kNoFile. False when the file cannot be opened.
bool HoldFileForGhostscript(const char16_t* path, GhostscriptOpens open, FileHandle* held);
void ReleaseHeldFile(FileHandle held);

// --- Text ------------------------------------------------------------------------------------

// The number of bytes of the UTF-8 form of `text`, terminator included; 0 when it cannot be
// converted.
int Utf8Size(const char16_t* text);

// Converts `text` with its terminator into `out`, which holds `size` bytes as Utf8Size gave.
bool ConvertToUtf8(const char16_t* text, char* out, int size);

// --- Environment -----------------------------------------------------------------------------

// Where a library in this process may read an environment variable from: the process's own
// environment, or the C runtime's copy of it, which on Windows SetEnvironmentVariableW does not
// change. On POSIX both are the same.
enum class EnvironmentCopy { kProcess, kCRuntime };

enum class EnvironmentValue {
  kUnset,
  kSet,       // `value` holds it, NUL-terminated
  kUnusable,  // set, but it does not fit `capacity` bytes (on Windows, also when it has 1024
              // UTF-16 units or more) or is no text
};

// The variable's value as a library would read it: UTF-8 on Windows, the bytes as they are on
// POSIX.
EnvironmentValue ReadEnvironmentVariable(const char* name, EnvironmentCopy copy, char* value,
                                         std::size_t capacity);

// The string value `name` under `key` among the current user's settings, else among the
// machine's: the registry's HKEY_CURRENT_USER, then HKEY_LOCAL_MACHINE, on Windows, where a
// library may read there what the environment lacks. Only plain string values (REG_SZ) count, as
// for those libraries. As UTF-8, like ReadEnvironmentVariable. POSIX has no such store: kUnset.
EnvironmentValue ReadUserOrMachineSetting(const char* key, const char* name, char* value,
                                          std::size_t capacity);

// --- Path syntax -----------------------------------------------------------------------------

// True for a byte that separates path components: the slash on POSIX, the slash or the
// backslash on Windows.
bool IsPathSeparator(char c);

// The length of the part of `path` that makes it absolute: the leading slash on POSIX; on Windows
// a drive with its separator ("C:" or "C:/"), a leading separator, or a network share's server
// and share name with their separators. 0 for a relative path.
std::size_t PathRootLength(const char* path, std::size_t length);

// --- Hashing ---------------------------------------------------------------------------------

inline constexpr std::size_t kSha256Size = 32;

// Writes the SHA-256 digest of `size` bytes at `data` into `digest` (kSha256Size bytes), using
// the system's own cryptography. False when it cannot be had.
bool ComputeSha256(const void* data, std::size_t size, std::uint8_t* digest);

// --- Shared state ----------------------------------------------------------------------------

// The plug-in's one lock, for the little state that concurrent views share. It needs no set-up,
// is not recursive, and is held only for moments, never across a conversion.
void LockSharedState();
void UnlockSharedState();

// --- Unloading -------------------------------------------------------------------------------

// Has `release` called once the library is unloaded while the process goes on (on POSIX also at
// the process's normal exit). On Windows it is not called when the whole process ends: other
// threads have been cut off by then, perhaps holding the lock, and the system reclaims the
// memory anyway. The last function given wins.
void CallWhenUnloaded(void (*release)());

// --- Worker processes ------------------------------------------------------------------------

// The file name of the conversion worker, the program that runs Ghostscript in a process of its
// own beside the plug-in.
extern const char16_t kWorkerProgramName[];

// What a worker may use. Reaching a bound ends it.
struct WorkerLimits {
  std::uint64_t memory_bytes;  // its address space (POSIX) or committed memory (Windows)
  std::uint64_t file_bytes;    // the largest file it may write (POSIX; on Windows the caller
                               // watches the output's size)
  std::uint32_t cpu_seconds;   // processor time, a backstop behind the caller's deadline
};

struct Worker;

// The most arguments a worker can be given.
inline constexpr int kMostWorkerArguments = 35;

// Why a worker could not be started.
enum class WorkerStartFailure {
  kNotStarted,  // the program could not be run (missing, unreadable, no resources)
  kNotBounded,  // the system would not hold it to its bounds: on Windows the job object was
                // refused (a host already in a job that allows none inside it); on POSIX the
                // child could not set its limits or filter
};

// The exit code a POSIX worker's child gives when it cannot bind itself before it runs the
// program: the parent learns of it only once the child ends.
inline constexpr int kWorkerNotBoundedExitCode = 125;

// Starts `program` with the arguments `arguments` (`count` NUL-terminated texts, the program's
// own name not among them) as a worker: no handle or descriptor of this process is inherited, its
// standard streams lead nowhere, it shows no window and no crash report, it can start no process
// of its own, and it is held to `limits`. Its environment is made here, not inherited: only the
// temporary directory `temp_directory` (TMPDIR, TMP and TEMP, so that no library falls back to a
// folder of the workstation's settings) and what the system itself needs. Null when it cannot be
// started, with the reason in `*failure`.
Worker* StartWorker(const char16_t* program, const char16_t* const* arguments, int count,
                    const char16_t* temp_directory, const WorkerLimits& limits,
                    WorkerStartFailure* failure);

enum class WorkerState {
  kRunning,
  kExited,              // it ended by itself: `*exit_code` holds its exit code (on Windows never
                        // 3, the C runtime's abort, which counts as abnormal)
  kEndedAbnormally,     // a crash, or the system ended it at a bound not named below
  kPastFileLimit,       // the system ended it for writing past `file_bytes` (POSIX)
  kPastProcessorLimit,  // the system ended it at `cpu_seconds` (POSIX)
};

// Waits up to `milliseconds` for the worker to end, returning as soon as it does.
WorkerState WaitForWorker(Worker* worker, std::uint32_t milliseconds, int* exit_code);

// Ends the worker, if it still runs, and everything it started, waits for them to be gone and
// frees `worker`. Also for a worker that ended by itself: whatever it left running ends too.
void EndWorker(Worker* worker);

// A clock for deadlines: milliseconds since some fixed moment, never going back.
std::uint64_t MonotonicMilliseconds();

// The logical processors this process may run on (on Windows those of every processor group); at
// least 1.
std::uint32_t CountLogicalProcessors();

// The size of the file at `path`, without opening it for the caller. False when it is not there.
bool GetFileSizeAt(const char16_t* path, std::uint64_t* size);

// The bytes the files directly in the folder `path` hold together. False when it cannot be
// listed.
bool GetFolderFilesSize(const char16_t* path, std::uint64_t* size);

// Creates a new folder in `directory` whose name begins with `prefix`, for the user alone (on
// Windows its access list names the user only, whatever the temporary directory's allows), and
// writes its full path, ending in a separator, into `path` (kPathCapacity units).
bool CreatePrivateDirectory(const char16_t* directory, const char16_t* prefix, char16_t* path);

// Removes the files in the folder `path` (as CreatePrivateDirectory gave it), then the folder,
// waiting as DeleteFileAt does for another program's passing hold on either. False when anything
// stays.
bool RemovePrivateDirectory(const char16_t* path);

// Keeps the system from showing a crash report or an error box for this process: a crash ends
// it quietly. For the worker, before it loads Ghostscript.
void SuppressCrashReports();

// --- User interface --------------------------------------------------------------------------

// Shows `text` under `caption` to the user as an information message with a single OK button,
// and returns once the user has dismissed it.
void ShowInformationBox(const char16_t* text, const char16_t* caption);

}  // namespace quillmend::os
