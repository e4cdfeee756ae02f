// The rules every answer of the view path keeps, whatever the item and whichever Ghostscript:
// written once for the hostile and load tests and both fuzz targets. Each returns the rule that
// is broken, or null when all hold.
#pragma once

#include <cstdint>

#include "host_emulator/plugin_loader.h"

namespace quillmend::test {

// A result size of -1, -2 or a length, and a buffer exactly when the size is not negative.
const char* BrokenAnswerRule(const void* buffer, std::int64_t size);

// Gives `buffer` back through XT_ReleaseMem, which must answer 1 for a buffer and 0 for null.
const char* BrokenReleaseRule(const host_emulator::Plugin& plugin, void* buffer);

// The plug-in called the host only for `item`, the one it was given, and read it only from its
// start (the host of support/test_host.h, since its last reset).
const char* BrokenCallsRule(void* item);

}  // namespace quillmend::test
