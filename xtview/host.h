// xtview's side of the host: the items it serves are files mapped for the length of a view, and
// the plug-in's messages are printed as they come (host_emulator/ exports the services).
#pragma once

#include <string>

#include "host_emulator/host.h"

namespace xtview {

using quillmend::host_emulator::Item;

// Prints the plug-in's messages from now on; with quiet messages only its error messages. Call
// before the plug-in starts.
void SetQuietMessages(bool quiet);

// The reason line the plug-in sent on this thread since the last call, without its "Reason: ",
// or empty; the view's own, as the plug-in sends it on the thread of the view.
std::string TakeFailureReason();

// The line the plug-in sent at start-up to name what converts, or empty.
std::string PluginStartupLine();

}  // namespace xtview
