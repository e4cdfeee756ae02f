// The three services, exported from the main executable that links this file: the plug-in looks
// for the host's services there and nowhere else. The tests build hosts that lack one, with
// QUILLMEND_HOST_WITHOUT_GET_SIZE, QUILLMEND_HOST_WITHOUT_READ or
// QUILLMEND_HOST_WITHOUT_OUTPUT_MESSAGE.
#include <type_traits>

#include "host.h"

using quillmend::host_emulator::Services;

// The host declares the message text as wchar_t, which on Windows is one UTF-16 unit: the same
// argument layout as char16_t, which the plug-in uses on every platform.
extern "C" {

#ifndef QUILLMEND_HOST_WITHOUT_GET_SIZE
QUILLMEND_HOST_EXPORT std::int64_t XWF_GetSize(void* hVolumeOrItem, void* lpOptional) {
  return Services().GetSize(hVolumeOrItem, lpOptional);
}
static_assert(std::is_same_v<decltype(&XWF_GetSize), quillmend::XwfGetSize>);
#endif

#ifndef QUILLMEND_HOST_WITHOUT_READ
QUILLMEND_HOST_EXPORT std::uint32_t XWF_Read(void* hVolumeOrItem, std::int64_t Offset,
                                             std::uint8_t* lpBuffer,
                                             std::uint32_t nNumberOfBytesToRead) {
  return Services().Read(hVolumeOrItem, Offset, lpBuffer, nNumberOfBytesToRead);
}
static_assert(std::is_same_v<decltype(&XWF_Read), quillmend::XwfRead>);
#endif

#ifndef QUILLMEND_HOST_WITHOUT_OUTPUT_MESSAGE
QUILLMEND_HOST_EXPORT void XWF_OutputMessage(const char16_t* lpMessage, std::uint32_t nFlags) {
  Services().OutputMessage(lpMessage, nFlags);
}
static_assert(std::is_same_v<decltype(&XWF_OutputMessage), quillmend::XwfOutputMessage>);
#endif

}  // extern "C"
