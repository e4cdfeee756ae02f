#include "access_watch.h"
#include "creation_watch.h"

namespace quillmend::test {

struct CreationWatch::State {
  explicit State(const std::filesystem::path& directory) : watch(directory, true) {}
  AccessWatch watch;
  std::vector<std::string> created;
};

CreationWatch::CreationWatch(const std::filesystem::path& directory)
    : state_(std::make_unique<State>(directory)) {
  unavailable = state_->watch.unavailable;
}

CreationWatch::~CreationWatch() = default;

std::vector<std::string> CreationWatch::Created() {
  for (const std::string& event : state_->watch.Take()) {
    if (event == "QUEUE_OVERFLOW") unavailable = "the watch overflowed";
    if (event.rfind("CREATE ", 0) == 0) state_->created.push_back(event.substr(7));
  }
  return state_->created;
}

}  // namespace quillmend::test
