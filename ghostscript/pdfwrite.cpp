#include "ghostscript.h"

#include <cstdio>

#include "confinement_check.h"
#include "console_capture.h"
#include "platform/platform.h"
#include "temp_permits.h"
#include "workstation_settings.h"

namespace quillmend {

namespace {

constexpr int kUtf8ArgumentEncoding = 1;
// gsapi_run_file: the interpreter handles the document's errors itself, as for a file named on
// the command line.
constexpr int kNoUserErrors = 0;
// gsapi_get_param's type code for an int value.
constexpr int kIntegerParameter = 2;

// A path in UTF-8 for Ghostscript's argument vector, in a heap block of its size plus `extra`
// bytes. Null when the path cannot be converted or the block cannot be had.
char* NarrowPath(const char16_t* path, std::size_t extra = 0) {
  const int size = os::Utf8Size(path);
  if (size <= 0) return nullptr;
  auto* narrow = static_cast<char*>(os::AllocateBlock(static_cast<std::size_t>(size) + extra));
  if (narrow == nullptr) return nullptr;
  if (!os::ConvertToUtf8(path, narrow, size)) {
    os::FreeBlock(narrow);
    return nullptr;
  }
  return narrow;
}

// Ghostscript reads the output name as a format for page numbers: "%d" in a folder's name would
// make it write elsewhere, or one file per page. "%%" stands for "%" itself, so the escaped name
// names exactly the staged output file, and so does the write permit Ghostscript makes of it.
char* OutputFileArgument(const char16_t* path) {
  const int size = os::Utf8Size(path);
  if (size <= 0) return nullptr;
  char* name = NarrowPath(path, static_cast<std::size_t>(size));
  if (name == nullptr) return nullptr;
  std::size_t percents = 0;
  for (const char* c = name; *c != '\0'; ++c) percents += *c == '%' ? 1 : 0;
  // Backwards, so that each byte moves once and lands behind its escapes.
  for (std::size_t from = static_cast<std::size_t>(size), to = from + percents; percents > 0;) {
    const char c = name[--from];
    name[--to] = c;
    if (c == '%') {
      name[--to] = '%';
      --percents;
    }
  }
  return name;
}

// Starts the interpreter with the fixed arguments and runs the document. Where the library
// allows, start-up and the document are two steps: the permits start-up grants on the temporary
// directory are withdrawn, and the withdrawal checked, before the first byte of the document is
// read. The arguments are the same either way; the input merely comes last, as its own step.
// False with `*reason` set only when the document was never run for a reason of its own.
bool RunDocument(void* instance, char* input, char* output, PageRange range,
                 FailureReason* reason) {
  const char* arguments[12] = {
      "1337",  // the program-name slot, which Ghostscript skips
      "-sDEVICE=pdfwrite",
      "-dNoOutputFonts",
      "-dCompatibilityLevel=1.5",
      "-r150",
      "-dQUIET",
      "-dSAFER",
  };
  int argument_count = 7;
  char first_page[32];
  char last_page[32];
  if (range.first != 0) {
    std::snprintf(first_page, sizeof(first_page), "-dFirstPage=%lu",
                  static_cast<unsigned long>(range.first));  // NOLINT(google-runtime-int)
    arguments[argument_count++] = first_page;
  }
  if (range.last != 0) {
    std::snprintf(last_page, sizeof(last_page), "-dLastPage=%lu",
                  static_cast<unsigned long>(range.last));  // NOLINT(google-runtime-int)
    arguments[argument_count++] = last_page;
  }
  arguments[argument_count++] = "-o";
  arguments[argument_count++] = output;
  arguments[argument_count++] = input;
  // Ghostscript's interface takes char** but does not write through it.
  char** vector = const_cast<char**>(arguments);
  if (GsApi.RemoveControlPath == nullptr || GsApi.RunFile == nullptr ||
      GsApi.RunString == nullptr) {
    return GsApi.InitWithArgs(instance, argument_count, vector) == 0;
  }
  if (GsApi.InitWithArgs(instance, argument_count - 1, vector) != 0) return false;
  if (!WithdrawTempDirectoryPermits(instance)) return false;
  if (!StagedInputIsOutOfReach(instance, input)) {
    *reason = FailureReason::kPermitReachesTemp;
    return false;
  }
  int exit_code = 0;
  return GsApi.RunFile(instance, input, kNoUserErrors, &exit_code) == 0;
}

// A document Ghostscript cannot open at all (a user password, no catalogue, no page) still
// "converts": it reports success and pdfwrite closes its output with one empty page of its own.
// Only the number of pages the device received tells such a run from a real one. `*none` tells
// that the device was known to receive none.
// A page range must have received exactly its pages: `expected`, unless that is 0 (any number).
bool ProducedThePages(void* instance, std::uint32_t expected, bool* none) {
  if (GsApi.GetParam == nullptr) return expected == 0;
  int pages = 0;
  if (GsApi.GetParam(instance, "PageCount", &pages, kIntegerParameter) < 0) return false;
  *none = pages <= 0;
  return pages > 0 && (expected == 0 || static_cast<std::uint32_t>(pages) == expected);
}

// Runs the interpreter once over the two files. True only when it reported success and wrote at
// least one page of the document; otherwise `*reason` tells why, as far as is known.
bool Convert(void* instance, const char16_t* input, const char16_t* output, PageRange range,
             const ConsoleCapture& console, FailureReason* reason) {
  if (GsApi.SetArgEncoding != nullptr &&
      GsApi.SetArgEncoding(instance, kUtf8ArgumentEncoding) != 0) {
    return false;
  }
  char* narrow_input = NarrowPath(input);
  char* narrow_output = OutputFileArgument(output);
  // A path that could not be converted must not become a missing or partial argument.
  bool no_page = false;
  const bool prepared = narrow_input != nullptr && narrow_output != nullptr;
  const bool ran = prepared && RunDocument(instance, narrow_input, narrow_output, range, reason);
  const std::uint32_t expected = range.last == 0 ? 0 : range.last - range.first + 1;
  const bool succeeded = ran && ProducedThePages(instance, expected, &no_page);
  os::FreeBlock(narrow_input);
  os::FreeBlock(narrow_output);
  if (succeeded || *reason != FailureReason::kUnknown || !prepared) return succeeded;
  *reason = ReasonFromConsole(console);
  if (*reason == FailureReason::kUnknown && no_page) *reason = FailureReason::kNoPage;
  return false;
}

// Runs one conversion. The input is deleted afterwards unless `keep_input`.
bool RunConversion(const char16_t* input, const char16_t* output, PageRange range, bool keep_input,
                   FailureReason* reason) {
  *reason = FailureReason::kUnknown;
  // Ghostscript would add the workstation's GS_OPTIONS to the arguments below: a page range, or
  // -dNOSAFER. No conversion runs while they are set.
  if (GhostscriptOptionsAreSet()) {
    if (!keep_input) os::DeleteFileAt(input);
    *reason = FailureReason::kGhostscriptOptions;
    return false;
  }
  // Ghostscript's console goes here, not to the process's standard streams.
  ConsoleCapture console{};
  // A virus scanner may still hold a staged file it took when the file was made, and then
  // Ghostscript's own open fails. Both are opened first, as Ghostscript will open them, waiting
  // out such a hold, and kept open until it has run, so that no new one comes in between.
  os::FileHandle held_input = os::kNoFile;
  os::FileHandle held_output = os::kNoFile;
  void* instance = nullptr;
  bool succeeded = false;
  const bool held =
      os::HoldFileForGhostscript(input, os::GhostscriptOpens::kForReading, &held_input) &&
      os::HoldFileForGhostscript(output, os::GhostscriptOpens::kForWriting, &held_output);
  if (!held) *reason = FailureReason::kTempDirectory;
  if (held && GsApi.NewInstance(&instance, &console) == 0 &&
      (GsApi.SetStdio == nullptr ||
       GsApi.SetStdio(instance, ReadNoConsoleInput, CaptureConsoleOutput, CaptureConsoleOutput) ==
           0)) {
    succeeded = Convert(instance, input, output, range, console, reason);
  }
  os::ReleaseHeldFile(held_input);
  os::ReleaseHeldFile(held_output);
  // The document has been read (or never will be): its staged copy goes before anything else
  // can fail, so no path leaves it on disk. Ghostscript may still hold it, so this is a single
  // attempt; the patient one comes once Ghostscript has let go.
  const os::Removal removal = keep_input ? os::Removal::kRemoved : os::DeleteFileOnce(input);
  if (GsApi.Exit(instance) != 0) succeeded = false;
  GsApi.DeleteInstance(instance);
  // After a document it rejects, Ghostscript keeps the file open until the instance exits, and
  // Windows deletes no open file. Only that case is asked again: a name that was removed, or
  // was not there, may already belong to a concurrent request's new file.
  if (removal == os::Removal::kInUse) os::DeleteFileAt(input);
  return succeeded;
}

}  // namespace

bool ConvertWithGhostscript(const char16_t* input, const char16_t* output, FailureReason* reason) {
  return RunConversion(input, output, {0, 0}, false, reason);
}

bool ConvertPageRange(const char16_t* input, const char16_t* output, PageRange range,
                      FailureReason* reason) {
  return RunConversion(input, output, range, true, reason);
}

}  // namespace quillmend
