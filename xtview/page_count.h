// The number of pages a converted document declares, for the report.
#pragma once

#include <cstdint>
#include <optional>

namespace xtview {

// The /Count of the document's page tree, reached as a viewer reaches it: from the last
// startxref to a classic cross-reference table, its trailer's /Root, the catalog's /Pages. Never a
// search of the text, which the content of a hostile document could fool. Empty whenever
// anything on that way is not plainly there: a cross-reference stream (documents that keep their
// objects in compressed object streams), an object the table does not list, an indirect /Count.
std::optional<std::int64_t> DeclaredPageCount(const std::uint8_t* bytes, std::uint64_t size);

}  // namespace xtview
