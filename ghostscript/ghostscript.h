// The bridge to Ghostscript's shared library: found beside the plug-in at start-up, bound by
// symbol name (the plug-in does not link against it), and driven once per view request.
#pragma once

#include <cstddef>
#include <cstdint>

#include "failure_reason.h"

namespace quillmend {

// What gsapi_revision reports. `long` is the library's own type: 32 bits on Windows.
struct GhostscriptRevision {
  const char* product;
  const char* copyright;
  long revision;  // NOLINT(google-runtime-int): the library's layout
  long date;      // NOLINT(google-runtime-int)
};

// Ghostscript's public programming interface, as far as a conversion needs it.
struct GhostscriptApi {
  int (*NewInstance)(void** instance, void* caller_handle);
  int (*InitWithArgs)(void* instance, int argc, char** argv);
  int (*Exit)(void* instance);
  void (*DeleteInstance)(void* instance);
  // Optional: older libraries lack it. When present, arguments are passed as UTF-8, which is
  // what lets paths outside the ANSI code page reach Ghostscript on Windows.
  int (*SetArgEncoding)(void* instance, int encoding);
  // Optional, and used only together: with all three, the document runs apart from the start-up,
  // so that the file permits start-up grants can be narrowed, and the narrowing checked, before
  // any of the document is read.
  int (*RemoveControlPath)(void* instance, int type, const char* path);
  int (*RunFile)(void* instance, const char* file_name, int user_errors, int* exit_code);
  int (*RunString)(void* instance, const char* text, int user_errors, int* exit_code);
  // Optional: tells how many pages the output device received.
  int (*GetParam)(void* instance, const char* name, void* value, int type);
  // Optional: where the console's text goes instead of the process's standard streams. The
  // callbacks get the caller handle given to NewInstance.
  int (*SetStdio)(void* instance, int (*in)(void*, char*, int), int (*out)(void*, const char*, int),
                  int (*err)(void*, const char*, int));
  // Optional: the library's product name and release, which name its settings in the registry.
  // Fills a GhostscriptRevision; typed as the C interface leaves it, opaque to the binding.
  int (*Revision)(void* revision, int size);
};

// Written only by XT_Init; read-only afterwards.
extern GhostscriptApi GsApi;

// Ghostscript's own spelling of a release, as in its registry key: revision 10000 is "10.00.0"
// (two digits for the minor part); releases before 9.53 counted in hundredths, 952 is "9.52".
// False when it does not fit `capacity` bytes.
bool FormReleaseName(long revision, char* name,
                     std::size_t capacity);  // NOLINT(google-runtime-int)

// Forms "<directory of this code's file><separator><name>" in `path` (kPathCapacity units): beside
// the plug-in, or beside the worker program. False when the file's own path is unavailable or cut
// short, has no directory part, or the joined path would not fit.
bool FormPathBesideThisModule(const char16_t* name, char16_t* path);

// Loads the Ghostscript library that lies beside the plug-in's own file and binds its functions.
// True only when the library loaded and the four required functions are bound. The library stays
// loaded either way.
bool LoadGsApi();

// True once the four required functions are bound.
bool GsApiIsBound();

// Rewrites the PDF document in the file `input` into the file `output` through the pdfwrite
// device, text drawn as outlines. Both are NUL-terminated UTF-16 paths. Deletes `input` in every
// case and leaves `output` to the caller. Tells nobody: the caller reports a failure, with the
// reason written to `*reason`.
bool ConvertWithGhostscript(const char16_t* input, const char16_t* output, FailureReason* reason);

// Pages `first` to `last` of a document, counted from 1; a `last` of 0 runs to the document's end.
struct PageRange {
  std::uint32_t first;
  std::uint32_t last;
};

// ConvertWithGhostscript for the pages of `range` alone, with the same arguments besides the
// range. `input` stays, for other ranges read it too. True only when the output received every
// page of the range: exactly last - first + 1 of them, or at least one for an open end.
bool ConvertPageRange(const char16_t* input, const char16_t* output, PageRange range,
                      FailureReason* reason);

// The path of the Ghostscript library LoadGsApi loaded, in `path` (kPathCapacity units). False
// before it has loaded one, or when its path is unavailable.
bool GetGhostscriptLibraryPath(char16_t* path);

}  // namespace quillmend
