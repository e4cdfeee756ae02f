// Built into the test build of the plug-in only: makes any call of the Win32 table fail on its
// N-th use with a chosen error, and counts the heap blocks the plug-in holds, so that tests can
// walk every failure path of a view and see that nothing is left behind.
#include <windows.h>

#include <cstring>

#include "system_calls.h"

namespace quillmend::os {
namespace {

enum Call {
  kGetTempPath,
  kGetTempFileName,
  kCreateFile,
  kWriteFile,
  kReadFile,
  kGetFileSize,
  kDeleteFile,
  kHeapAlloc,
  kAssignProcessToJobObject,
  kCallCount
};

const char* const kCallNames[kCallCount] = {
    "GetTempPathW", "GetTempFileNameW", "CreateFileW",
    "WriteFile",    "ReadFile",         "GetFileSizeEx",
    "DeleteFileW",  "HeapAlloc",        "AssignProcessToJobObject"};

// Calls number `first` to `first + times - 1` (from 1) fail with `error`; a negative `times`
// makes every call from `first` on fail. ERROR_SUCCESS makes a call that moves bytes or gives a
// size succeed falsely instead: a read or write moves only half of what was asked (rounded
// down), and a file's size comes back as 4 GiB.
struct Plan {
  long calls = 0;
  long first = 0;
  long times = 0;
  DWORD error = 0;
};

SRWLOCK lock = SRWLOCK_INIT;
Plan plans[kCallCount];
long blocks_held = 0;
SystemCalls system_functions;
bool installed = false;

enum class Outcome { kReal, kFails, kFalseSuccess };

// Counts the call and tells what becomes of it; a failure has its error set.
Outcome Planned(Call call) {
  AcquireSRWLockExclusive(&lock);
  Plan& plan = plans[call];
  const long number = ++plan.calls;
  const bool planned = plan.first > 0 && number >= plan.first &&
                       (plan.times < 0 || number < plan.first + plan.times);
  const DWORD error = plan.error;
  ReleaseSRWLockExclusive(&lock);
  if (!planned) return Outcome::kReal;
  if (error == ERROR_SUCCESS) return Outcome::kFalseSuccess;
  SetLastError(error);
  return Outcome::kFails;
}

// True when the call is to fail, with the error set; a false success counts as none.
bool Fails(Call call) {
  return Planned(call) == Outcome::kFails;
}

DWORD WINAPI GetTempPathFault(DWORD capacity, LPWSTR path) {
  return Fails(kGetTempPath) ? 0 : system_functions.GetTempPathW(capacity, path);
}
UINT WINAPI GetTempFileNameFault(LPCWSTR directory, LPCWSTR prefix, UINT unique, LPWSTR path) {
  return Fails(kGetTempFileName)
             ? 0
             : system_functions.GetTempFileNameW(directory, prefix, unique, path);
}
HANDLE WINAPI CreateFileFault(LPCWSTR path, DWORD access, DWORD share,
                              LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD attributes,
                              HANDLE model) {
  if (Fails(kCreateFile)) return INVALID_HANDLE_VALUE;
  return system_functions.CreateFileW(path, access, share, security, disposition, attributes,
                                      model);
}
BOOL WINAPI WriteFileFault(HANDLE file, LPCVOID data, DWORD count, LPDWORD done, LPOVERLAPPED o) {
  if (done != nullptr) *done = 0;
  const Outcome outcome = Planned(kWriteFile);
  if (outcome == Outcome::kFails) return FALSE;
  if (outcome == Outcome::kFalseSuccess) count /= 2;
  return system_functions.WriteFile(file, data, count, done, o);
}
BOOL WINAPI ReadFileFault(HANDLE file, LPVOID data, DWORD count, LPDWORD done, LPOVERLAPPED o) {
  if (done != nullptr) *done = 0;
  const Outcome outcome = Planned(kReadFile);
  if (outcome == Outcome::kFails) return FALSE;
  if (outcome == Outcome::kFalseSuccess) count /= 2;
  return system_functions.ReadFile(file, data, count, done, o);
}
BOOL WINAPI GetFileSizeFault(HANDLE file, PLARGE_INTEGER size) {
  const Outcome outcome = Planned(kGetFileSize);
  if (outcome == Outcome::kFails) return FALSE;
  if (outcome == Outcome::kReal) return system_functions.GetFileSizeEx(file, size);
  size->QuadPart = LONGLONG{1} << 32;
  return TRUE;
}
BOOL WINAPI DeleteFileFault(LPCWSTR path) {
  return Fails(kDeleteFile) ? FALSE : system_functions.DeleteFileW(path);
}
LPVOID WINAPI HeapAllocFault(HANDLE heap, DWORD flags, SIZE_T bytes) {
  if (Fails(kHeapAlloc)) return nullptr;
  LPVOID block = system_functions.HeapAlloc(heap, flags, bytes);
  if (block != nullptr) InterlockedIncrement(&blocks_held);
  return block;
}
BOOL WINAPI AssignProcessToJobObjectFault(HANDLE job, HANDLE process) {
  return Fails(kAssignProcessToJobObject) ? FALSE
                                          : system_functions.AssignProcessToJobObject(job, process);
}
BOOL WINAPI HeapFreeFault(HANDLE heap, DWORD flags, LPVOID block) {
  const BOOL freed = system_functions.HeapFree(heap, flags, block);
  if (freed && block != nullptr) InterlockedDecrement(&blocks_held);
  return freed;
}

void Install() {
  if (installed) return;
  installed = true;
  system_functions = Win32;
  Win32 = {GetTempPathFault, GetTempFileNameFault,
           CreateFileFault,  WriteFileFault,
           ReadFileFault,    GetFileSizeFault,
           DeleteFileFault,  HeapAllocFault,
           HeapFreeFault,    AssignProcessToJobObjectFault};
}

int CallNamed(const char* name) {
  for (int call = 0; call < kCallCount; ++call) {
    if (std::strcmp(kCallNames[call], name) == 0) return call;
  }
  return -1;
}

}  // namespace
}  // namespace quillmend::os

using namespace quillmend::os;

// Plans the failures of one call (see Plan) and starts its count afresh; a null name clears
// every plan and count. False for a name the table does not have.
extern "C" __declspec(dllexport) bool QuillmendFailSystemCall(const char* name, long first,
                                                              long times, unsigned long error) {
  Install();
  AcquireSRWLockExclusive(&lock);
  const int call = name == nullptr ? -1 : CallNamed(name);
  if (name == nullptr) {
    for (Plan& plan : plans) plan = Plan{};
  } else if (call >= 0) {
    plans[call] = Plan{0, first, times, error};
  }
  ReleaseSRWLockExclusive(&lock);
  return name == nullptr || call >= 0;
}

// How often the call was made since its count last started; -1 for an unknown name.
extern "C" __declspec(dllexport) long QuillmendSystemCallCount(const char* name) {
  Install();
  const int call = CallNamed(name);
  if (call < 0) return -1;
  AcquireSRWLockShared(&lock);
  const long calls = plans[call].calls;
  ReleaseSRWLockShared(&lock);
  return calls;
}

// Blocks the plug-in has taken from the heap and not given back (the host's included).
extern "C" __declspec(dllexport) long QuillmendBlocksHeld() {
  Install();
  return InterlockedCompareExchange(&blocks_held, 0, 0);
}
