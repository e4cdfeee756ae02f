// The item the benchmark serves to the plug-in through the host services it exports, as the host
// serves an evidence item: its bytes sit in memory and XWF_Read copies from them.
#pragma once

#include <cstdint>

namespace quillmend::bench {

struct Item {
  const std::uint8_t* bytes = nullptr;
  std::int64_t size = 0;
};

// The number of messages the plug-in has sent whose text begins "[ERROR]".
int ErrorMessageCount();

}  // namespace quillmend::bench
