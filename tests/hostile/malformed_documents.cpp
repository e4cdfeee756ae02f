#include "malformed_documents.h"

#include <sys/wait.h>

#include <cstdlib>
#include <random>
#include <system_error>

#include "support/pdf_check.h"
#include "support/sandbox.h"
#include "support/system.h"

namespace quillmend::test {

std::vector<DocumentVariant> Truncations(const std::string& pdf) {
  const std::size_t size = pdf.size();
  std::vector<std::size_t> cuts = {0, 4, 5, 149, 150, 151, 300};
  for (const std::size_t percent : {10, 25, 40, 50, 60, 75, 90})
    cuts.push_back(size * percent / 100);
  for (const std::size_t from_end : {400, 200, 100, 40, 20, 6, 1}) {
    if (from_end < size) cuts.push_back(size - from_end);
  }
  std::vector<DocumentVariant> variants;
  for (const std::size_t cut : cuts) {
    if (cut >= size) continue;
    variants.push_back(
        {"cut at " + std::to_string(cut) + " of " + std::to_string(size), pdf.substr(0, cut)});
  }
  return variants;
}

DocumentVariant WithFlippedBytes(const std::string& pdf, int count, std::uint32_t seed) {
  constexpr std::size_t kHeader = 5;
  DocumentVariant variant{std::to_string(count) + " bytes flipped, seed " + std::to_string(seed),
                          pdf};
  if (pdf.size() <= kHeader) return variant;
  std::mt19937 random(seed);
  std::uniform_int_distribution<std::size_t> position(kHeader, pdf.size() - 1);
  std::uniform_int_distribution<int> mask(1, 255);
  for (int i = 0; i < count; ++i) {
    variant.bytes[position(random)] ^= static_cast<char>(mask(random));
  }
  return variant;
}

std::string RewriteWithQpdf(const std::string& pdf, const std::vector<std::string>& options,
                            const std::filesystem::path& work) {
  std::error_code error;
  std::filesystem::create_directories(work, error);
  const std::filesystem::path input = work / "qpdf-in.pdf";
  const std::filesystem::path output = work / "qpdf-out.pdf";
  std::filesystem::remove(output, error);
  if (!WriteFileBytes(input, pdf)) return std::string();
  std::string command = "qpdf";
  for (const std::string& option : options) command += " " + ShellQuote(option);
  command +=
      " " + ShellQuote(PathUtf8(input)) + " " + ShellQuote(PathUtf8(output)) + " >/dev/null 2>&1";
  const int status = std::system(command.c_str());
  // qpdf exits with 3 when it succeeded with warnings.
  if (status == -1 || !WIFEXITED(status) ||
      (WEXITSTATUS(status) != 0 && WEXITSTATUS(status) != 3)) {
    return std::string();
  }
  return ReadFileBytes(output);
}

}  // namespace quillmend::test
