// The scanner watches the folder's change journal (ReadDirectoryChangesW) on a thread of its own
// and takes each new file as the journal reports it.
#include <windows.h>

#include <atomic>
#include <thread>
#include <vector>

#include "scanner.h"
#include "system.h"

namespace quillmend::test {

struct Scanner::State {
  std::filesystem::path directory;
  std::wstring prefix;
  DWORD hold_ms = 0;
  HANDLE watched = INVALID_HANDLE_VALUE;
  HANDLE changed = nullptr;
  HANDLE stop = nullptr;
  std::atomic<int> held{0};
  std::thread thread;
  alignas(DWORD) char buffer[64 * 1024];

  bool Read(OVERLAPPED* overlapped) {
    return ReadDirectoryChangesW(watched, buffer, sizeof(buffer), FALSE,
                                 FILE_NOTIFY_CHANGE_FILE_NAME, nullptr, overlapped,
                                 nullptr) != FALSE;
  }

  // Opens the file as a scanner does, shared with no one. While another program has it open,
  // the scanner waits to look at it once it is closed, for up to 100 ms; a file that is gone
  // is not looked at.
  void Hold(const std::wstring& name) {
    if (name.rfind(prefix, 0) != 0) return;
    HANDLE file = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 50 && WaitForSingleObject(stop, 0) == WAIT_TIMEOUT; ++attempt) {
      file = CreateFileW((directory / name).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
      if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_SHARING_VIOLATION) break;
      Sleep(2);
    }
    if (file == INVALID_HANDLE_VALUE) return;
    ++held;
    WaitForSingleObject(stop, hold_ms);
    CloseHandle(file);
  }

  void Run(OVERLAPPED* overlapped) {
    const HANDLE events[] = {changed, stop};
    while (WaitForMultipleObjects(2, events, FALSE, INFINITE) == WAIT_OBJECT_0) {
      DWORD got = 0;
      if (!GetOverlappedResult(watched, overlapped, &got, FALSE)) return;
      // Copied out first: the next read may start while the files are held.
      std::vector<std::wstring> added;
      for (DWORD offset = 0; got > 0;) {
        const auto* change = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(buffer + offset);
        if (change->Action == FILE_ACTION_ADDED) {
          added.emplace_back(change->FileName, change->FileNameLength / sizeof(wchar_t));
        }
        if (change->NextEntryOffset == 0) break;
        offset += change->NextEntryOffset;
      }
      ResetEvent(changed);
      if (!Read(overlapped)) return;
      for (const std::wstring& name : added) Hold(name);
    }
  }
};

Scanner::Scanner(const std::filesystem::path& directory, const std::string& prefix,
                 std::chrono::milliseconds hold)
    : state_(std::make_unique<State>()) {
  state_->directory = directory;
  state_->prefix = Utf8Path(prefix).wstring();
  state_->hold_ms = static_cast<DWORD>(hold.count());
  state_->watched =
      CreateFileW(directory.c_str(), FILE_LIST_DIRECTORY,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr);
  state_->changed = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  state_->stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  auto overlapped = std::make_unique<OVERLAPPED>();
  overlapped->hEvent = state_->changed;
  if (state_->watched == INVALID_HANDLE_VALUE || state_->changed == nullptr ||
      state_->stop == nullptr || !state_->Read(overlapped.get())) {
    unavailable = "the directory's changes cannot be read";
    return;
  }
  state_->thread = std::thread([state = state_.get(), overlapped = std::move(overlapped)] {
    state->Run(overlapped.get());
    CancelIoEx(state->watched, overlapped.get());
    DWORD ignored = 0;
    GetOverlappedResult(state->watched, overlapped.get(), &ignored, TRUE);
  });
}

Scanner::~Scanner() {
  if (state_->stop != nullptr) SetEvent(state_->stop);
  if (state_->thread.joinable()) state_->thread.join();
  if (state_->watched != INVALID_HANDLE_VALUE) CloseHandle(state_->watched);
  if (state_->changed != nullptr) CloseHandle(state_->changed);
  if (state_->stop != nullptr) CloseHandle(state_->stop);
}

int Scanner::FilesHeld() const {
  return state_->held.load();
}

}  // namespace quillmend::test
