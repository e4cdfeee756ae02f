// xtview's output: whole lines from any thread, one at a time, with an optional progress line
// that the other lines scroll above.
#pragma once

#include <cstddef>
#include <string>

#include "system.h"

namespace xtview::console {

// Prints `line` and a line end.
void Print(sys::Stream stream, const std::string& line);

// Shows "done / total, elapsed, estimated rest" below the printed lines until EndProgress.
void StartProgress(std::size_t total);
void FileDone();
void EndProgress();

// "1.25 s", "3 min 04 s"
std::string FormatSeconds(double seconds);

}  // namespace xtview::console
