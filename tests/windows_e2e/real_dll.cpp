#include "real_dll.h"

#include <cstdio>
#include <system_error>

#include "support/host_services.h"
#include "support/system.h"
#include "support/view_support.h"

namespace quillmend::test {

std::filesystem::path OutputsFolder(const std::string& group) {
  const std::filesystem::path folder = ExecutableDirectory() / "windows-e2e-outputs" / group;
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

std::string RealDllTest::Convert(const std::string& document) {
  const ViewResult result = ViewItem(plugin_, AddItem({document, {}, {}}));
  const std::string bytes = BufferBytes(result);
  EXPECT_EQ(result.size, static_cast<std::int64_t>(bytes.size()));
  EXPECT_EQ(plugin_.ReleaseMem(result.buffer), result.buffer == nullptr ? 0 : 1);
  return bytes;
}

bool IsWholePdf15(const std::string& bytes) {
  if (bytes.rfind("%PDF-1.5", 0) != 0) return false;
  const std::size_t end = bytes.rfind("%%EOF");
  return end != std::string::npos && bytes.find_first_not_of("\r\n", end + 5) == std::string::npos;
}

std::string PdfOfObjects(const std::vector<std::string>& objects) {
  const std::string count = std::to_string(objects.size() + 1);
  std::string pdf = "%PDF-1.4\n";
  std::string xref = "xref\n0 " + count + "\n0000000000 65535 f \n";
  int number = 0;
  for (const std::string& object : objects) {
    char entry[24];
    std::snprintf(entry, sizeof(entry), "%010zu 00000 n \n", pdf.size());
    xref += entry;
    pdf += std::to_string(++number) + " 0 obj\n" + object + "\nendobj\n";
  }
  const std::size_t start = pdf.size();
  return pdf + xref + "trailer\n<< /Size " + count + " /Root 1 0 R >>\nstartxref\n" +
         std::to_string(start) + "\n%%EOF\n";
}

std::string ZeroSizePagePdf() {
  return PdfOfObjects({
      "<< /Type /Catalog /Pages 2 0 R >>",
      "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
      "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 0 0] /Contents 4 0 R >>",
      "<< /Length 8 >>\nstream\n0 0 m S\n\nendstream",
  });
}

}  // namespace quillmend::test
