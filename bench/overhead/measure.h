// One timed pass of each thing the overhead is measured against, on one item. Each returns the
// wall time in seconds, or a negative value after writing the reason to `error`.
#pragma once

#include <filesystem>
#include <string>

#include "host_emulator/host.h"
#include "host_emulator/plugin_loader.h"

namespace quillmend::bench {

// The benchmark plays the host with the host emulator: items in memory, messages recorded.
using host_emulator::Item;
using host_emulator::Plugin;

// The stand-in's functions, bound from the copy that lies beside the plug-in.
struct Standin {
  int (*NewInstance)(void**, void*) = nullptr;
  int (*SetArgEncoding)(void*, int) = nullptr;
  int (*InitWithArgs)(void*, int, char**) = nullptr;
  int (*Exit)(void*) = nullptr;
  void (*DeleteInstance)(void*) = nullptr;
};

// Binds the functions of the stand-in `library`, the copy the plug-in loads (the system hands
// back the library already in the process). On failure writes the reason to `error`.
bool BindStandin(const std::filesystem::path& library, Standin* standin, std::string* error);

// The floor: the item's bytes written to a new file in `directory` with one write, and read back
// into a new block with one read; the file is deleted.
double TimeFloor(const Item& item, const std::filesystem::path& directory, std::string* error);

// The stand-in's own share of a view: one conversion run through its four functions, on an input
// file in `directory` that holds the item (written before the clock starts).
double TimeStandin(const Standin& standin, const Item& item, const std::filesystem::path& directory,
                   std::string* error);

// One XT_View of the item. The result must be the item's bytes, as the stand-in copies them.
double TimeView(const Plugin& plugin, const Item& item, std::string* error);

}  // namespace quillmend::bench
