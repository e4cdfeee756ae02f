// Ctrl-C: the first one lets the views in progress finish, so that the plug-in removes its own
// temporary files, and starts no more; a second one ends the program at once, after writing the
// report of the files done so far.
#pragma once

namespace xtview {

inline constexpr int kInterruptedExitCode = 130;

// Call before any thread is started.
void HandleInterrupts();

bool StopRequested();

}  // namespace xtview
