#include "access_watch.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace quillmend::test {

namespace {

constexpr std::uint32_t kWatched = IN_OPEN | IN_ACCESS | IN_MODIFY | IN_ATTRIB | IN_CREATE |
                                   IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_CLOSE_WRITE;

std::string Describe(std::uint32_t mask) {
  std::string kinds;
  const std::pair<std::uint32_t, const char*> names[] = {{IN_OPEN, "OPEN"},
                                                         {IN_ACCESS, "ACCESS"},
                                                         {IN_MODIFY, "MODIFY"},
                                                         {IN_ATTRIB, "ATTRIB"},
                                                         {IN_CREATE, "CREATE"},
                                                         {IN_DELETE, "DELETE"},
                                                         {IN_MOVED_FROM, "MOVED_FROM"},
                                                         {IN_MOVED_TO, "MOVED_TO"},
                                                         {IN_CLOSE_WRITE, "CLOSE_WRITE"}};
  for (const auto& [bit, name] : names) {
    if ((mask & bit) == 0) continue;
    if (!kinds.empty()) kinds += "|";
    kinds += name;
  }
  return kinds;
}

}  // namespace

AccessWatch::AccessWatch(const std::filesystem::path& directory, bool creations_only) {
  descriptor_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (descriptor_ < 0) {
    unavailable = std::string("inotify_init1: ") + std::strerror(errno);
    return;
  }
  if (inotify_add_watch(descriptor_, directory.c_str(), creations_only ? IN_CREATE : kWatched) <
      0) {
    unavailable = std::string("inotify_add_watch: ") + std::strerror(errno);
    close(descriptor_);
    descriptor_ = -1;
  }
}

AccessWatch::~AccessWatch() {
  if (descriptor_ >= 0) close(descriptor_);
}

std::vector<std::string> AccessWatch::Take() {
  std::vector<std::string> events;
  if (descriptor_ < 0) return events;
  alignas(inotify_event) char buffer[16384];
  for (;;) {
    const ssize_t got = read(descriptor_, buffer, sizeof(buffer));
    if (got <= 0) break;
    for (ssize_t at = 0; at < got;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      std::string entry = Describe(event->mask);
      if (event->len > 0) entry += std::string(" ") + event->name;
      if ((event->mask & IN_Q_OVERFLOW) != 0) entry = "QUEUE_OVERFLOW";
      events.push_back(entry);
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
    }
  }
  return events;
}

}  // namespace quillmend::test
