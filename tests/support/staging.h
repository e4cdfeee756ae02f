// The plug-in staged as the host finds it, for the tests, the fuzz targets and the overhead
// benchmark alike: a copy in a folder of its own with a Ghostscript library beside it under
// Ghostscript's file name, loaded by its full path. Nothing here reports to GoogleTest: each
// caller reports a failure its own way.
#pragma once

#include <filesystem>
#include <string>

#include "host_emulator/plugin_loader.h"

namespace quillmend::test {

// Copies `plugin_file` into `folder` (created if need be) under the plug-in's file name and,
// unless `ghostscript_file` is empty, copies that beside it under Ghostscript's file name; then
// loads the plug-in's copy and binds its entry points. False with the reason in `error`.
bool StagePlugin(const std::filesystem::path& folder, const std::filesystem::path& plugin_file,
                 const std::filesystem::path& ghostscript_file, host_emulator::Plugin* plugin,
                 std::string* error);

// The number of entries in `directory`, with the first one's name in `first` when given; -1 when
// it cannot be listed.
int CountEntries(const std::filesystem::path& directory, std::string* first = nullptr);

// The file descriptors the process has open (/proc/self/fd, the listing's own included: it is
// there every time); -1 where they cannot be listed.
int OpenDescriptors();

}  // namespace quillmend::test
