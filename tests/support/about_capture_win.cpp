// The About box is a real message box: a thread hook reads it as it is shown and closes it.
#include <windows.h>

#include "about_capture.h"
#include "test_host.h"

namespace quillmend::test {

namespace {

// The dialog item that holds a message box's text.
constexpr int kMessageBoxTextItem = 0xFFFF;

HHOOK hook = nullptr;
std::u16string caption;
std::u16string text;
int boxes_seen = 0;

std::u16string WindowText(HWND window) {
  const int length = GetWindowTextLengthW(window);
  std::wstring value(static_cast<std::size_t>(length) + 1, L'\0');
  const int got = GetWindowTextW(window, value.data(), length + 1);
  return std::u16string(value.begin(), value.begin() + got);
}

LRESULT CALLBACK OnWindowEvent(int code, WPARAM wparam, LPARAM lparam) {
  if (code == HCBT_ACTIVATE) {
    const auto box = reinterpret_cast<HWND>(wparam);
    ++boxes_seen;
    caption = WindowText(box);
    text = WindowText(GetDlgItem(box, kMessageBoxTextItem));
    PostMessageW(box, WM_COMMAND, IDOK, 0);
  }
  return CallNextHookEx(hook, code, wparam, lparam);
}

// Wine without an X or Wayland display starts a desktop process on the first window, which
// outlives the test program and keeps CTest waiting on its output.
bool UnderWineWithoutDisplay() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  if (ntdll == nullptr || GetProcAddress(ntdll, "wine_get_version") == nullptr) return false;
  return GetEnvironmentVariableW(L"DISPLAY", nullptr, 0) == 0 &&
         GetEnvironmentVariableW(L"WAYLAND_DISPLAY", nullptr, 0) == 0;
}

}  // namespace

AboutCapture CaptureAbout(const Plugin& plugin) {
  AboutCapture capture;
  if (UnderWineWithoutDisplay()) {
    capture.unavailable = "Wine has no display here to show a message box on";
    return capture;
  }
  // Without a window driver no box can appear at all; that is the platform's lack, not the
  // plug-in's.
  HWND probe =
      CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  if (probe == nullptr) {
    capture.unavailable = "this session cannot create windows (no display)";
    return capture;
  }
  DestroyWindow(probe);
  boxes_seen = 0;
  hook = SetWindowsHookExW(WH_CBT, OnWindowEvent, nullptr, GetCurrentThreadId());
  if (hook == nullptr) {
    capture.unavailable = "no window hook could be installed";
    return capture;
  }
  capture.result = plugin.About(nullptr, nullptr);
  UnhookWindowsHookEx(hook);
  hook = nullptr;
  if (boxes_seen == 0) return capture;  // nothing was shown: `shown` stays empty
  capture.shown = ToUtf8(caption) + "\n\n" + ToUtf8(text) + "\n";
  return capture;
}

}  // namespace quillmend::test
