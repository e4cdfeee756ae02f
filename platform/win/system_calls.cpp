#include "system_calls.h"

namespace quillmend::os {

SystemCalls Win32 = {
    ::GetTempPathW,  ::GetTempFileNameW, ::CreateFileW, ::WriteFile, ::ReadFile,
    ::GetFileSizeEx, ::DeleteFileW,      ::HeapAlloc,   ::HeapFree,  ::AssignProcessToJobObject,
};

}  // namespace quillmend::os
