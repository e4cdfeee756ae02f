// Helpers for tests of the view path: calling XT_View, fixtures and the stand-in's controls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "plugin_loader.h"
#include "sandbox.h"

namespace quillmend::test {

struct ViewResult {
  void* buffer = nullptr;
  std::int64_t size = 0;
};

// A folder name in UTF-8 with letters outside ASCII and outside any one ANSI code page, two of
// them outside the Basic Multilingual Plane (U+1F4C4, U+20BB7: surrogate pairs in UTF-16).
inline constexpr char kFarFromAsciiName[] =
    "j\u00fcrgen \u0416\u043e\u0440\u0430 \U0001F4C4\U00020BB7";

// XT_View on `item` as the host calls it, with a result-size slot primed to a value the plug-in
// never writes, so that a missing write shows.
ViewResult ViewItem(const Plugin& plugin, void* item);

// XT_View of a PDF-like item by a plug-in that must not take it (not started, or half-bound): no
// buffer and -1, the host's call count still `host_calls`, and the stand-in, whose log lies in
// `folder`, never called.
void ExpectViewTouchesNothing(const Plugin& plugin, const std::filesystem::path& folder,
                              int host_calls);

// Runs `request(thread, round)` for `rounds` rounds on each of `threads` threads, which start
// together once all of them exist, and waits for them all.
void OnThreads(int threads, int rounds, const std::function<void(int, int)>& request);

// The bytes of a returned buffer; empty for a null one.
std::string BufferBytes(const ViewResult& result);

// A document that starts with the PDF header and is `size` bytes long. The stand-in copies
// it as it is; real Ghostscript would reject it.
std::string PdfLikeBytes(std::size_t size);

// A fixture PDF made at build time (bin/fixtures/NAME).
std::filesystem::path FixturePdf(const std::string& name);

// The stand-in's behaviour words (QUILLMEND_STANDIN) and its call log (QUILLMEND_STANDIN_LOG),
// set for the scope's duration. The log lies in `folder`.
class StandinControl {
 public:
  StandinControl(const std::filesystem::path& folder, const std::string& words);
  std::vector<std::string> LogLines() const;
  // The rest of each line that begins with `prefix`, in the order they were logged.
  std::vector<std::string> Values(const std::string& prefix) const;
  // The values of "arg N VALUE" lines with this N.
  std::vector<std::string> Arguments(int index) const;
  // Every file named to Ghostscript: the outputs (argument 8), then the inputs (argument 9, or
  // the file given to gsapi_run_file).
  std::vector<std::string> FilesNamed() const;
  // The most Ghostscript instances that existed at once.
  int PeakAlive() const;
  const std::filesystem::path& log() const { return log_; }
  // Also steers the copy of the stand-in in `library_folder` when a program whose environment
  // the test does not set loads it (the conversion worker): writes its control file there.
  bool AlsoFor(const std::filesystem::path& library_folder) const;

 private:
  std::filesystem::path log_;
  std::string words_text_;
  ScopedEnvironment words_;
  ScopedEnvironment log_variable_;
};

}  // namespace quillmend::test
