// The page-level work on PDF documents that only a separate program does, never the host's
// process: counting a document's pages and joining converted page ranges into one document. Both
// read documents with qpdf; every fault qpdf finds in a document, or any exception it throws, is
// a false answer here, so callers built without exceptions can use them.
//
// Paths are UTF-8 (on Windows qpdf opens them as wide paths).
#pragma once

#include <cstddef>
#include <cstdint>

namespace quillmend::pdf {

// The number of pages in the document at `path`, as its page tree lists them (a page listed twice
// counts twice). False when qpdf cannot read the document, or it has no page tree.
bool CountPages(const char* path, std::uint64_t* count) noexcept;

// CountPages for a document held in memory: the `size` bytes at `bytes`, which qpdf reads in
// place.
bool CountPagesInMemory(const void* bytes, std::size_t size, std::uint64_t* count) noexcept;

// Joins the documents `parts` (`part_count` of them, each a converted page range, in page order)
// into a new document at `output`. The result keeps every page of every part in order, and the
// document information of the first part. What cannot survive the join goes: outlines, and links
// whose destination is not a page of the result. False, with no promise about `output`, unless
// each part reads cleanly and the result, read back, holds exactly `expected_pages` pages, which
// is also the sum of the parts' pages.
bool JoinParts(const char* const* parts, int part_count, std::uint64_t expected_pages,
               const char* output) noexcept;

}  // namespace quillmend::pdf
