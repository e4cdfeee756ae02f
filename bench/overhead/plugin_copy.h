// The plug-in as the host loads it: a copy in a fresh folder with the stand-in Ghostscript library
// beside it under the real library's file name.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace quillmend::bench {

struct Plugin {
  std::int32_t (*Init)(std::uint32_t, std::uint32_t, void*, void*) = nullptr;
  void* (*View)(void*, std::int32_t, void*, void*, void*, std::int64_t*) = nullptr;
  std::int32_t (*ReleaseMem)(void*) = nullptr;
};

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
