// Hand-made PDF documents for hostile tests: objects in order, with a correct cross-reference
// table, so that whatever a test puts into them reaches the interpreter as written.
#pragma once

#include <string>
#include <vector>

namespace quillmend::test {

// A document whose objects are `objects` (object 1 first), with object 1 as its catalogue.
std::string BuildPdf(const std::vector<std::string>& objects);

// A stream object: `dictionary` holds the entries other than /Length.
std::string StreamObject(const std::string& dictionary, const std::string& data);

// A PDF string literal for `text`, with backslashes and parentheses escaped.
std::string PdfString(const std::string& text);

}  // namespace quillmend::test
