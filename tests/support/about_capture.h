// Calls XT_About and captures what the user would have seen.
#pragma once

#include <cstdint>
#include <string>

#include "plugin_loader.h"

namespace quillmend::test {

struct AboutCapture {
  std::int32_t result = -1;
  // Natively the bytes written to standard error; on Windows the box's caption, an empty line
  // and its text, in UTF-8, laid out the same way.
  std::string shown;
  // Set when this platform could not show the box at all (Wine without a display); the test
  // then has nothing to compare.
  std::string unavailable;
};

AboutCapture CaptureAbout(const Plugin& plugin);

}  // namespace quillmend::test
