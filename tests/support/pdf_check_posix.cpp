#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <system_error>

#include "pdf_check.h"
#include "sandbox.h"
#include "system.h"

namespace quillmend::test {

namespace {

std::string Quote(const std::filesystem::path& path) {
  return ShellQuote(PathUtf8(path));
}

// Runs a shell command and returns its standard output; `ok` tells whether it exited with 0.
std::string Run(const std::string& command, bool* ok) {
  std::string output;
  *ok = false;
  std::FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
  if (pipe == nullptr) return output;
  char chunk[4096];
  for (std::size_t got; (got = std::fread(chunk, 1, sizeof(chunk), pipe)) > 0;) {
    output.append(chunk, got);
  }
  const int status = pclose(pipe);
  *ok = status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return output;
}

// A binary PGM (P5, maxval 255) as pdftoppm writes it.
bool ReadPgm(const std::filesystem::path& file, GrayPage* page) {
  std::ifstream in(file, std::ios::binary);
  std::string magic;
  int maximum = 0;
  in >> magic >> page->width >> page->height >> maximum;
  if (!in || magic != "P5" || maximum != 255 || page->width <= 0 || page->height <= 0) {
    return false;
  }
  in.get();  // the single white-space byte before the pixels
  page->pixels.resize(static_cast<std::size_t>(page->width) * page->height);
  in.read(reinterpret_cast<char*>(page->pixels.data()),
          static_cast<std::streamsize>(page->pixels.size()));
  return static_cast<bool>(in);
}

}  // namespace

std::string PdfComplaints(const std::filesystem::path& pdf) {
  bool ok = false;
  // qpdf prints its findings and warnings on standard output or error; pdfinfo only its
  // warnings on standard error.
  const std::string check = Run("(qpdf --check " + Quote(pdf) + " 2>&1)", &ok);
  std::string complaints = ok && check.find("WARNING") == std::string::npos ? "" : check;
  complaints += Run("(pdfinfo " + Quote(pdf) + " 2>&1 >/dev/null)", &ok);
  return ok ? complaints : complaints + "pdfinfo failed";
}

std::string ShellQuote(const std::string& text) {
  std::string quoted = "'";
  for (const char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

bool PdfToolsAvailable() {
  return true;
}

int PdfPageCount(const std::filesystem::path& pdf) {
  bool ok = false;
  std::istringstream output(Run("pdfinfo " + Quote(pdf), &ok));
  if (!ok) return -1;
  for (std::string line; std::getline(output, line);) {
    if (line.rfind("Pages:", 0) == 0) return std::atoi(line.c_str() + 6);
  }
  return -1;
}

std::vector<std::string> PdfFonts(const std::filesystem::path& pdf, bool* ok) {
  std::istringstream output(Run("pdffonts " + Quote(pdf), ok));
  std::vector<std::string> rows;
  // Two heading lines (names, then dashes), then one row per font.
  int line_number = 0;
  for (std::string line; std::getline(output, line); ++line_number) {
    if (line_number >= 2 && !line.empty()) rows.push_back(line);
  }
  return rows;
}

std::vector<GrayPage> RenderGray(const std::filesystem::path& pdf, int dpi,
                                 const std::filesystem::path& work) {
  std::error_code error;
  std::filesystem::create_directories(work, error);
  bool ok = false;
  Run("pdftoppm -gray -r " + std::to_string(dpi) + " " + Quote(pdf) + " " + Quote(work / "page"),
      &ok);
  std::vector<GrayPage> pages;
  if (!ok) return pages;
  // pdftoppm numbers the files page-1.pgm, or page-01.pgm and so on for longer documents:
  // equal widths, so name order is page order.
  std::vector<std::string> names = EntriesOf(work);
  std::erase_if(names, [](const std::string& name) {
    return name.rfind("page-", 0) != 0 || !name.ends_with(".pgm");
  });
  for (const std::string& name : names) {
    GrayPage page;
    if (!ReadPgm(work / name, &page)) return {};
    pages.push_back(std::move(page));
  }
  return pages;
}

}  // namespace quillmend::test
