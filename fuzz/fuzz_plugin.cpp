#include "fuzz_plugin.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include "support/staging.h"

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
  temp_directory = (folder / "tmp").string();
  std::error_code error;
  fs::create_directory(temp_directory, error);
  if (error) Fail("cannot create the temporary directory");
  setenv("TMPDIR", temp_directory.c_str(), 1);

  Plugin plugin;
  std::string reason;
  if (!test::StagePlugin(folder / "plugin", plugin_file, ghostscript_file, &plugin, &reason)) {
    Fail(reason);
  }
  if (host_emulator::StartPlugin(plugin) != 2) Fail("XT_Init did not answer 2");
  return plugin;
}

void Violation(const char* rule) {
  std::fprintf(stderr, "contract broken: %s\n", rule);
  std::abort();
}

void RequireNothingLeft() {
  std::string first;
  const int entries = test::CountEntries(temp_directory, &first);
  if (entries != 0) std::fprintf(stderr, "left behind: %s\n", first.c_str());
  Require(entries == 0, "nothing left in the temporary directory");
}

}  // namespace quillmend::fuzz
