// Checks of a PDF file with Debian's poppler-utils (pdfinfo, pdffonts, pdftoppm), natively.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace quillmend::test {

// `text` quoted for the POSIX shell (natively only).
std::string ShellQuote(const std::string& text);

// False where the tools cannot run (Windows programs under Wine).
bool PdfToolsAvailable();

// The page count pdfinfo reports; -1 when it cannot read the file.
int PdfPageCount(const std::filesystem::path& pdf);

// What `qpdf --check` and pdfinfo say is wrong with the document, besides pdfinfo's facts: empty
// for a clean document.
std::string PdfComplaints(const std::filesystem::path& pdf);

// The rows of pdffonts' table, one per font; empty for a document without fonts. Sets `ok` to
// false when pdffonts fails.
std::vector<std::string> PdfFonts(const std::filesystem::path& pdf, bool* ok);

struct GrayPage {
  int width = 0;
  int height = 0;
  std::vector<unsigned char> pixels;
};

// Every page rendered in grey at `dpi` (pdftoppm -gray), in page order; scratch files go into
// `work`. Empty when rendering fails.
std::vector<GrayPage> RenderGray(const std::filesystem::path& pdf, int dpi,
                                 const std::filesystem::path& work);

// The mean absolute difference of two pages' pixels, 0 to 255; a negative value when their
// sizes differ.
double MeanAbsoluteDifference(const GrayPage& a, const GrayPage& b);

}  // namespace quillmend::test
