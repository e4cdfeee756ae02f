// The host services, exported from the test program itself as the host exports them from its
// main program. Built into an object library per variant: the partial hosts leave one out.
#include <cstdint>

#include "host_services.h"

// QUILLMEND_TEST_HOST_EXPORT marks an export of the executable (dllexport on Windows);
// QUILLMEND_TEST_HOST_CHAR is the host's wide character: wchar_t on Windows, char16_t elsewhere.
extern "C" {

#ifndef QUILLMEND_TEST_HOST_WITHOUT_GET_SIZE
QUILLMEND_TEST_HOST_EXPORT std::int64_t XWF_GetSize(void* hVolumeOrItem, void* lpOptional) {
  return quillmend::test::ServeGetSize(hVolumeOrItem, lpOptional);
}
#endif

#ifndef QUILLMEND_TEST_HOST_WITHOUT_READ
QUILLMEND_TEST_HOST_EXPORT std::uint32_t XWF_Read(void* hVolumeOrItem, std::int64_t Offset,
                                                  std::uint8_t* lpBuffer,
                                                  std::uint32_t nNumberOfBytesToRead) {
  return quillmend::test::ServeRead(hVolumeOrItem, Offset, lpBuffer, nNumberOfBytesToRead);
}
#endif

#ifndef QUILLMEND_TEST_HOST_WITHOUT_OUTPUT_MESSAGE
QUILLMEND_TEST_HOST_EXPORT void XWF_OutputMessage(const QUILLMEND_TEST_HOST_CHAR* lpMessage,
                                                  std::uint32_t nFlags) {
  static_assert(sizeof(QUILLMEND_TEST_HOST_CHAR) == sizeof(char16_t));
  quillmend::test::ServeOutputMessage(reinterpret_cast<const char16_t*>(lpMessage), nFlags);
}
#endif

}  // extern "C"
