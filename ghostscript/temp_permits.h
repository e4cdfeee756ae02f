// Under -dSAFER, Ghostscript's start-up lets every document read, write and control any file in
// the user's temporary directory: another program's files there, and the staged evidence of
// every other request. A request's document needs none of it: Ghostscript permits the input,
// the output and its own scratch files one by one.
#pragma once

namespace quillmend {

// Withdraws from a started instance the permits that start-up granted on the temporary
// directory, under every name Ghostscript may have taken it from. False when one of those
// names is set to a value that cannot be handled, or Ghostscript refuses a removal: the
// directory may then still be open to the document.
bool WithdrawTempDirectoryPermits(void* instance);

}  // namespace quillmend
