// A temporary directory that fills up: a small tmpfs where the process may mount one, else a
// file-size limit in a child process that makes every write past it fail.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

namespace quillmend::test {

// Mounts a tmpfs of `bytes` on `directory` (which must exist) for the object's lifetime.
// `unavailable` says why not where mounting is not allowed (not root, no CAP_SYS_ADMIN, a
// container that forbids it).
class SmallTmpfs {
 public:
  SmallTmpfs(const std::filesystem::path& directory, std::uint64_t bytes);
  ~SmallTmpfs();
  SmallTmpfs(const SmallTmpfs&) = delete;
  SmallTmpfs& operator=(const SmallTmpfs&) = delete;
  std::string unavailable;

 private:
  std::filesystem::path directory_;
  bool mounted_ = false;
};

struct ChildResult {
  bool ran = false;  // false when the child could not be started or died
  std::int64_t value = 0;
};

// Runs `work` in a child process in which no file may grow past `bytes` (RLIMIT_FSIZE, with
// SIGXFSZ ignored so that such a write fails with EFBIG instead of killing the process), and
// returns what `work` returned.
ChildResult RunWithFileSizeLimit(std::uint64_t bytes, const std::function<std::int64_t()>& work);

}  // namespace quillmend::test
