// The Win32 calls the file, memory and worker functions make, gathered in one table so that a test
// build of the plug-in can make any of them fail (system_call_faults.cpp). The shipped plug-in
// never changes the table: it holds the system's own functions.
#pragma once

#include <windows.h>

namespace quillmend::os {

struct SystemCalls {
  DWORD(WINAPI* GetTempPathW)(DWORD, LPWSTR);
  UINT(WINAPI* GetTempFileNameW)(LPCWSTR, LPCWSTR, UINT, LPWSTR);
  HANDLE(WINAPI* CreateFileW)(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);
  BOOL(WINAPI* WriteFile)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);
  BOOL(WINAPI* ReadFile)(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED);
  BOOL(WINAPI* GetFileSizeEx)(HANDLE, PLARGE_INTEGER);
  BOOL(WINAPI* DeleteFileW)(LPCWSTR);
  LPVOID(WINAPI* HeapAlloc)(HANDLE, DWORD, SIZE_T);
  BOOL(WINAPI* HeapFree)(HANDLE, DWORD, LPVOID);
  BOOL(WINAPI* AssignProcessToJobObject)(HANDLE, HANDLE);
};

extern SystemCalls Win32;

}  // namespace quillmend::os
