#include "hostile_fixture.h"

#include "support/sandbox.h"

namespace quillmend::test {

const char* OutcomeName(Outcome outcome) {
  switch (outcome) {
    case Outcome::kDeclined:
      return "declined (-1)";
    case Outcome::kFailed:
      return "failed (-2)";
    default:
      return "converted";
  }
}

Returned CheckContract(const Plugin& plugin, const ViewResult& result) {
  Returned returned;
  EXPECT_TRUE(result.size == -1 || result.size == -2 || result.size >= 0)
      << "result size " << result.size;
  EXPECT_EQ(result.buffer != nullptr, result.size >= 0)
      << "a buffer exactly when the size is not negative; size " << result.size;
  returned.outcome = result.size == -1  ? Outcome::kDeclined
                     : result.size >= 0 ? Outcome::kConverted
                                        : Outcome::kFailed;
  returned.document = BufferBytes(result);
  if (returned.outcome == Outcome::kConverted) {
    EXPECT_EQ(returned.document.rfind("%PDF-", 0), 0u) << "a returned document is a PDF document";
  }
  EXPECT_EQ(plugin.ReleaseMem(result.buffer), result.buffer == nullptr ? 0 : 1);
  return returned;
}

void ExpectNothingLeftIn(const std::filesystem::path& directory) {
  const std::vector<std::string> entries = EntriesOf(directory);
  std::string names;
  for (const std::string& name : entries) names += " " + name;
  EXPECT_TRUE(entries.empty()) << "left in " << directory << ":" << names;
}

}  // namespace quillmend::test
