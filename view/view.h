// The view request: recognising a PDF item, staging it in a temporary file, having it rewritten
// and handing the result to the host. The entry points XT_View and XT_ReleaseMem are declared in
// plugin/quillmend.h.
#pragma once

#include <cstdint>

namespace quillmend {

// Values XT_View writes through its result-size pointer when it returns no buffer.
inline constexpr std::int64_t kItemNotTaken = -1;
inline constexpr std::int64_t kConversionFailed = -2;

// Items the host reports as shorter than this are not taken.
inline constexpr std::int64_t kMinimumItemSize = 150;

// Every temporary file of a request begins with this prefix.
inline constexpr char16_t kTempFilePrefix[] = u"QVT";

}  // namespace quillmend
