// One timed pass of each thing the overhead is measured against, on one item. Each returns the
// wall time in seconds, or a negative value after writing the reason to `error`.
#pragma once

#include <filesystem>
#include <string>

#include "plugin_copy.h"

namespace quillmend::bench {

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
