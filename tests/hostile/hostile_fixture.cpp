#include "hostile_fixture.h"

#include "support/sandbox.h"
#include "support/view_contract.h"

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
  EXPECT_STREQ(BrokenAnswerRule(result.buffer, result.size), nullptr) << "size " << result.size;
  const Outcome outcome = result.size == -1  ? Outcome::kDeclined
                          : result.size >= 0 ? Outcome::kConverted
                                             : Outcome::kFailed;
  const Returned returned{outcome, BufferBytes(result)};
  if (outcome == Outcome::kConverted) {
    EXPECT_EQ(returned.document.rfind("%PDF-", 0), 0u) << "a returned document is a PDF document";
  }
  EXPECT_STREQ(BrokenReleaseRule(plugin, result.buffer), nullptr);
  return returned;
}

void ExpectNothingLeftIn(const std::filesystem::path& directory) {
  const std::vector<std::string> entries = EntriesOf(directory);
  std::string names;
  for (const std::string& name : entries) names += " " + name;
  EXPECT_TRUE(entries.empty()) << "left in " << directory << ":" << names;
}

}  // namespace quillmend::test
