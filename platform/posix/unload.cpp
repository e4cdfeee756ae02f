#include <atomic>

#include "platform/platform.h"

namespace quillmend::os {

namespace {

std::atomic<void (*)()> release_at_unload{nullptr};

// Runs when dlclose removes the library and at the process's normal exit.
__attribute__((destructor)) void ReleaseAtUnload() {
  void (*release)() = release_at_unload.load();
  if (release != nullptr) release();
}

}  // namespace

void CallWhenUnloaded(void (*release)()) {
  release_at_unload.store(release);
}

}  // namespace quillmend::os
