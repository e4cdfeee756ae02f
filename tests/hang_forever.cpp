// A Windows program that never ends, for the check that a Wine run which hangs is reported with
// its threads' backtraces and ended.
#include <windows.h>

int main() {
  Sleep(INFINITE);
  return 0;
}
