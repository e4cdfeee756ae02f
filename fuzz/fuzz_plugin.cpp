#include "fuzz_plugin.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "support/test_host.h"

namespace quillmend::fuzz {

namespace {

std::string work_folder;
std::string temp_directory;

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "fuzz set-up: %s\n", what.c_str());
  std::abort();
}

void RemoveWorkFolder() {
  std::error_code error;
  std::filesystem::remove_all(work_folder, error);
}

int CountEntries(const std::filesystem::path& folder, std::string* first) {
  std::error_code error;
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    if (count++ == 0 && first != nullptr) *first = entry.path().filename().string();
  }
  return error ? -1 : count;
}

}  // namespace

Plugin StartPlugin(const char* plugin_file, const char* ghostscript_file) {
  const char* base = std::getenv("TMPDIR");
  std::string pattern =
      std::string(base != nullptr && base[0] != '\0' ? base : "/tmp") + "/quillmend-fuzz-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) Fail("cannot create a work folder");
  work_folder = pattern;
  std::atexit(RemoveWorkFolder);

  namespace fs = std::filesystem;
  const fs::path folder = work_folder;
  std::error_code error;
  fs::create_directory(folder / "plugin", error);
  const fs::path copy = folder / "plugin" / host_emulator::kPluginFileName;
  fs::copy_file(plugin_file, copy, error);
  if (error) Fail("cannot copy the plug-in: " + error.message());
  fs::copy_file(ghostscript_file, folder / "plugin" / QUILLMEND_GHOSTSCRIPT_LIBRARY, error);
  if (error) Fail("cannot copy Ghostscript: " + error.message());
  temp_directory = (folder / "tmp").string();
  fs::create_directory(temp_directory, error);
  if (error) Fail("cannot create the temporary directory");
  setenv("TMPDIR", temp_directory.c_str(), 1);

  Plugin plugin;
  std::string reason;
  if (!host_emulator::LoadPlugin(copy, &plugin, &reason))
    Fail("cannot load the plug-in: " + reason);
  if (host_emulator::StartPlugin(plugin) != 2) Fail("XT_Init did not answer 2");
  return plugin;
}

void Violation(const char* rule) {
  std::fprintf(stderr, "contract broken: %s\n", rule);
  std::abort();
}

void RequireCallsOnlyFor(void* item) {
  const test::ItemCalls calls = test::CallsOn(item);
  for (const test::ReadCall& read : calls.reads) {
    Require(read.offset == 0, "the item is read only from its start");
  }
  const std::size_t on_item = calls.get_size_options.size() + calls.reads.size();
  Require(static_cast<std::size_t>(test::HostCallCount()) == on_item + test::HostMessages().size(),
          "host calls only for the item the plug-in was given");
}

int EntriesInTempDirectory(std::string* first) {
  return CountEntries(temp_directory, first);
}

int OpenDescriptors() {
  return CountEntries("/proc/self/fd", nullptr) - 1;
}

}  // namespace quillmend::fuzz
