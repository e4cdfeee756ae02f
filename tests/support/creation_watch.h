// Records the name of every file created in a folder while it watches, however briefly the
// file lived.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace quillmend::test {

class CreationWatch {
 public:
  explicit CreationWatch(const std::filesystem::path& directory);
  ~CreationWatch();
  CreationWatch(const CreationWatch&) = delete;
  CreationWatch& operator=(const CreationWatch&) = delete;

  // Set when this platform cannot watch; nothing is recorded then.
  std::string unavailable;

  // The names created so far, one entry per creation, in order.
  std::vector<std::string> Created();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace quillmend::test
