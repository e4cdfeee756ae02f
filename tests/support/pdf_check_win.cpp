// Poppler's tools are Linux programs, which a Windows program under Wine cannot run.
#include "pdf_check.h"

namespace quillmend::test {

bool PdfToolsAvailable() {
  return false;
}
int PdfPageCount(const std::filesystem::path&) {
  return -1;
}
std::string PdfComplaints(const std::filesystem::path&) {
  return "poppler's tools cannot run here";
}
std::vector<std::string> PdfFonts(const std::filesystem::path&, bool* ok) {
  *ok = false;
  return {};
}
std::vector<GrayPage> RenderGray(const std::filesystem::path&, int, const std::filesystem::path&) {
  return {};
}

}  // namespace quillmend::test
