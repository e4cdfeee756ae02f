// The temporary directory fills up while a request writes to it: the request fails with -2 and
// leaves nothing behind. Where the test may mount, the directory is a small tmpfs that really
// runs full; elsewhere a file-size limit in a child process makes the same writes fail.
#include <iostream>
#include <limits>

#include "hostile_fixture.h"
#include "small_disk.h"

namespace quillmend::test {
namespace {

// Ghostscript needs more than this for the converted fixture (about 23 KB) and its own work
// files, while the staged item (about 3 KB) fits.
constexpr std::uint64_t kRoomForTheItemOnly = 16 * 1024;
constexpr std::uint64_t kRoomBelowTheItem = 64 * 1024;
constexpr std::size_t kLargeItem = 256 * 1024;

constexpr std::int64_t kUnexpectedMessages = std::numeric_limits<std::int64_t>::min();

class FullDiskTest : public HostileTest {
 protected:
  // One request on `item` with the temporary directory holding at most `room` bytes; the result
  // size, or kUnexpectedMessages when the host was not told exactly `messages`.
  std::int64_t ViewWithRoom(const std::string& item, std::uint64_t room,
                            const std::vector<HostMessage>& messages) {
    ResetHost();
    const auto request = [&] {
      const Returned returned = View(item);
      if (HostMessages() != messages) return kUnexpectedMessages;
      return returned.outcome == Outcome::kConverted
                 ? static_cast<std::int64_t>(returned.document.size())
                 : (returned.outcome == Outcome::kFailed ? std::int64_t{-2} : std::int64_t{-1});
    };
    SmallTmpfs tmpfs(temp(), room);
    if (tmpfs.unavailable.empty()) {
      std::cout << "[ machine  ] a tmpfs of " << room / 1024 << " KiB\n";
      const std::int64_t result = request();
      ExpectNothingLeftIn(temp());
      return result;
    }
    std::cout << "[ machine  ] " << tmpfs.unavailable << "; a file-size limit of " << room / 1024
              << " KiB in a child process instead\n";
    const ChildResult child = RunWithFileSizeLimit(room, request);
    EXPECT_TRUE(child.ran) << "the child process did not report back";
    ExpectNothingLeftIn(temp());
    return child.value;
  }
};

TEST_F(FullDiskTest, ItemDoesNotFitTheTemporaryDirectory) {
  ASSERT_TRUE(Ready(Ghostscript::kStandin));
  StandinControl standin(folder_.path(), "");
  EXPECT_EQ(ViewWithRoom(PdfLikeBytes(kLargeItem), kRoomBelowTheItem, {kConversionFailed}), -2);
  EXPECT_TRUE(standin.LogLines().empty()) << "Ghostscript must not run on a partial item";
}

TEST_F(FullDiskTest, ConvertedDocumentDoesNotFitTheTemporaryDirectory) {
  if (!RealGhostscriptAvailable()) GTEST_SKIP() << "no real Ghostscript library here";
  ASSERT_TRUE(Ready(Ghostscript::kReal));
  const std::string document = ReadFileBytes(FixturePdf("standard_fonts.pdf"));
  ASSERT_FALSE(document.empty());
  ASSERT_LT(document.size(), kRoomForTheItemOnly / 2);
  EXPECT_EQ(ViewWithRoom(document, kRoomForTheItemOnly, {kConversionFailed}), -2);
}

}  // namespace
}  // namespace quillmend::test
