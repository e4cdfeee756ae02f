#include "interrupt.h"

#include <atomic>
#include <cstdlib>

#include "console.h"
#include "output_file.h"
#include "report.h"
#include "system.h"

namespace xtview {

namespace {

std::atomic<int> interrupts = 0;

[[noreturn]] void StopAtOnce() {
  AbandonOutputFiles();
  std::string error;
  const bool reported = report::Finish(kInterruptedExitCode, true, &error);
  console::EndProgress();
  if (!reported) sys::Write(sys::Stream::Err, "xtview: cannot write the report: " + error + "\n");
  sys::Write(sys::Stream::Err, "xtview: interrupted\n");
  std::_Exit(kInterruptedExitCode);
}

void OnInterrupt() {
  if (interrupts.fetch_add(1) > 0) StopAtOnce();
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
