// Damaged and rewritten fixture documents through the real Ghostscript library: whatever the
// damage, no crash, the contract holds and nothing is left behind. Each test prints which
// variants came back converted and which failed.
#include <iostream>
#include <sstream>

#include "hostile_fixture.h"
#include "malformed_documents.h"
#include "support/pdf_builder.h"
#include "support/pdf_check.h"

namespace quillmend::test {
namespace {

constexpr std::size_t kMinimumItemSize = 150;
constexpr int kRenderDpi = 10;

// True when every page of the document renders without a single dark pixel: what pdfwrite
// produces when Ghostscript could not read the input at all yet reports success.
bool AllPagesBlank(const std::filesystem::path& pdf, const std::filesystem::path& work) {
  const std::vector<GrayPage> pages = RenderGray(pdf, kRenderDpi, work);
  for (const GrayPage& page : pages) {
    for (const unsigned char pixel : page.pixels) {
      if (pixel < 250) return false;
    }
  }
  return !pages.empty();
}

class MalformedDocumentTest : public HostileTest, public testing::WithParamInterface<const char*> {
 protected:
  void SetUp() override {
    if (!RealGhostscriptAvailable()) GTEST_SKIP() << "no real Ghostscript library here";
    ASSERT_TRUE(Ready(Ghostscript::kReal));
    original_ = ReadFileBytes(FixturePdf(GetParam()));
    ASSERT_GT(original_.size(), 1000u) << "fixture " << GetParam() << " is missing";
  }

  void TearDown() override {
    if (tried_ == 0) return;
    std::cout << "[ summary  ] " << testing::UnitTest::GetInstance()->current_test_info()->name()
              << ", " << GetParam() << ": " << tried_ << " variants, " << declined_ << " declined, "
              << failed_ << " failed, " << converted_ << " converted (" << blank_
              << " of them to a blank page)\n"
              << summary_.str();
  }

  // Runs one variant, checks what every variant must satisfy, and records its outcome.
  Returned Try(const DocumentVariant& variant) {
    SCOPED_TRACE(variant.name);
    ResetHost();
    const Returned returned = View(variant.bytes);
    const bool recognised =
        variant.bytes.size() >= kMinimumItemSize && variant.bytes.rfind("%PDF-", 0) == 0;
    EXPECT_EQ(returned.outcome == Outcome::kDeclined, !recognised);
    // With real Ghostscript and a sound machine, -2 can only be a failed conversion.
    const std::vector<HostMessage> expected_messages =
        returned.outcome == Outcome::kFailed ? std::vector<HostMessage>{kConversionFailed}
                                             : std::vector<HostMessage>{};
    EXPECT_EQ(HostMessages(), expected_messages);
    ExpectNothingLeftIn(temp());
    ++tried_;
    summary_ << "  " << variant.name << ": " << OutcomeName(returned.outcome);
    last_blank_ = false;
    last_pages_ = 0;
    switch (returned.outcome) {
      case Outcome::kDeclined:
        ++declined_;
        break;
      case Outcome::kFailed:
        ++failed_;
        break;
      case Outcome::kConverted: {
        ++converted_;
        const std::filesystem::path converted = folder_.path() / "converted.pdf";
        WriteFileBytes(converted, returned.document);
        const int pages = PdfPageCount(converted);
        EXPECT_GE(pages, 1) << "a converted document must be readable";
        last_pages_ = pages;
        last_blank_ =
            AllPagesBlank(converted, folder_.path() / ("render-" + std::to_string(tried_)));
        if (last_blank_) ++blank_;
        summary_ << ", " << pages << (last_blank_ ? " blank page(s)" : " page(s)") << ", "
                 << returned.document.size() << " bytes";
        break;
      }
    }
    summary_ << "\n";
    return returned;
  }

  int OriginalPages() const { return PdfPageCount(FixturePdf(GetParam())); }

