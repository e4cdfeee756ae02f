#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

#include "about_capture.h"
#include "sandbox.h"
#include "system.h"

namespace quillmend::test {

AboutCapture CaptureAbout(const Plugin& plugin) {
  AboutCapture capture;
  TestFolder folder;
  const std::filesystem::path file = folder.path() / "stderr";
  const int sink = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (sink < 0) {
    capture.unavailable = "cannot create " + PathUtf8(file);
    return capture;
  }
  std::fflush(stderr);
  const int saved = dup(STDERR_FILENO);
  dup2(sink, STDERR_FILENO);
  capture.result = plugin.About(nullptr, nullptr);
  std::fflush(stderr);
  dup2(saved, STDERR_FILENO);
  close(saved);
  close(sink);
  capture.shown = ReadFileBytes(file);
  return capture;
}

}  // namespace quillmend::test
