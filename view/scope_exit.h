#pragma once

#include <utility>

namespace quillmend {

// Runs a release step when the scope is left, on every path, unless dismissed.
template <typename Release>
class ScopeExit {
 public:
  explicit ScopeExit(Release release) : release_(std::move(release)) {}
  ScopeExit(const ScopeExit&) = delete;
  ScopeExit& operator=(const ScopeExit&) = delete;
  ~ScopeExit() {
    if (armed_) release_();
  }
  void Dismiss() { armed_ = false; }

 private:
  Release release_;
  bool armed_ = true;
};

}  // namespace quillmend
