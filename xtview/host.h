// The host's side of the plug-in interface: items, and the three services that xtview's main
// program exports as XWF_GetSize, XWF_Read and XWF_OutputMessage, where the plug-in looks for
// them.
#pragma once

#include <cstdint>

namespace xtview {

// What an item handle points to: one file's bytes, mapped for the length of a view.
struct Item {
  const std::uint8_t* bytes;
  std::int64_t size;
};

// With quiet messages only the plug-in's error messages are printed.
void SetQuietMessages(bool quiet);

}  // namespace xtview
