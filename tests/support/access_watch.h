// Records every opening, reading, writing, creation, removal or change of a file in a folder
// while it watches, or only the creations, whoever in the process or outside it does it (Linux
// inotify).
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace quillmend::test {

class AccessWatch {
 public:
  explicit AccessWatch(const std::filesystem::path& directory, bool creations_only = false);
  ~AccessWatch();
  AccessWatch(const AccessWatch&) = delete;
  AccessWatch& operator=(const AccessWatch&) = delete;

  // Set when the watch could not be made; nothing is recorded then.
  std::string unavailable;

  // The events since the last call, as "OPEN name", "ACCESS name", "CREATE name" and so on.
  std::vector<std::string> Take();

 private:
  int descriptor_ = -1;
};

}  // namespace quillmend::test
