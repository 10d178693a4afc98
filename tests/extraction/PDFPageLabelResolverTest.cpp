#include "extraction/PDFPageLabelResolver.h"

#include "pdfkit/Document.h"
#include "support/Fixtures.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace ombrix;
using namespace ombrix::testing;
namespace labels = ombrix::PDFPageLabelResolver;

namespace {

FixtureDocument blankPages(int count, std::vector<PageLabelRange> ranges = {}) {
    FixtureDocument doc;
    doc.pages.resize(static_cast<std::size_t>(count));
    doc.pageLabels = std::move(ranges);
    return doc;
}

// A record over a real engine document, as the bridge makes one.
class LabelledFile {
public:
    explicit LabelledFile(const FixtureDocument& fixture) {
        auto path = writePdf(fixture, dir_ / "labels.pdf");
        engine_ = pdfkit::Document::open(path);
        if (!engine_) {
            throw std::runtime_error("fixture did not open");
        }
        std::vector<PageGeometry> sizes;
        for (int i = 0; i < engine_->pageCount(); ++i) {
            sizes.push_back(PageGeometry::usLetter);
        }
        record_ = std::make_unique<PDFDocument>(Uuid::random(), path, documentName(path),
                                                engine_->pageCount(), sizes, PDFMetadata{}, false,
                                                "fp", engine_);
    }
    const PDFDocument& record() const { return *record_; }
    const pdfkit::Document& engine() const { return *engine_; }

private:
    TempDir dir_;
    std::shared_ptr<pdfkit::Document> engine_;
    std::unique_ptr<PDFDocument> record_;
};

} // namespace

TEST(PageLabelResolver, LabelsOfTheLabelledFixture) {
    LabelledFile file(labelledDocument());
    const auto& doc = file.record();
    const std::vector<std::string> expected{"i", "ii", "iii", "iv", "1", "2", "A-1", "A-2"};
    ASSERT_EQ(doc.pageCount, 8);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(labels::pageLabel(doc, i), expected[i]) << i;
        EXPECT_EQ(labels::displayLabel(doc, i), expected[i]) << i;
    }
    EXPECT_FALSE(labels::pageLabel(doc, -1));
    EXPECT_FALSE(labels::pageLabel(doc, 8));
    EXPECT_EQ(labels::displayLabel(doc, 8), "9");
    EXPECT_TRUE(labels::hasCustomLabels(doc));
    EXPECT_TRUE(labels::usesRomanLabels(doc));
}

TEST(PageLabelResolver, NumbersArePhysicalPagesAndEverythingElseIsALabel) {
    LabelledFile file(labelledDocument());
    const auto& doc = file.record();
    EXPECT_EQ(labels::pageIndexForInput(doc, "1"), 0);  // page one, not the page labelled 1
    EXPECT_EQ(labels::pageIndexForInput(doc, "+2"), 1); // nor the page labelled 2
    EXPECT_EQ(labels::pageIndexForInput(doc, "8"), 7);
    EXPECT_FALSE(labels::pageIndexForInput(doc, "9"));
    EXPECT_EQ(labels::pageIndexForInput(doc, " \tiv\n"), 3);
    EXPECT_EQ(labels::pageIndexForInput(doc, "IV"), 3);
    EXPECT_EQ(labels::pageIndexForInput(doc, "a-2"), 7);
    EXPECT_FALSE(labels::pageIndexForInput(doc, "v"));
    EXPECT_FALSE(labels::pageIndexForInput(doc, ""));
    EXPECT_FALSE(labels::pageIndexForInput(doc, " \n\u3000"));
    // Not a whole number in the simple sense, so it is looked up as a label and not found.
    for (const char* text : {"1.0", "1e0", "0x1", "1 2", "+-1", "\u0661", "\uff11"}) {
        EXPECT_FALSE(labels::pageIndexForInput(doc, text)) << text;
    }
}

