// The host, as every program that plays it plays it: xtview, the test programs, the fuzz targets
// and the overhead benchmark. It serves items by handle and takes the plug-in's messages; the
// three services are exported from each program's own main executable (exports.cpp), where the
// plug-in looks for them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "host/host_api.h"

namespace quillmend::host_emulator {

// An item whose bytes are in memory: a block the program made, or a file it mapped (MapFile) for
// the length of a view. The handle the plug-in is given for it is its address.
struct Item {
  const std::uint8_t* bytes = nullptr;
  std::int64_t size = 0;
};

// A whole file's bytes, mapped for reading, to be served as an item. An empty file has no bytes
// and no mapping.
struct MappedFile {
  const std::uint8_t* bytes = nullptr;
  std::uint64_t size = 0;
  std::intptr_t mapping = 0;
};

// Maps a regular file; false with the system's reason in `error` (a folder or another kind of
// file is refused, never waited on).
bool MapFile(const std::filesystem::path& path, MappedFile* file, std::string* error);
void UnmapFile(MappedFile* file);

// How many of `count` bytes from `offset` on the item holds.
std::uint32_t BytesAt(const Item& item, std::int64_t offset, std::uint32_t count);

// The services as the host answers them for an item handle: a whole item has one size whichever
// of the host's size kinds is asked for; a read copies what the item holds from the offset on.
std::int64_t GetItemSize(void* item, void* option);
std::uint32_t ReadItem(void* item, std::int64_t offset, std::uint8_t* buffer, std::uint32_t count);
// Records the message, or hands it to the message sink when the program has set one.
void OutputMessage(const char16_t* text, std::uint32_t flags);

// What the exported services run: the three above, unless a program puts its own in their place
// (the tests do, to make the host lie). Set before the plug-in starts.
void SetServices(const HostServices& services);
const HostServices& Services();

struct Message {
  std::u16string text;
  std::uint32_t flags;
  bool operator==(const Message&) const = default;
};

// Takes every message in place of the record: for a program that shows them as they come. It may
// be called from several of the plug-in's threads at once. Set before the plug-in starts.
using MessageSink = void (*)(const char16_t* text, std::uint32_t flags);
void SetMessageSink(MessageSink sink);

// The messages recorded since the start or since ForgetMessages, in the order they came; a null
// text is recorded as "(null)".
std::vector<Message> Messages();
void ForgetMessages();

// The host's UTF-16 text up to its terminator as UTF-8; an unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(const char16_t* text);

}  // namespace quillmend::host_emulator
