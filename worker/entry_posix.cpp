// The worker's entry on POSIX: arguments arrive as UTF-8 bytes.
#include <cstdlib>

#include "platform/platform.h"
#include "platform/posix/utf16.h"
#include "worker.h"

int main(int argc, char** argv) {
  using namespace quillmend;
  constexpr int kMostArguments = worker::kMostArguments;
  if (argc < 2 || argc - 1 > kMostArguments) return worker::kUsage;
  static char16_t paths[kMostArguments][os::kPathCapacity];
  const char16_t* arguments[kMostArguments] = {};
  for (int i = 1; i < argc; ++i) {
    if (!os::posix::FromUtf8(argv[i], paths[i - 1], os::kPathCapacity)) return worker::kUsage;
    arguments[i - 1] = paths[i - 1];
  }
  return worker::Run(argc - 1, arguments);
}
