// The plug-in as the host sees it: a library file and its four entry points
// (host_emulator/plugin_loader.h).
#pragma once

#include "host_emulator/plugin_loader.h"

namespace xtview {

using quillmend::host_emulator::kReadyForThreads;
using quillmend::host_emulator::LoadPlugin;
using quillmend::host_emulator::Plugin;
using quillmend::host_emulator::StartPlugin;

}  // namespace xtview
