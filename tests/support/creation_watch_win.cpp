// The directory's change journal (ReadDirectoryChangesW): once the first read is pending, the
// system keeps every change until the next read collects it, as inotify does natively.
#include <windows.h>

#include "creation_watch.h"
#include "system.h"

namespace quillmend::test {

namespace {

// How long Created() waits for changes still on their way before it answers.
constexpr DWORD kSettleMilliseconds = 200;

}  // namespace

struct CreationWatch::State {
  HANDLE directory = INVALID_HANDLE_VALUE;
  OVERLAPPED overlapped = {};
  alignas(DWORD) char buffer[64 * 1024];
  bool pending = false;
  std::vector<std::string> created;

  bool Read() {
    pending =
        ReadDirectoryChangesW(directory, buffer, sizeof(buffer), FALSE,
                              FILE_NOTIFY_CHANGE_FILE_NAME, nullptr, &overlapped, nullptr) != FALSE;
    return pending;
  }
};

CreationWatch::CreationWatch(const std::filesystem::path& directory)
    : state_(std::make_unique<State>()) {
  state_->directory =
      CreateFileW(directory.c_str(), FILE_LIST_DIRECTORY,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr);
  state_->overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (state_->directory == INVALID_HANDLE_VALUE || state_->overlapped.hEvent == nullptr ||
      !state_->Read()) {
    unavailable = "the directory's changes cannot be read";
  }
}

CreationWatch::~CreationWatch() {
  if (state_->pending) {
    CancelIoEx(state_->directory, &state_->overlapped);
    DWORD ignored = 0;
    GetOverlappedResult(state_->directory, &state_->overlapped, &ignored, TRUE);
  }
  if (state_->directory != INVALID_HANDLE_VALUE) CloseHandle(state_->directory);
  if (state_->overlapped.hEvent != nullptr) CloseHandle(state_->overlapped.hEvent);
}

std::vector<std::string> CreationWatch::Created() {
  while (state_->pending &&
         WaitForSingleObject(state_->overlapped.hEvent, kSettleMilliseconds) == WAIT_OBJECT_0) {
    DWORD got = 0;
    state_->pending = false;
    if (!GetOverlappedResult(state_->directory, &state_->overlapped, &got, FALSE)) {
      unavailable = "reading the directory's changes failed";
      break;
    }
    // No bytes: more changes than the buffer holds, and all of them are lost.
    if (got == 0) {
      unavailable = "the watch overflowed";
      break;
    }
    for (DWORD offset = 0;;) {
      const auto* change =
          reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(state_->buffer + offset);
      if (change->Action == FILE_ACTION_ADDED) {
        const std::wstring name(change->FileName, change->FileNameLength / sizeof(wchar_t));
        state_->created.push_back(PathUtf8(name));
      }
      if (change->NextEntryOffset == 0) break;
      offset += change->NextEntryOffset;
    }
    ResetEvent(state_->overlapped.hEvent);
    if (!state_->Read()) unavailable = "the directory's changes cannot be read";
  }
  return state_->created;
}

}  // namespace quillmend::test
