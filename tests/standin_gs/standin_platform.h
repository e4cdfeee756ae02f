// What the stand-in Ghostscript library does differently on each platform.
#pragma once

#include <cstdio>
#include <string>

#ifdef _WIN32
#define STANDIN_EXPORT __declspec(dllexport)
#else
#define STANDIN_EXPORT __attribute__((visibility("default")))
#endif

namespace standin {

// The variable's value, read afresh from the process environment; empty when unset.
std::string GetEnvironment(const char* name);

// Opens a path as it arrived in the argument vector. Like Ghostscript on Windows, the stand-in
// reads argument bytes in the ANSI code page unless UTF-8 (encoding 1) was set.
std::FILE* OpenArgumentPath(const char* path, const char* mode, int encoding);
bool RemoveArgumentPath(const char* path, int encoding);

// The text of the file "standin-control" beside the library itself, or empty: how a test steers
// a copy loaded by a program whose environment it cannot set (the conversion worker).
std::string ControlFileText();

// Appends `line` to the file at `path` (created if need be) so that no other thread's or
// process's append can split or overwrite it: several workers log to one file at once.
void AppendLine(const char* path, const std::string& line);

// This process's id.
long ProcessId();

// Starts a process that stays until it is killed, with its id in `id`; false when the system
// refuses.
bool StartIdleProcess(long* id);

// A file's permission bits in octal ("600"); empty on Windows, which has none.
std::string PermissionBits(const char* path);

}  // namespace standin
