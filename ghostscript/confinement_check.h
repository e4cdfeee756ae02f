// After the permits on the temporary directory are withdrawn, the document's own staged file must
// be out of its reach: it gets its one permit only as gsapi_run_file starts it. A permit that
// still reaches it (a spelling of the temporary directory the withdrawal missed, a folder among
// Ghostscript's library or font paths, a release that forms its permits otherwise) would open the
// document's neighbours to it too.
#pragma once

namespace quillmend {

// Asks the started interpreter, as a document would ask, whether the file `input` (UTF-8, as
// gsapi_run_file will get it) can be read. True only when the interpreter answers that it cannot.
bool StagedInputIsOutOfReach(void* instance, const char* input);

}  // namespace quillmend
