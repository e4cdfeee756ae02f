#include "interrupt.h"

#include <atomic>

#include "console.h"
#include "output_file.h"
#include "system.h"

namespace xtview {

namespace {

std::atomic<int> interrupts = 0;

void OnInterrupt() {
  if (interrupts.fetch_add(1) > 0) AbandonOutputFiles();
  console::Print(sys::Stream::Err,
                 "xtview: interrupted: finishing the views in progress (interrupt again to stop "
                 "at once)");
}

}  // namespace

void HandleInterrupts() {
  sys::OnInterrupt(&OnInterrupt);
}

bool StopRequested() {
  return interrupts > 0;
}

}  // namespace xtview
