// A library that exports all three host services but is not the host. Tests load it globally
// beside a main program that lacks some service: the plug-in must not take these for the host's.
#include <atomic>
#include <cstdint>

namespace {
std::atomic<int> calls{0};
}

extern "C" {

QUILLMEND_TEST_HOST_EXPORT std::int64_t XWF_GetSize(void*, void*) {
  ++calls;
  return 1000;
}

QUILLMEND_TEST_HOST_EXPORT std::uint32_t XWF_Read(void*, std::int64_t, std::uint8_t*,
                                                  std::uint32_t count) {
  ++calls;
  return count;
}

QUILLMEND_TEST_HOST_EXPORT void XWF_OutputMessage(const char16_t*, std::uint32_t) {
  ++calls;
}

// How often any of the services above was called.
QUILLMEND_TEST_HOST_EXPORT int DecoyHostCallCount() {
  return calls.load();
}

}  // extern "C"
