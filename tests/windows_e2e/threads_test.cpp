// Four views at once through one real DLL, as a host calls a plug-in that answered 2. Each view
// has its own Ghostscript instance and its own temporary files.
#include <set>
#include <vector>

#include "real_dll.h"
#include "support/creation_watch.h"
#include "support/sandbox.h"
#include "support/system.h"
#include "support/test_host.h"
#include "support/view_support.h"

namespace quillmend::test {
namespace {

constexpr int kViews = 4;
const char* const kFixtures[] = {"standard_fonts", "three_pages", "truetype"};

TEST_F(RealDllTest, FourViewsAtOnceAllSucceedWithTheirOwnTemporaryFiles) {
  std::vector<std::string> documents;
  std::vector<std::filesystem::path> outputs;
  for (int view = 0; view < kViews; ++view) {
    const std::string fixture = kFixtures[view % 3];
    documents.push_back(ReadFileBytes(FixturePdf(fixture + ".pdf")));
    outputs.push_back(OutputsFolder("plugin") /
                      (fixture + ".thread-" + std::to_string(view) + ".pdf"));
    std::error_code error;
    std::filesystem::remove(outputs.back(), error);
  }
  CreationWatch watch(temp());
  ASSERT_EQ(watch.unavailable, "");

  std::vector<std::string> converted(kViews);
  OnThreads(kViews, 1, [&](int view, int) { converted[view] = Convert(documents[view]); });

  for (int view = 0; view < kViews; ++view) {
    EXPECT_TRUE(IsWholePdf15(converted[view])) << "view " << view;
    EXPECT_TRUE(WriteFileBytes(outputs[view], converted[view]));
  }
  EXPECT_EQ(HostMessages(), std::vector<HostMessage>());
  EXPECT_EQ(EntriesOf(temp()), std::vector<std::string>());

  // Two files per view, an input and an output, and no name taken twice. Ghostscript's own
  // scratch files, if any, come and go in the same folder under other names.
  std::vector<std::string> created = watch.Created();
  EXPECT_EQ(watch.unavailable, "");
  std::erase_if(created, [](const std::string& name) { return name.rfind("QVT", 0) != 0; });
  EXPECT_EQ(created.size(), 2u * kViews) << testing::PrintToString(created);
  EXPECT_EQ(std::set<std::string>(created.begin(), created.end()).size(), created.size())
      << testing::PrintToString(created);
}

}  // namespace
}  // namespace quillmend::test
