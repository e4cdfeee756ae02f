// Natively, what the staged files promise on their own: a name that already exists is never
// opened, the files are the user's alone, and short or interrupted transfers move every byte.
#include <sys/stat.h>

#include <cstdio>

#include "fault_seams.h"
#include "support/system.h"
#include "support/view_fixture.h"

namespace quillmend::test {
namespace {

using StagedFileTest = ViewTest;

// The file name of a temporary file whose name was drawn as `number`.
std::string NameFor(std::uint64_t number) {
  char name[32];
  std::snprintf(name, sizeof(name), "QVT%.8llX.tmp", static_cast<unsigned long long>(number));
  return name;
}

// Another program's file, or its symbolic link, at the first name drawn: the plug-in neither
// writes through it nor removes it, and moves on to the next name.
class PlantedNameTest : public ViewTest, public testing::WithParamInterface<bool> {};

TEST_P(PlantedNameTest, IsLeftAloneForTheNextName) {
  const bool link = GetParam();
  ASSERT_TRUE(Ready(Ghostscript::kStandin));
  StandinControl standin(folder_.path(), "");
  const std::filesystem::path planted = temp() / NameFor(0x1111);
  const std::filesystem::path target = folder_.path() / "someone else's";
  ASSERT_TRUE(WriteFileBytes(link ? target : planted, "not evidence"));
  if (link) std::filesystem::create_symlink(target, planted);

  const std::string document = PdfLikeBytes(400);
  ViewResult result;
  {
    ChosenTempNames names({0x1111, 0x2222, 0x3333});
    result = ViewItem(plugin_, AddItem({document, {}, {}}));
  }
  EXPECT_EQ(BufferBytes(result), document);
  plugin_.ReleaseMem(result.buffer);
  // The output, then the input: the input took the second draw, the output the third.
  EXPECT_EQ(standin.FilesNamed(), (std::vector<std::string>{PathUtf8(temp() / NameFor(0x3333)),
                                                            PathUtf8(temp() / NameFor(0x2222))}));
  EXPECT_EQ(EntriesOf(temp()), std::vector<std::string>{NameFor(0x1111)});
  EXPECT_EQ(std::filesystem::is_symlink(planted), link);
  if (link) {
    EXPECT_EQ(std::filesystem::read_symlink(planted), target);
  }
  EXPECT_EQ(ReadFileBytes(planted), "not evidence");
}

INSTANTIATE_TEST_SUITE_P(Kinds, PlantedNameTest, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& info) {
                           return std::string(info.param ? "SymbolicLink" : "File");
                         });

// Whatever the process's umask would let through.
TEST_F(StagedFileTest, BelongToTheUserAlone) {
  ASSERT_TRUE(Ready(Ghostscript::kStandin));
  StandinControl standin(folder_.path(), "");
  const mode_t earlier = umask(0);
  const ViewResult result = ViewItem(plugin_, AddItem({PdfLikeBytes(400), {}, {}}));
  umask(earlier);
  EXPECT_NE(result.buffer, nullptr);
  plugin_.ReleaseMem(result.buffer);
  EXPECT_EQ(standin.Values("modes "), std::vector<std::string>{"600 600"});
}

// The item is staged, and the converted document read back, through cut-short calls; the
// stand-in's copy is byte for byte what it found staged.
TEST_F(StagedFileTest, ShortAndInterruptedTransfersMoveEveryByte) {
  ASSERT_TRUE(Ready(Ghostscript::kStandin));
  StandinControl standin(folder_.path(), "");
  const std::string document = PdfLikeBytes(100000);
  void* item = AddItem({document, {}, {}});
  ShortTransfers transfers(temp());
  const ViewResult result = ViewItem(plugin_, item);
  EXPECT_GT(transfers.writes(), 4);
  EXPECT_GT(transfers.reads(), 4);
  EXPECT_EQ(BufferBytes(result), document);
  plugin_.ReleaseMem(result.buffer);
  EXPECT_TRUE(HostMessages().empty());
  EXPECT_TRUE(EntriesOf(temp()).empty());
}

}  // namespace
}  // namespace quillmend::test
