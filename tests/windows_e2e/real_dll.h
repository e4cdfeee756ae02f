// The frame of the Windows end-to-end tests: the plug-in beside a real gsdll64.dll, which the
// build copies to bin/real-gs/ from QUILLMEND_WINDOWS_GHOSTSCRIPT. Without it these tests fail:
// the real DLL is the point of the group, so its absence must not pass as a skip.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/plugin_loader.h"
#include "support/view_fixture.h"

namespace quillmend::test {

inline constexpr char kNoRealDll[] =
    "bin/real-gs/gsdll64.dll is missing: the Windows end-to-end tests need a real 64-bit "
    "Ghostscript DLL. Configure with -DQUILLMEND_WINDOWS_GHOSTSCRIPT=<path of gsdll64.dll>; "
    "scripts/build-ghostscript builds one and prints its path.";

inline const HostMessage kLoaded{u"Quillmend viewer X-Tension loaded.", 2};

// Outputs for the native checks with poppler's tools (check_outputs.sh), which run after the
// Wine tests: bin/windows-e2e-outputs/<group>/, created if need be.
std::filesystem::path OutputsFolder(const std::string& group);

// The path of document `name` in that folder, with any document an earlier run left there
// removed, so that the checks never see a stale one.
std::filesystem::path FreshOutput(const std::string& group, const std::string& name);

// The plug-in has started with the real DLL beside it; the host has seen nothing since.
class RealDllTest : public ViewTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(RealGhostscriptAvailable()) << kNoRealDll;
    ASSERT_TRUE(Ready(Ghostscript::kReal));
  }
};

// True when `bytes` is a whole PDF 1.5 document: the header, and the end-of-file marker at the
// end (pdfwrite ends with a line break after it).
bool IsWholePdf15(const std::string& bytes);

// A sound one-page PDF whose page has no area. Ghostscript repairs or skips almost any damage,
// but pdfwrite cannot set up a page of size 0 by 0, so its conversion fails.
std::string ZeroSizePagePdf();

}  // namespace quillmend::test