TEST(PageLabelResolver, EdgeCasesOfInputAgainstOddLabels) {
    // 12 pages: "12" on index 0, "3" on index 4, a label of only spaces on index 1,
    // "0" and "-1" on 5 and 6, and roman numerals only from page 11 on.
    LabelledFile file(blankPages(12, {
                                         {0, std::nullopt, "12", 1},
                                         {1, std::nullopt, "   ", 1},
                                         {2, 'D', "", 1},
                                         {3, std::nullopt, " App\t\n", 1},
                                         {4, std::nullopt, "3", 1},
                                         {5, std::nullopt, "0", 1},
                                         {6, std::nullopt, "-1", 1},
                                         {7, std::nullopt, "99999999999999999999", 1},
                                         {8, 'D', "", 1},
                                         {10, 'r', "", 1},
                                     }));
    const auto& doc = file.record();
    ASSERT_EQ(file.engine().page(4)->label(), "3");
    ASSERT_EQ(file.engine().page(1)->label(), "   ");
    ASSERT_EQ(file.engine().page(3)->label(), " App\t\n");

    EXPECT_EQ(labels::pageIndexForInput(doc, "3"), 2); // physical, though index 4 reads 3
    EXPECT_EQ(labels::pageIndexForInput(doc, "12"), 11);
    EXPECT_FALSE(labels::pageIndexForInput(doc, "13"));
    EXPECT_EQ(labels::pageIndexForInput(doc, "0"), 5);
    EXPECT_EQ(labels::pageIndexForInput(doc, "-1"), 6);
    EXPECT_FALSE(labels::pageIndexForInput(doc, "-2"));
    // Too big for 64 bits: not a number, so a label.
    EXPECT_EQ(labels::pageIndexForInput(doc, "99999999999999999999"), 7);
    EXPECT_FALSE(labels::pageIndexForInput(doc, "9223372036854775807"));
    EXPECT_EQ(labels::pageIndexForInput(doc, "ii"), 11);
    // A padded label is matched as it is shown, trimmed.
    EXPECT_EQ(labels::pageLabel(doc, 3), "App");
    EXPECT_EQ(labels::pageIndexForInput(doc, "app"), 3);

    EXPECT_FALSE(labels::pageLabel(doc, 1));
    EXPECT_EQ(labels::displayLabel(doc, 1), "2");
    EXPECT_EQ(labels::pageLabel(doc, 10), "i");
    // Roman labels beyond the first ten pages do not make the document a roman one.
    EXPECT_FALSE(labels::usesRomanLabels(doc));
    EXPECT_TRUE(labels::hasCustomLabels(doc));
}

TEST(PageLabelResolver, TenPagesAndAPageLabelled12) {
    LabelledFile file(blankPages(10, {{0, 'D', "", 1}, {9, std::nullopt, "12", 1}}));
    const auto& doc = file.record();
    EXPECT_FALSE(labels::pageIndexForInput(doc, "12"));
    EXPECT_EQ(labels::pageIndexForInput(doc, "10"), 9);
    EXPECT_FALSE(labels::usesRomanLabels(doc));
}

TEST(PageLabelResolver, RomanLabelsWithinTheFirstTenPagesCount) {
    LabelledFile upper(blankPages(12, {{0, 'D', "", 1}, {9, 'R', "", 4}}));
    EXPECT_EQ(labels::pageLabel(upper.record(), 9), "IV");
    EXPECT_TRUE(labels::usesRomanLabels(upper.record()));
    EXPECT_EQ(labels::pageIndexForInput(upper.record(), " iv "), 9);

    // A word with letters outside the numerals does not.
    LabelledFile words(blankPages(3, {{0, std::nullopt, "Index", 1}}));
    EXPECT_FALSE(labels::usesRomanLabels(words.record()));
    EXPECT_EQ(labels::pageIndexForInput(words.record(), "INDEX"), 0);
}

TEST(PageLabelResolver, UnlabelledDocumentsAndRecordsWithoutAnEngineDocument) {
    LabelledFile plain(blankPages(3));
    EXPECT_FALSE(labels::hasCustomLabels(plain.record()));
    EXPECT_FALSE(labels::usesRomanLabels(plain.record()));
    EXPECT_FALSE(labels::pageLabel(plain.record(), 0));
    EXPECT_EQ(labels::displayLabel(plain.record(), 2), "3");
    EXPECT_EQ(labels::pageIndexForInput(plain.record(), "2"), 1);
    EXPECT_FALSE(labels::pageIndexForInput(plain.record(), "i"));

    LabelledFile blank(blankPages(2, {{0, std::nullopt, " \t ", 1}}));
    EXPECT_FALSE(labels::hasCustomLabels(blank.record()));
    EXPECT_FALSE(labels::pageIndexForInput(blank.record(), " \t "));

    {
        PDFDocument doc(Uuid::random(), "/tmp/x.pdf", "x", 3,
                        std::vector<PageGeometry>(3, PageGeometry::a4), {}, false, "fp", nullptr);
        EXPECT_FALSE(labels::pageLabel(doc, 0));
        EXPECT_EQ(labels::displayLabel(doc, 0), "1");
        EXPECT_FALSE(labels::pageIndexForInput(doc, "1"));
        EXPECT_FALSE(labels::hasCustomLabels(doc));
        EXPECT_FALSE(labels::usesRomanLabels(doc));
    }
}
