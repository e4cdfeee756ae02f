// Unloading the plug-in frees its cache of converted documents.
#include <dlfcn.h>
#include <malloc.h>

#include "hostile_fixture.h"
#include "resident_memory.h"

namespace quillmend::test {
namespace {

// The bytes the C library's allocator has handed out and not had back.
std::int64_t BytesInUse() {
  const struct mallinfo2 info = mallinfo2();
  return static_cast<std::int64_t>(info.uordblks + info.hblkhd);
}

class UnloadTest : public HostileTest {};

TEST_F(UnloadTest, UnloadingThePluginFreesItsCache) {
  if (UnderAddressSanitizer()) GTEST_SKIP() << "its allocator keeps its own count";
  ASSERT_TRUE(Ready(Ghostscript::kStandin));
  StandinControl standin(folder_.path(), "");
  constexpr std::int64_t kDocument = 4 << 20;
  for (char tag = 'a'; tag <= 'c'; ++tag) {
    std::string document = PdfLikeBytes(kDocument);
    document[100] = tag;
    EXPECT_EQ(static_cast<std::int64_t>(Convert(document).size()), kDocument);
  }
  ResetHost();
  const std::int64_t cached = BytesInUse();

  ASSERT_EQ(dlclose(plugin_.library), 0) << dlerror();
  plugin_ = {};
  EXPECT_LT(BytesInUse(), cached - 3 * kDocument) << "the cached documents stayed";
}

}  // namespace
}  // namespace quillmend::test
