#include "pdf_builder.h"

#include <cstdio>

namespace quillmend::test {

std::string BuildPdf(const std::vector<std::string>& objects) {
  std::string pdf = "%PDF-1.7\n%\xE2\xE3\xCF\xD3\n";
  std::vector<std::size_t> offsets;
  for (std::size_t i = 0; i < objects.size(); ++i) {
    offsets.push_back(pdf.size());
    pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
  }
  const std::size_t xref = pdf.size();
  pdf += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
  for (const std::size_t offset : offsets) {
    char entry[32];
    std::snprintf(entry, sizeof(entry), "%010zu 00000 n \n", offset);
    pdf += entry;
  }
  pdf += "trailer\n<< /Size " + std::to_string(objects.size() + 1) + " /Root 1 0 R >>\n";
  pdf += "startxref\n" + std::to_string(xref) + "\n%%EOF\n";
  return pdf;
}

std::string OnePagePdf(const std::string& page_entries, const std::vector<std::string>& more,
                       const std::string& catalogue_entries) {
  std::vector<std::string> objects = {"<< /Type /Catalog /Pages 2 0 R " + catalogue_entries + " >>",
                                      "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                                      "<< /Type /Page /Parent 2 0 R " + page_entries + " >>"};
  objects.insert(objects.end(), more.begin(), more.end());
  return BuildPdf(objects);
}

std::string StreamObject(const std::string& dictionary, const std::string& data) {
  return "<< " + dictionary + " /Length " + std::to_string(data.size()) + " >>\nstream\n" + data +
         "\nendstream";
}

std::string PdfString(const std::string& text) {
  std::string literal = "(";
  for (const char c : text) {
    if (c == '\\' || c == '(' || c == ')') literal += '\\';
    literal += c;
  }
  return literal + ")";
}

}  // namespace quillmend::test
