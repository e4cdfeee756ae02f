#include "ghostscript.h"

#include "platform/platform.h"
#include "plugin/quillmend.h"

namespace quillmend {

namespace {

constexpr char16_t kConversionFailedMessage[] = u"[ERROR] GhostScript conversion failed.";
constexpr int kUtf8ArgumentEncoding = 1;

// A path in UTF-8 for Ghostscript's argument vector, in a heap block of exactly its size.
// Null when the path cannot be converted or the block cannot be had.
char* NarrowPath(const char16_t* path) {
  const int size = os::Utf8Size(path);
  if (size <= 0) return nullptr;
  auto* narrow = static_cast<char*>(os::AllocateBlock(static_cast<unsigned>(size)));
  if (narrow == nullptr) return nullptr;
  if (!os::ConvertToUtf8(path, narrow, size)) {
    os::FreeBlock(narrow);
    return nullptr;
  }
  return narrow;
}

// Runs the interpreter once over the two files. True only when it reported success.
bool RunInterpreter(void* instance, const char16_t* input, const char16_t* output) {
  if (GsApi.SetArgEncoding != nullptr &&
      GsApi.SetArgEncoding(instance, kUtf8ArgumentEncoding) != 0) {
    return false;
  }
  char* narrow_input = NarrowPath(input);
  char* narrow_output = NarrowPath(output);
  bool succeeded = false;
  // A path that could not be converted must not become a missing or partial argument.
  if (narrow_input != nullptr && narrow_output != nullptr) {
    const char* arguments[] = {
        "1337",  // the program-name slot, which Ghostscript skips
        "-sDEVICE=pdfwrite",
        "-dNoOutputFonts",
        "-dCompatibilityLevel=1.5",
        "-r150",
        "-dQUIET",
        "-dSAFER",
        "-o",
        narrow_output,
        narrow_input,
    };
    constexpr int kArgumentCount = sizeof(arguments) / sizeof(arguments[0]);
    // Ghostscript's interface takes char** but does not write through it.
    succeeded = GsApi.InitWithArgs(instance, kArgumentCount, const_cast<char**>(arguments)) == 0;
  }
  os::FreeBlock(narrow_input);
  os::FreeBlock(narrow_output);
  return succeeded;
}

}  // namespace

bool RunPdfWrite(const char16_t* input, const char16_t* output) {
  void* instance = nullptr;
  bool succeeded = false;
  if (GsApi.NewInstance(&instance, nullptr) == 0) {
    succeeded = RunInterpreter(instance, input, output);
  }
  // The document has been read (or never will be): its staged copy goes before anything else
  // can fail, so no path leaves it on disk.
  const bool input_deleted = os::DeleteFileAt(input);
  if (GsApi.Exit(instance) != 0) succeeded = false;
  GsApi.DeleteInstance(instance);
  // After a document it rejects, Ghostscript keeps the file open until the instance exits, and
  // Windows deletes no open file. It is asked again only when the first request failed: once
  // deleted, its name may already belong to a concurrent request's new file.
  if (!input_deleted) os::DeleteFileAt(input);
  if (!succeeded) HostApi.OutputMessage(kConversionFailedMessage, kNoticeFlags);
  return succeeded;
}

}  // namespace quillmend
