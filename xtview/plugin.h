// The plug-in as the host sees it: a library file and its four entry points.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace xtview {

struct Plugin {
  std::int32_t (*Init)(std::uint32_t version, std::uint32_t flags, void* main_window,
                       void* reserved);
  std::int32_t (*About)(void* parent_window, void* reserved);
  void* (*View)(void* item, std::int32_t item_id, void* volume, void* evidence, void* reserved,
                std::int64_t* result_size);
  std::int32_t (*ReleaseMem)(void* buffer);
};

// XT_Init's answer when the plug-in may be called from several threads at once.
inline constexpr std::int32_t kReadyForThreads = 2;

// Loads the library and binds the four entry points; false with the reason in `error`.
bool LoadPlugin(const std::filesystem::path& path, Plugin* plugin, std::string* error);

// Calls XT_Init as the host does at start-up.
std::int32_t StartPlugin(const Plugin& plugin);

}  // namespace xtview
