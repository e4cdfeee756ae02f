// The host's services: the three functions the X-Ways host exports from its main program, which
// the plug-in calls back into to read an item and to show a message.
//
// Host types: INT64 = int64_t, DWORD = uint32_t, HANDLE and PVOID = void*, BYTE = uint8_t, and
// the host's wchar_t text is UTF-16 (char16_t).
#pragma once

#include <cstdint>

namespace quillmend {

using XwfGetSize = std::int64_t (*)(void* hVolumeOrItem, void* lpOptional);
using XwfRead = std::uint32_t (*)(void* hVolumeOrItem, std::int64_t Offset, std::uint8_t* lpBuffer,
                                  std::uint32_t nNumberOfBytesToRead);
using XwfOutputMessage = void (*)(const char16_t* lpMessage, std::uint32_t nFlags);

struct HostServices {
  XwfGetSize GetSize;
  XwfRead Read;
  XwfOutputMessage OutputMessage;
};

// Written only by XT_Init; read-only afterwards.
extern HostServices HostApi;

// Looks up the three services in the host's main program. True only when all three are there.
bool BindHostApi();

// True once every service is bound.
bool HostApiIsBound();

// The two flags values the plug-in passes to XWF_OutputMessage: 0 for the start-up error, 2 for
// its other messages.
inline constexpr std::uint32_t kStartupErrorFlags = 0;
inline constexpr std::uint32_t kNoticeFlags = 2;
// The plain lines that follow a message: a failure's reason, and what the plug-in runs with.
inline constexpr std::uint32_t kReasonFlags = 0;
inline constexpr std::uint32_t kInformationFlags = 0;

}  // namespace quillmend
