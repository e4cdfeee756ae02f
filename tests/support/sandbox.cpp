#include "sandbox.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <iterator>
#include <sstream>
#include <system_error>

#include "system.h"

namespace quillmend::test {

namespace {

// Distinguishes test processes running at once, and folders made in one process.
std::string UniqueSuffix() {
  static const auto start = std::chrono::steady_clock::now().time_since_epoch().count() & 0xFFFFFFF;
  static std::atomic<int> counter{0};
  std::ostringstream suffix;
  suffix << std::hex << start << "-" << counter++;
  return suffix.str();
}

std::string TestName() {
  const auto* info = testing::UnitTest::GetInstance()->current_test_info();
  if (info == nullptr) return "outside-test";
  std::string name = std::string(info->test_suite_name()) + "." + info->name();
  std::replace(name.begin(), name.end(), '/', '_');
  return name;
}

// Sets `name` to `value`, or unsets it given no value.
void Put(const char* name, const std::optional<std::string>& value) {
  if (value) {
    SetEnvironment(name, *value);
  } else {
    UnsetEnvironment(name);
  }
}

}  // namespace

TestFolder::TestFolder() {
  path_ = ExecutableDirectory() / "test-work" / Utf8Path(TestName() + "-" + UniqueSuffix());
  std::error_code error;
  std::filesystem::remove_all(path_, error);
  std::filesystem::create_directories(path_, error);
  if (error) ADD_FAILURE() << "cannot create " << PathUtf8(path_) << ": " << error.message();
}

TestFolder::~TestFolder() {
  // A loaded library cannot always be removed (Windows); what stays is harmless.
  std::error_code error;
  std::filesystem::remove_all(path_, error);
}

ScopedEnvironment::ScopedEnvironment(const char* name, const std::optional<std::string>& value)
    : name_(name), earlier_(GetEnvironmentValue(name)) {
  Put(name, value);
}

ScopedEnvironment::~ScopedEnvironment() {
  Put(name_, earlier_);
}

ScopedTempDirectory::ScopedTempDirectory(const std::filesystem::path& directory, bool create) {
  if (create) {
    std::error_code error;
    std::filesystem::create_directories(directory, error);
    if (error) ADD_FAILURE() << "cannot create " << PathUtf8(directory);
  }
  for (const char* name : TempDirectoryVariables()) {
    variables_.push_back(std::make_unique<ScopedEnvironment>(name, PathUtf8(directory)));
  }
}

std::vector<std::string> EntriesOf(const std::filesystem::path& directory) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(directory, error)) {
    names.push_back(PathUtf8(entry.path().filename()));
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::string> QvtFilesIn(const std::filesystem::path& directory) {
  std::vector<std::string> names = EntriesOf(directory);
  std::erase_if(names, [](const std::string& name) { return name.rfind("QVT", 0) != 0; });
  return names;
}

std::string ReadFileBytes(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool WriteFileBytes(const std::filesystem::path& file, const std::string& bytes) {
  std::ofstream out(file, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

}  // namespace quillmend::test
