// A model of an on-access virus scanner: every new file in a folder whose name starts with a
// given prefix is opened without sharing as soon as it appears, and held for a while, one file
// after the other. Meanwhile any other open of that file fails with a sharing violation.
#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

namespace quillmend::test {

class Scanner {
 public:
  Scanner(const std::filesystem::path& directory, const std::string& prefix,
          std::chrono::milliseconds hold);
  ~Scanner();  // stops scanning, and lets go of any file it holds
  Scanner(const Scanner&) = delete;
  Scanner& operator=(const Scanner&) = delete;

  // Set when this platform cannot scan; nothing is held then.
  std::string unavailable;

  // How many files it has held so far.
  int FilesHeld() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace quillmend::test
