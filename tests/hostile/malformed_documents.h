// Damaged and rewritten forms of a PDF document, for feeding real Ghostscript.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace quillmend::test {

struct DocumentVariant {
  std::string name;
  std::string bytes;
};

// The document cut short at many points: inside the header, around the 150-byte minimum, at
// fractions of its length, and in its cross-reference table and trailer near the end.
std::vector<DocumentVariant> Truncations(const std::string& pdf);

// Copies with `count` bytes after the "%PDF-" header flipped to other values, positions and
// values drawn from `seed`: the same seed always gives the same copy.
DocumentVariant WithFlippedBytes(const std::string& pdf, int count, std::uint32_t seed);

// The document run through qpdf with `options` between the input and output file names; work
// files go into `work`. Empty when qpdf fails.
std::string RewriteWithQpdf(const std::string& pdf, const std::vector<std::string>& options,
                            const std::filesystem::path& work);

}  // namespace quillmend::test