  std::string original_;
  std::ostringstream summary_;
  int tried_ = 0, declined_ = 0, failed_ = 0, converted_ = 0, blank_ = 0;
  bool last_blank_ = false;  // the last variant came back converted to blank pages
  int last_pages_ = 0;       // the pages of the last variant's converted document
};

// Ghostscript repairs what a cut leaves readable; what it cannot open fails. Either way, no
// page is made up and none is lost.
TEST_P(MalformedDocumentTest, TruncatedAtManyPoints) {
  const int pages = OriginalPages();
  for (const DocumentVariant& variant : Truncations(original_)) {
    const Returned returned = Try(variant);
    if (returned.outcome != Outcome::kConverted) continue;
    EXPECT_FALSE(last_blank_) << variant.name;
    EXPECT_EQ(last_pages_, pages) << variant.name;
  }
}

// Documents Ghostscript cannot open at all: it reports success and would hand back an empty page
// of its own making, as if the evidence were blank.
TEST_P(MalformedDocumentTest, UnopenableDocumentsFail) {
  std::string garbage = "%PDF-1.4\n";
  for (int i = 0; garbage.size() < 3000; ++i) garbage += static_cast<char>((i * 131 + 7) % 256);
  const std::vector<DocumentVariant> variants = {
      {"garbage after the header", garbage},
      {"cut before the catalogue", original_.substr(0, 300)},
      {"a page tree without a page",
       BuildPdf({"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [] /Count 0 >>"})},
  };
  // Ghostscript says why on its console, or the device received no page.
  const std::vector<std::u16string> reasons = {kUnreadableReason, kUnreadableReason, kNoPageReason};
  for (std::size_t i = 0; i < variants.size(); ++i) {
    EXPECT_EQ(Try(variants[i]).outcome, Outcome::kFailed) << variants[i].name;
    EXPECT_EQ(ReasonLines(), std::vector<std::u16string>{reasons[i]}) << variants[i].name;
  }
}

TEST_P(MalformedDocumentTest, WithFlippedBytes) {
  for (const int count : {1, 3, 10, 30, 100}) {
    for (const std::uint32_t seed : {1u, 2u, 3u}) Try(WithFlippedBytes(original_, count, seed));
  }
}

// Without the user password the document cannot be opened: a failed conversion.
TEST_P(MalformedDocumentTest, EncryptedWithAnUnknownUserPassword) {
  const std::vector<std::pair<std::string, std::vector<std::string>>> encryptions = {
      {"AES-256", {"--encrypt", "user-secret", "owner-secret", "256", "--"}},
      {"AES-128", {"--encrypt", "user-secret", "owner-secret", "128", "--use-aes=y", "--"}},
      {"RC4-40", {"--allow-weak-crypto", "--encrypt", "user-secret", "owner-secret", "40", "--"}},
  };
  for (const auto& [name, options] : encryptions) {
    const std::string encrypted = RewriteWithQpdf(original_, options, folder_.path() / "qpdf");
    ASSERT_FALSE(encrypted.empty()) << "qpdf could not encrypt " << GetParam() << ": " << name;
    EXPECT_EQ(Try({"encrypted " + name + ", unknown user password", encrypted}).outcome,
              Outcome::kFailed)
        << name;
    EXPECT_EQ(ReasonLines(), std::vector<std::u16string>{kPasswordReason}) << name;
  }
}

// Legitimate rewrites of the same document, an owner password only (it opens and prints) and
// a copy whose every object offset is wrong (Ghostscript repairs it) convert page for page.
TEST_P(MalformedDocumentTest, ReadableVariantsKeepEveryPage) {
  const std::vector<std::pair<std::string, std::vector<std::string>>> rewrites = {
      {"object streams", {"--object-streams=generate"}},
      {"linearised", {"--linearize"}},
      {"linearised with object streams", {"--linearize", "--object-streams=generate"}},
      {"encrypted, owner password only", {"--encrypt", "", "owner-secret", "256", "--"}},
  };
  std::vector<DocumentVariant> variants;
  for (const auto& [name, options] : rewrites) {
    const std::string rewritten = RewriteWithQpdf(original_, options, folder_.path() / "qpdf");
    ASSERT_FALSE(rewritten.empty()) << "qpdf could not rewrite " << GetParam() << ": " << name;
    variants.push_back({name, rewritten});
  }
  const std::size_t line_end = original_.find('\n') + 1;
  variants.push_back({"every object offset wrong", original_.substr(0, line_end) + "%" +
                                                       std::string(64, 'x') + "\n" +
                                                       original_.substr(line_end)});
  const int pages = OriginalPages();
  ASSERT_GT(pages, 0);
  for (const DocumentVariant& variant : variants) {
    EXPECT_EQ(Try(variant).outcome, Outcome::kConverted) << variant.name;
    EXPECT_EQ(last_pages_, pages) << variant.name;
  }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, MalformedDocumentTest,
                         testing::Values("standard_fonts.pdf", "three_pages.pdf", "truetype.pdf"),
                         [](const testing::TestParamInfo<const char*>& info) {
                           std::string name = info.param;
                           return name.substr(0, name.find('.'));
                         });

}  // namespace
}  // namespace quillmend::test
