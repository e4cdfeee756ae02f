// The line XT_Init sends once the plug-in is ready, for the case log: which Quillmend, which
// Ghostscript library (its full path and the SHA-256 of its file), and how it converts.
#pragma once

namespace quillmend {

void ReportWhatConverts();

}  // namespace quillmend
