#include <cstdlib>

#include "pdf_check.h"

namespace quillmend::test {

double MeanAbsoluteDifference(const GrayPage& a, const GrayPage& b) {
  if (a.width != b.width || a.height != b.height || a.pixels.empty()) return -1;
  double total = 0;
  for (std::size_t i = 0; i < a.pixels.size(); ++i) {
    total += std::abs(static_cast<int>(a.pixels[i]) - static_cast<int>(b.pixels[i]));
  }
  return total / static_cast<double>(a.pixels.size());
}

}  // namespace quillmend::test
