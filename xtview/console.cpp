#include "console.h"

#include <chrono>
#include <cstdio>
#include <mutex>

namespace xtview::console {

namespace {

using Clock = std::chrono::steady_clock;

std::mutex output_lock;
bool progress_shown = false;
std::size_t progress_total = 0;
std::size_t progress_done = 0;
std::size_t progress_width = 0;
Clock::time_point progress_start;

std::string ClockText(double seconds) {
  const long whole = static_cast<long>(seconds + 0.5);
  char text[32];
  std::snprintf(text, sizeof(text), "%ld:%02ld", whole / 60, whole % 60);
  return text;
}

// Overwrites the progress line with spaces, leaving the cursor at the line's start. Called
// with output_lock held.
void ClearProgress() {
  if (!progress_shown || progress_width == 0) return;
  std::string blank(progress_width + 2, ' ');
  blank.front() = '\r';
  blank.back() = '\r';
  sys::Write(sys::Stream::Out, blank);
  progress_width = 0;
}

void DrawProgress() {
  if (!progress_shown) return;
  const double elapsed = std::chrono::duration<double>(Clock::now() - progress_start).count();
  std::string line = "[";
  line.append(std::to_string(progress_done)).append("/").append(std::to_string(progress_total));
  line.append("] ").append(ClockText(elapsed)).append(" elapsed");
  if (progress_done > 0 && progress_done < progress_total) {
    const double rest = elapsed / static_cast<double>(progress_done) *
                        static_cast<double>(progress_total - progress_done);
    line.append(", about ").append(ClockText(rest)).append(" left");
  }
  sys::Write(sys::Stream::Out, line);
  progress_width = line.size();
}

}  // namespace

void Print(sys::Stream stream, const std::string& line) {
  std::lock_guard lock(output_lock);
  ClearProgress();
  sys::Write(stream, line + "\n");
  DrawProgress();
}

void StartProgress(std::size_t total) {
  std::lock_guard lock(output_lock);
  progress_shown = true;
  progress_total = total;
  progress_done = 0;
  progress_start = Clock::now();
  DrawProgress();
}

void FileDone() {
  std::lock_guard lock(output_lock);
  ++progress_done;
  if (!progress_shown) return;
  ClearProgress();
  DrawProgress();
}

void EndProgress() {
  std::lock_guard lock(output_lock);
  ClearProgress();
  progress_shown = false;
}

std::string FormatSeconds(double seconds) {
  char text[32];
  if (seconds < 60) {
    std::snprintf(text, sizeof(text), "%.2f s", seconds);
  } else {
    const long whole = static_cast<long>(seconds + 0.5);
    std::snprintf(text, sizeof(text), "%ld min %02ld s", whole / 60, whole % 60);
  }
  return text;
}

}  // namespace xtview::console
