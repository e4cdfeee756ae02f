#include "output_file.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <random>
#include <set>

#include "console.h"
#include "interrupt.h"
#include "system.h"

namespace xtview {

namespace {

constexpr int kNameAttempts = 100;

// The temporary files that exist now. Files are created with the lock held, so that an
// interrupt that takes the lock sees every one of them.
std::mutex temp_files_lock;
std::set<std::filesystem::path> temp_files;

std::filesystem::path TempNameFor(const std::filesystem::path& output) {
  static std::atomic<std::uint32_t> counter = 0;
  static const std::uint32_t seed = std::random_device{}();
  char suffix[32];
  std::snprintf(suffix, sizeof(suffix), ".xtview-%08x.tmp",
                static_cast<unsigned>(seed + counter.fetch_add(0x9E3779B9u)));
  std::filesystem::path name = output;
  name += suffix;
  return name;
}

bool CreateTempFile(const std::filesystem::path& output, std::filesystem::path* temp,
                    sys::FileHandle* file, std::string* error) {
  std::lock_guard lock(temp_files_lock);
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    *temp = TempNameFor(output);
    if (sys::CreateNewFile(*temp, file, error)) {
      temp_files.insert(*temp);
      return true;
    }
    std::error_code status_error;
    // Only a taken name is worth another try.
    if (!std::filesystem::exists(*temp, status_error)) return false;
  }
  return false;
}

void ForgetTempFile(const std::filesystem::path& temp) {
  std::lock_guard lock(temp_files_lock);
  temp_files.erase(temp);
}

}  // namespace

bool WriteOutputFile(const std::filesystem::path& output, const std::uint8_t* bytes,
                     std::uint64_t size, bool replace, std::string* error) {
  std::filesystem::path temp;
  sys::FileHandle file = 0;
  if (!CreateTempFile(output, &temp, &file, error)) return false;
  const bool written = sys::WriteAndClose(file, bytes, size, error) &&
                       sys::MoveIntoPlace(temp, output, replace, error);
  if (!written) sys::RemoveFile(temp);
  ForgetTempFile(temp);
  return written;
}

void AbandonOutputFiles() {
  // Held until the process ends, so that no worker creates another file meanwhile.
  temp_files_lock.lock();
  for (const std::filesystem::path& temp : temp_files) sys::RemoveFile(temp);
  console::EndProgress();
  sys::Write(sys::Stream::Err, "xtview: interrupted\n");
  std::_Exit(kInterruptedExitCode);
}

}  // namespace xtview
