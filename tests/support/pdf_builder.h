// Hand-made PDF documents for hostile tests: objects in order, with a correct cross-reference
// table, so that whatever a test puts into them reaches the interpreter as written.
#pragma once

#include <string>
#include <vector>

namespace quillmend::test {

// A document whose objects are `objects` (object 1 first), with object 1 as its catalogue.
std::string BuildPdf(const std::vector<std::string>& objects);

// A one-page document: the catalogue (object 1) with `catalogue_entries` added, the page tree (2),
// the page (3) with `page_entries` (its box, contents and resources) and `more`, numbered from 4.
std::string OnePagePdf(const std::string& page_entries, const std::vector<std::string>& more,
                       const std::string& catalogue_entries = "");

// A stream object: `dictionary` holds the entries other than /Length.
std::string StreamObject(const std::string& dictionary, const std::string& data);

// A PDF string literal for `text`, with backslashes and parentheses escaped.
std::string PdfString(const std::string& text);

}  // namespace quillmend::test
