// Per-test folders and the scratch temporary directory the plug-in works in.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quillmend::test {

// A fresh, empty folder for the running test under bin/test-work/, named after the test and the
// process, removed with its contents when the test ends.
class TestFolder {
 public:
  TestFolder();
  ~TestFolder();
  TestFolder(const TestFolder&) = delete;
  TestFolder& operator=(const TestFolder&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// Sets an environment variable (or, given no value, unsets it) for the scope's duration, then
// restores the earlier value.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const std::optional<std::string>& value);
  ~ScopedEnvironment();
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  const char* name_;
  std::optional<std::string> earlier_;
};

// Makes `directory` the user's temporary directory (TMPDIR; TMP and TEMP on Windows) for the
// scope's duration. The directory is created unless `create` is false.
class ScopedTempDirectory {
 public:
  explicit ScopedTempDirectory(const std::filesystem::path& directory, bool create = true);

 private:
  std::vector<std::unique_ptr<ScopedEnvironment>> variables_;
};

// The names of the files in `directory` that begin with "QVT", sorted.
std::vector<std::string> QvtFilesIn(const std::filesystem::path& directory);

// Every entry of `directory`, sorted.
std::vector<std::string> EntriesOf(const std::filesystem::path& directory);

std::string ReadFileBytes(const std::filesystem::path& file);
bool WriteFileBytes(const std::filesystem::path& file, const std::string& bytes);

}  // namespace quillmend::test
