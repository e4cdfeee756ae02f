#include "real_dll.h"

#include <optional>
#include <system_error>

#include "support/pdf_builder.h"
#include "support/system.h"

namespace quillmend::test {

std::filesystem::path OutputsFolder(const std::string& group) {
  // A second release's documents go to a folder of their own, for checks of their own.
  const std::optional<std::string> release = GetEnvironmentValue(kRealGhostscriptReleaseVariable);
  const std::string outputs =
      release && !release->empty() ? "windows-e2e-outputs-" + *release : "windows-e2e-outputs";
  const std::filesystem::path folder = ExecutableDirectory() / outputs / group;
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error) ADD_FAILURE() << "cannot create " << PathUtf8(folder) << ": " << error.message();
  return folder;
}

std::filesystem::path FreshOutput(const std::string& group, const std::string& name) {
  const std::filesystem::path output = OutputsFolder(group) / name;
  std::error_code error;
  std::filesystem::remove(output, error);
  return output;
}

bool IsWholePdf15(const std::string& bytes) {
  if (bytes.rfind("%PDF-1.5", 0) != 0) return false;
  const std::size_t end = bytes.rfind("%%EOF");
  return end != std::string::npos && bytes.find_first_not_of("\r\n", end + 5) == std::string::npos;
}

std::string ZeroSizePagePdf() {
  return OnePagePdf("/MediaBox [0 0 0 0] /Contents 4 0 R", {StreamObject("", "0 0 m S\n")});
}

}  // namespace quillmend::test
