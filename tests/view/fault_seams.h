// Faults of the operating system that a test cannot cause through the host or the stand-in:
// each platform forces them its own way (fault_seams_posix.cpp, fault_seams_win.cpp).
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace quillmend::test {

// Lets the next `successes` temporary files be created, then makes every further creation fail,
// until the object goes. The test must make `directory` the temporary directory (`temp`, unless
// a platform needs a prepared folder). `unavailable` is set, and nothing armed, where the
// platform offers no way.
class TempFileCreationFailure {
 public:
  TempFileCreationFailure(const std::filesystem::path& temp, int successes);
  ~TempFileCreationFailure();
  TempFileCreationFailure(const TempFileCreationFailure&) = delete;
  TempFileCreationFailure& operator=(const TempFileCreationFailure&) = delete;
  std::string unavailable;
  std::filesystem::path directory;
  // Files the arrangement itself put into the directory; they are no leftovers of the plug-in.
  std::vector<std::string> placed;
};

// Makes every write past `bytes` into any file fail, until the object goes.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(std::uint64_t bytes);
  ~FileSizeLimit();
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;
  std::string unavailable;

 private:
  std::uint64_t earlier_soft_ = 0;
  bool armed_ = false;
};

// --- Natively only (fault_seams_posix.cpp) ---------------------------------------------------

// Hands the plug-in's next temporary-name draws these numbers, in order, until the object goes;
// later draws are random again.
class ChosenTempNames {
 public:
  explicit ChosenTempNames(const std::vector<std::uint64_t>& numbers);
  ~ChosenTempNames();
  ChosenTempNames(const ChosenTempNames&) = delete;
  ChosenTempNames& operator=(const ChosenTempNames&) = delete;
};

// Until the object goes, every other read or write call on a file in `directory` is interrupted
// before it moves a byte, and the others move only half of what was asked (rounded up).
class ShortTransfers {
 public:
  explicit ShortTransfers(const std::filesystem::path& directory);
  ~ShortTransfers();
  ShortTransfers(const ShortTransfers&) = delete;
  ShortTransfers& operator=(const ShortTransfers&) = delete;
  // The calls on such files so far.
  int reads() const;
  int writes() const;
};

}  // namespace quillmend::test
