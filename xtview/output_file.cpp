#include "output_file.h"

#include <atomic>
#include <cstdio>
#include <mutex>
#include <random>
#include <set>

#include "system.h"

namespace xtview {

namespace {

constexpr int kNameAttempts = 100;

// The temporary files that exist now. Files are created, and outputs put in place, with the lock
// held, so that an interrupt that takes the lock sees every one of them.
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
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    *temp = TempNameFor(output);
    if (sys::CreateNewFile(*temp, file, error)) return true;
    std::error_code status_error;
    // Only a taken name is worth another try.
    if (!std::filesystem::exists(*temp, status_error)) return false;
  }
  return false;
}

}  // namespace

bool WriteOutputFile(const std::filesystem::path& output, const std::uint8_t* bytes,
                     std::uint64_t size, bool replace, std::string* error,
                     const std::function<void()>& landed) {
  std::filesystem::path temp;
  sys::FileHandle file = 0;
  {
    std::lock_guard lock(temp_files_lock);
    if (!CreateTempFile(output, &temp, &file, error)) return false;
    temp_files.insert(temp);
  }
  bool written = sys::WriteAndClose(file, bytes, size, error);
  std::lock_guard lock(temp_files_lock);
  written = written && sys::MoveIntoPlace(temp, output, replace, error);
  if (written && landed) landed();
  if (!written) sys::RemoveFile(temp);
  temp_files.erase(temp);
  return written;
}

void AbandonOutputFiles() {
  // Held until the process ends, so that no worker creates another file or lands an output.
  temp_files_lock.lock();
  for (const std::filesystem::path& temp : temp_files) sys::RemoveFile(temp);
}

bool WriteLastFile(const std::filesystem::path& file, const std::uint8_t* bytes, std::uint64_t size,
                   bool replace, std::string* error) {
  std::filesystem::path temp;
  sys::FileHandle handle = 0;
  if (!CreateTempFile(file, &temp, &handle, error)) return false;
  const bool written = sys::WriteAndClose(handle, bytes, size, error) &&
                       sys::MoveIntoPlace(temp, file, replace, error);
  if (!written) sys::RemoveFile(temp);
  return written;
}

}  // namespace xtview
