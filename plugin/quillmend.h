// Quillmend's face to the X-Ways host: the four entry points it exports. The services it calls
// back into are in host/host_api.h.
//
// The host loads the plug-in as a 64-bit library, calls XT_Init once, then XT_View for each item
// it is about to show and XT_ReleaseMem for each buffer XT_View returned. On x64 there is a
// single calling convention, so these are plain extern "C" functions with undecorated names.
//
// Host types: LONG = int32_t, DWORD = uint32_t, INT64 = int64_t, HANDLE and PVOID = void*.
#pragma once

#include <cstdint>

// Set by the build: marks the four exports visible where symbols are hidden by default.
#ifndef QUILLMEND_EXPORT
#define QUILLMEND_EXPORT
#endif

extern "C" {

// Binds the host services and Ghostscript. Returns 2 (ready, safe to call from several threads
// at once) or -1 (do not use the plug-in).
QUILLMEND_EXPORT std::int32_t XT_Init(std::uint32_t nVersion, std::uint32_t nFlags, void* hMainWnd,
                                      void* lpReserved);

// Shows what the plug-in does; returns 0 once the user has closed the box.
QUILLMEND_EXPORT std::int32_t XT_About(void* hParentWnd, void* lpReserved);

// Rewrites a PDF item through Ghostscript's pdfwrite device. Writes -1 to *lpResSize for items
// it does not take, -2 for PDF items whose conversion failed, and otherwise the length of the
// returned buffer, which the host gives back through XT_ReleaseMem.
QUILLMEND_EXPORT void* XT_View(void* hItem, std::int32_t nItemID, void* hVolume, void* hEvidence,
                               void* lpReserved, std::int64_t* lpResSize);

// Frees a buffer that XT_View returned. 0 for null, 1 otherwise.
QUILLMEND_EXPORT std::int32_t XT_ReleaseMem(void* lpBuffer);

}  // extern "C"
