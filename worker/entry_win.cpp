// The worker's entry on Windows: a program without a console or window (the GUI subsystem, with
// wmain as its entry), whose arguments arrive as UTF-16.
#include "worker.h"

int wmain(int argc, wchar_t** argv) {
  static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows text is UTF-16");
  if (argc < 1) return quillmend::worker::kUsage;
  return quillmend::worker::Run(argc - 1, reinterpret_cast<const char16_t* const*>(argv + 1));
}
