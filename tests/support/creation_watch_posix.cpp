#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <climits>

#include "creation_watch.h"

namespace quillmend::test {

struct CreationWatch::State {
  int fd = -1;
  std::vector<std::string> created;
};

CreationWatch::CreationWatch(const std::filesystem::path& directory)
    : state_(std::make_unique<State>()) {
  state_->fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (state_->fd < 0 || inotify_add_watch(state_->fd, directory.c_str(), IN_CREATE) < 0) {
    unavailable = "inotify is not available";
  }
}

CreationWatch::~CreationWatch() {
  if (state_->fd >= 0) close(state_->fd);
}

std::vector<std::string> CreationWatch::Created() {
  alignas(inotify_event) char buffer[64 * (sizeof(inotify_event) + NAME_MAX + 1)];
  for (;;) {
    const ssize_t got = read(state_->fd, buffer, sizeof(buffer));
    if (got <= 0) break;
    for (ssize_t offset = 0; offset < got;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
      if (event->mask & IN_Q_OVERFLOW) unavailable = "the watch overflowed";
      if (event->len > 0) state_->created.emplace_back(event->name);
      offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
    }
  }
  return state_->created;
}

}  // namespace quillmend::test
