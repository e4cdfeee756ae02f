// Worker processes on Windows: each runs alone in a job object that bounds its memory and
// processor time, lets it start no process of its own, ends it without a crash report when it
// faults, and ends everything in it when the job's handle closes.
#include <windows.h>
// bcrypt.h needs windows.h's types first.
#include <bcrypt.h>

#include <new>

#include "passing_hold.h"
#include "platform/platform.h"
#include "system_calls.h"
#include "wide.h"

namespace quillmend::os {

const char16_t kWorkerProgramName[] = u"quillmend-convert.exe";

struct Worker {
  HANDLE process;
  HANDLE job;
};

namespace {

// Quotes and doubled trailing backslashes around each of the program and its arguments.
constexpr std::size_t kCommandLineUnits = (kMostWorkerArguments + 1) * (2 * kPathCapacity + 3) + 1;
// SystemRoot, TEMP, TMP and TMPDIR, each with its name, and the block's closing NUL.
constexpr std::size_t kEnvironmentUnits = 4 * (kPathCapacity + 16) + 1;
constexpr DWORD kEndWaitMs = 10000;
// NTSTATUS values of error severity.
constexpr DWORD kFirstErrorStatus = 0xC0000000;
// What the C runtime's abort ends a process with.
constexpr DWORD kAbortExitCode = 3;
constexpr int kNameAttempts = 100;

std::size_t Length(const wchar_t* text) {
  std::size_t length = 0;
  while (text[length] != L'\0') ++length;
  return length;
}

// Appends `text` to `out` at `*used`, within `capacity` units; false when it does not fit.
bool Append(wchar_t* out, std::size_t* used, std::size_t capacity, const wchar_t* text,
            std::size_t length) {
  if (*used + length >= capacity) return false;
  for (std::size_t i = 0; i < length; ++i) out[(*used)++] = text[i];
  out[*used] = L'\0';
  return true;
}

// One argument as the C runtime splits the command line: in quotes, with the backslashes before
// the closing quote doubled. A path holds no quote of its own.
bool AppendQuoted(wchar_t* out, std::size_t* used, std::size_t capacity, const wchar_t* text) {
  const std::size_t length = Length(text);
  std::size_t trailing = 0;
  while (trailing < length && text[length - 1 - trailing] == L'\\') ++trailing;
  if (*used != 0 && !Append(out, used, capacity, L" ", 1)) return false;
  if (!Append(out, used, capacity, L"\"", 1)) return false;
  if (!Append(out, used, capacity, text, length)) return false;
  for (std::size_t i = 0; i < trailing; ++i) {
    if (!Append(out, used, capacity, L"\\", 1)) return false;
  }
  return Append(out, used, capacity, L"\"", 1);
}

// "NAME=value" and its NUL in the environment block; a folder's trailing separator is dropped.
bool AppendVariable(wchar_t* out, std::size_t* used, const wchar_t* name, const wchar_t* value) {
  std::size_t length = Length(value);
  if (length > 3 && value[length - 1] == L'\\') --length;
  if (!Append(out, used, kEnvironmentUnits, name, Length(name))) return false;
  if (!Append(out, used, kEnvironmentUnits, L"=", 1)) return false;
  if (!Append(out, used, kEnvironmentUnits, value, length)) return false;
  // The variable's own NUL: the block's next entry starts past it.
  if (*used + 1 >= kEnvironmentUnits) return false;
  out[(*used)++] = L'\0';
  return true;
}

// The worker's whole environment, in the order Windows keeps it (sorted by name). Ghostscript
// asks for TMPDIR first and, where the environment lacks it, reads it from the registry key of
// its release: without it here, its scratch files would land in a folder of the workstation's.
bool FormEnvironment(wchar_t* block, const wchar_t* temp_directory) {
  wchar_t system_root[kPathCapacity];
  const DWORD length = GetEnvironmentVariableW(L"SystemRoot", system_root, kPathCapacity);
  std::size_t used = 0;
  if (length > 0 && length < kPathCapacity &&
      !AppendVariable(block, &used, L"SystemRoot", system_root)) {
    return false;
  }
  if (!AppendVariable(block, &used, L"TEMP", temp_directory)) return false;
  if (!AppendVariable(block, &used, L"TMP", temp_directory)) return false;
  if (!AppendVariable(block, &used, L"TMPDIR", temp_directory)) return false;
  block[used] = L'\0';
  return true;
}

HANDLE BoundedJob(const WorkerLimits& limits) {
  HANDLE job = CreateJobObjectW(nullptr, nullptr);
  if (job == nullptr) return nullptr;
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION bounds = {};
  bounds.BasicLimitInformation.LimitFlags =
      JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_ACTIVE_PROCESS |
      JOB_OBJECT_LIMIT_JOB_MEMORY | JOB_OBJECT_LIMIT_JOB_TIME |
      JOB_OBJECT_LIMIT_DIE_ON_UNHANDLED_EXCEPTION;
  bounds.BasicLimitInformation.ActiveProcessLimit = 1;
  bounds.BasicLimitInformation.PerJobUserTimeLimit.QuadPart =
      static_cast<LONGLONG>(limits.cpu_seconds) * 10000000LL;
  bounds.JobMemoryLimit = static_cast<SIZE_T>(limits.memory_bytes);
  if (!SetInformationJobObject(job, JobObjectExtendedLimitInformation, &bounds, sizeof(bounds))) {
    CloseHandle(job);
    return nullptr;
  }
  return job;
}

}  // namespace

Worker* StartWorker(const char16_t* program, const char16_t* const* arguments, int count,
                    const char16_t* temp_directory, const WorkerLimits& limits,
                    WorkerStartFailure* failure) {
  *failure = WorkerStartFailure::kNotStarted;
  if (count < 0 || count > kMostWorkerArguments) return nullptr;
  auto* command_line = static_cast<wchar_t*>(AllocateBlock(kCommandLineUnits * sizeof(wchar_t)));
  auto* environment = static_cast<wchar_t*>(AllocateBlock(kEnvironmentUnits * sizeof(wchar_t)));
  void* block = AllocateBlock(sizeof(Worker));
  Worker* worker = nullptr;
  HANDLE job = nullptr;
  std::size_t used = 0;
  bool formed = command_line != nullptr && environment != nullptr && block != nullptr &&
                AppendQuoted(command_line, &used, kCommandLineUnits, Wide(program)) &&
                FormEnvironment(environment, Wide(temp_directory));
  for (int i = 0; formed && i < count; ++i) {
    formed = AppendQuoted(command_line, &used, kCommandLineUnits, Wide(arguments[i]));
  }
  if (formed) job = BoundedJob(limits);
  if (job != nullptr) {
    // Suspended until it is in the job, so that not one instruction runs unbounded; no handle of
    // the host's is inherited.
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION started = {};
    if (CreateProcessW(Wide(program), command_line, nullptr, nullptr, FALSE,
                       CREATE_SUSPENDED | CREATE_NO_WINDOW | CREATE_UNICODE_ENVIRONMENT,
                       environment, Wide(temp_directory), &startup, &started)) {
      const bool bounded = Win32.AssignProcessToJobObject(job, started.hProcess) != FALSE;
      if (!bounded) *failure = WorkerStartFailure::kNotBounded;
      if (bounded && ResumeThread(started.hThread) != static_cast<DWORD>(-1)) {
        worker = new (block) Worker{started.hProcess, job};
        block = nullptr;
        job = nullptr;
      } else {
        TerminateProcess(started.hProcess, 1);
        WaitForSingleObject(started.hProcess, kEndWaitMs);
        CloseHandle(started.hProcess);
      }
      CloseHandle(started.hThread);
    }
  }
  if (job != nullptr) CloseHandle(job);
  FreeBlock(block);
  FreeBlock(environment);
  FreeBlock(command_line);
  return worker;
}

WorkerState WaitForWorker(Worker* worker, std::uint32_t milliseconds, int* exit_code) {
  const DWORD waited = WaitForSingleObject(worker->process, milliseconds);
  if (waited == WAIT_TIMEOUT) return WorkerState::kRunning;
  DWORD code = 1;
  if (waited != WAIT_OBJECT_0 || !GetExitCodeProcess(worker->process, &code)) {
    return WorkerState::kEndedAbnormally;
  }
  // A process the job ends on an unhandled exception exits with the exception's status, an
  // error status of the system (0xC0000005 for an access violation), and one that aborts with the
  // C runtime's code for abort; the worker's own codes are others.
  if (code >= kFirstErrorStatus || code == kAbortExitCode) return WorkerState::kEndedAbnormally;
  *exit_code = static_cast<int>(code);
  return WorkerState::kExited;
}

void EndWorker(Worker* worker) {
  if (worker == nullptr) return;
  TerminateJobObject(worker->job, 1);
  WaitForSingleObject(worker->process, kEndWaitMs);
  // Closing the job's last handle ends whatever may still be in it.
  CloseHandle(worker->job);
  CloseHandle(worker->process);
  FreeBlock(worker);
}

std::uint64_t MonotonicMilliseconds() {
  return GetTickCount64();
}

bool GetFileSizeAt(const char16_t* path, std::uint64_t* size) {
  // Asked of the file itself, not of its folder's listing, which may lag behind a writer.
  HANDLE file = CreateFileW(Wide(path), FILE_READ_ATTRIBUTES,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER whole = {};
  const bool known = GetFileSizeEx(file, &whole) && whole.QuadPart >= 0;
  CloseHandle(file);
  if (known) *size = static_cast<std::uint64_t>(whole.QuadPart);
  return known;
}

namespace {

// Calls `visit` with the full path of each file directly in the folder `path` (ending in a
// separator). False when the folder cannot be listed.
template <typename Visit>
bool ForEachFileIn(const char16_t* path, Visit visit) {
  wchar_t pattern[kPathCapacity + 2];
  const std::size_t length = Length(Wide(path));
  if (length + 2 > kPathCapacity + 1) return false;
  for (std::size_t i = 0; i < length; ++i) pattern[i] = Wide(path)[i];
  pattern[length] = L'*';
  pattern[length + 1] = L'\0';
  WIN32_FIND_DATAW found;
  HANDLE listing = FindFirstFileW(pattern, &found);
  if (listing == INVALID_HANDLE_VALUE) return false;
  do {
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) continue;
    const std::size_t name = Length(found.cFileName);
    if (length + name + 1 > kPathCapacity) continue;
    char16_t file[kPathCapacity];
    for (std::size_t i = 0; i < length; ++i) file[i] = path[i];
    for (std::size_t i = 0; i <= name; ++i) file[length + i] = found.cFileName[i];
    visit(file);
  } while (FindNextFileW(listing, &found));
  FindClose(listing);
  return true;
}

}  // namespace

bool GetFolderFilesSize(const char16_t* path, std::uint64_t* size) {
  std::uint64_t total = 0;
  // Each file is asked itself: the listing's sizes may lag behind a writer.
  const bool listed = ForEachFileIn(path, [&total](const char16_t* file) {
    std::uint64_t bytes = 0;
    if (GetFileSizeAt(file, &bytes)) total += bytes;
  });
  *size = total;
  return listed;
}

namespace {

// A security descriptor whose access list grants the current user everything and nobody else
// anything, inherited by all that is made inside and protected from the parent's entries. A
// temporary directory such as a shared C:\Temp lets others in; its entries must not pass on.
// Its parts live in `storage`, which must outlive its use.
struct UserOnlySecurity {
  SECURITY_DESCRIPTOR descriptor;
  alignas(DWORD) BYTE acl[256];
  alignas(DWORD) BYTE user[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
};

bool FormUserOnlySecurity(UserOnlySecurity* storage, SECURITY_ATTRIBUTES* attributes) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  DWORD needed = 0;
  const BOOL known =
      GetTokenInformation(token, TokenUser, storage->user, sizeof(storage->user), &needed);
  CloseHandle(token);
  if (!known) return false;
  PSID sid = reinterpret_cast<TOKEN_USER*>(storage->user)->User.Sid;
  auto* acl = reinterpret_cast<PACL>(storage->acl);
  if (!InitializeAcl(acl, sizeof(storage->acl), ACL_REVISION) ||
      !AddAccessAllowedAceEx(acl, ACL_REVISION, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE,
                             GENERIC_ALL, sid) ||
      !InitializeSecurityDescriptor(&storage->descriptor, SECURITY_DESCRIPTOR_REVISION) ||
      !SetSecurityDescriptorDacl(&storage->descriptor, TRUE, acl, FALSE) ||
      !SetSecurityDescriptorControl(&storage->descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED)) {
    return false;
  }
  *attributes = {sizeof(SECURITY_ATTRIBUTES), &storage->descriptor, FALSE};
  return true;
}

// What a folder's removal meets while a scanner still holds a file that is already deleted.
bool IsPassingHoldOnFolder(DWORD error) {
  return IsPassingLock(error) || error == ERROR_DIR_NOT_EMPTY;
}

}  // namespace

bool CreatePrivateDirectory(const char16_t* directory, const char16_t* prefix, char16_t* path) {
  const std::size_t directory_length = Length(Wide(directory));
  const std::size_t prefix_length = Length(Wide(prefix));
  // "<directory><prefix>XXXXXXXX\"
  if (directory_length + prefix_length + 8 + 2 > kPathCapacity) return false;
  UserOnlySecurity storage;
  SECURITY_ATTRIBUTES security;
  if (!FormUserOnlySecurity(&storage, &security)) return false;
  wchar_t* name = Wide(path);
  for (std::size_t i = 0; i < directory_length; ++i) name[i] = Wide(directory)[i];
  for (std::size_t i = 0; i < prefix_length; ++i) name[directory_length + i] = Wide(prefix)[i];
  wchar_t* digits = name + directory_length + prefix_length;
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    UINT32 number = 0;
    if (!BCRYPT_SUCCESS(BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(&number), sizeof(number),
                                        BCRYPT_USE_SYSTEM_PREFERRED_RNG))) {
      return false;
    }
    for (int i = 7; i >= 0; --i, number >>= 4) digits[i] = L"0123456789ABCDEF"[number & 0xF];
    digits[8] = L'\0';
    if (CreateDirectoryW(name, &security)) {
      digits[8] = L'\\';
      digits[9] = L'\0';
      return true;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS) return false;
  }
  return false;
}

bool RemovePrivateDirectory(const char16_t* path) {
  ForEachFileIn(path, [](const char16_t* file) { DeleteFileAt(file); });
  return Retrying([path] { return RemoveDirectoryW(Wide(path)) != FALSE; }, IsPassingHoldOnFolder);
}

void SuppressCrashReports() {
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
}

}  // namespace quillmend::os
