// The plug-in as the host loads it: a copy in a fresh folder with the stand-in Ghostscript library
// beside it under the real library's file name.
#pragma once

#include <filesystem>
#include <string>

#include "host_emulator/host.h"
#include "host_emulator/plugin_loader.h"

namespace quillmend::bench {

// The benchmark plays the host with the host emulator: items in memory, messages recorded.
using host_emulator::Item;
using host_emulator::Plugin;

// The stand-in's four functions, bound from the copy that lies beside the plug-in.
struct Standin {
  int (*NewInstance)(void**, void*) = nullptr;
  int (*SetArgEncoding)(void*, int) = nullptr;
  int (*InitWithArgs)(void*, int, char**) = nullptr;
  int (*Exit)(void*) = nullptr;
  void (*DeleteInstance)(void*) = nullptr;
};

// Copies `plugin_file` and `standin_file` into `folder`, loads both copies and binds their
// functions. On failure writes the reason to `error` and returns false.
bool LoadPluginCopy(const std::filesystem::path& folder, const std::filesystem::path& plugin_file,
                    const std::filesystem::path& standin_file, Plugin* plugin, Standin* standin,
                    std::string* error);

}  // namespace quillmend::bench
