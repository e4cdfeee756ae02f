// The process's resident memory, as the kernel counts it.
#pragma once

#include <cstdint>

namespace quillmend::test {

// VmRSS from /proc/self/status, in KiB; -1 when it cannot be read.
std::int64_t ResidentKiB();

// True in builds under AddressSanitizer, whose quarantine holds freed blocks resident on
// purpose: resident memory says nothing about leaks there (LeakSanitizer does).
bool UnderAddressSanitizer();

}  // namespace quillmend::test
