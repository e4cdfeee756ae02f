// The frame of the hostile-input tests: a fresh folder, a scratch temporary directory of the
// plug-in's own, and the checks that every request must pass whatever its item was.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/plugin_loader.h"
#include "support/sandbox.h"
#include "support/test_host.h"
#include "support/view_fixture.h"
#include "support/view_support.h"

namespace quillmend::test {

enum class Outcome { kDeclined, kFailed, kConverted };
const char* OutcomeName(Outcome outcome);

struct Returned {
  Outcome outcome = Outcome::kDeclined;
  std::string document;  // the returned buffer's bytes
};

// Checks the plug-in's answer against its contract (result size -1, -2 or the buffer's length;
// a buffer exactly when the size is not negative; a returned document is a PDF document), then
// gives the buffer back through XT_ReleaseMem.
Returned CheckContract(const Plugin& plugin, const ViewResult& result);

// Expects `directory` to be empty: neither the plug-in nor Ghostscript may leave anything in the
// temporary directory.
void ExpectNothingLeftIn(const std::filesystem::path& directory);

// The view tests' frame, plus one request that is checked against the contract.
class HostileTest : public ViewTest {
 protected:
  // Serves `bytes` as an item, runs one request on it and checks the contract.
  Returned View(const std::string& bytes) {
    return CheckContract(plugin_, ViewItem(plugin_, AddItem({bytes, {}, {}})));
  }
};

}  // namespace quillmend::test
