#include "search/SearchService.h"

#include "document/PDFKitBridge.h"
#include "pdfkit/Document.h"
#include "support/Fixtures.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace ombrix {
namespace {

namespace fx = ombrix::testing;

// Close enough to the glyph box the writer measured: engines differ a little in where
// they put ascender and descender.
void expectAround(const Rect& got, const Rect& want, const std::string& what) {
    EXPECT_NEAR(got.minX(), want.minX(), 1.5) << what;
    EXPECT_NEAR(got.maxX(), want.maxX(), 1.5) << what;
    EXPECT_NEAR(got.midY(), want.midY(), 3.0) << what;
    EXPECT_GT(got.height, 0) << what;
}

std::vector<int> pagesOf(const std::vector<SearchResult>& results) {
    std::vector<int> pages;
    for (const auto& r : results) {
        pages.push_back(r.pageIndex);
    }
    return pages;
}

class SearchServiceTest : public ::testing::Test {
protected:
    // Page 1 says "The" and "THE", page 2 nothing of the sort, page 3 "the".
    const fx::TextRun firstLine{"The first line of text", 72, 720};
    const fx::TextRun secondLine{"and a loud THE in capitals", 72, 700};
    const fx::TextRun quietLine{"no match on this page", 72, 720};
    const fx::TextRun lastLine{"close to the end", 72, 500};

    std::shared_ptr<PDFDocument> casesDocument() {
        fx::FixtureDocument document;
        document.pages.resize(3);
        document.pages[0].runs = {firstLine, secondLine};
        document.pages[1].runs = {quietLine};
        document.pages[2].runs = {lastLine};
        return bridge.open(fx::writePdf(document, dir / "cases.pdf"));
    }

    fx::TempDir dir;
    PDFKitBridge bridge;
    SearchService service;
};

TEST_F(SearchServiceTest, FindsEveryCaseByPageKeepingTheDocumentsLetters) {
    const auto document = casesDocument();
    const auto results = service.search("the", *document);

    ASSERT_EQ(results.size(), 3u);
    EXPECT_EQ(pagesOf(results), (std::vector<int>{0, 0, 2}));
    EXPECT_EQ(results[0].text, "The");
    EXPECT_EQ(results[1].text, "THE");
    EXPECT_EQ(results[2].text, "the");
    expectAround(results[0].bounds, fx::textBounds(firstLine, "The"), "The");
    expectAround(results[1].bounds, fx::textBounds(secondLine, "THE"), "THE");
    expectAround(results[2].bounds, fx::textBounds(lastLine, "the"), "the");

    EXPECT_NE(results[0].id, results[1].id);
    EXPECT_EQ(service.search("THE", *document).size(), 3u);
}

TEST_F(SearchServiceTest, AQueryThatDoesNotOccurFindsNothing) {
    EXPECT_TRUE(service.search("zebra", *casesDocument()).empty());
}

TEST_F(SearchServiceTest, APhraseAcrossAPageBreakGivesOneResultPerPage) {
    const auto document = bridge.open(fx::writePdf(fx::pageBreakDocument(), dir / "break.pdf"));
    const auto results = service.search("quick brown fox", *document);

    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(pagesOf(results), (std::vector<int>{0, 1}));
    EXPECT_EQ(results[0].text, results[1].text);
    expectAround(results[0].bounds,
                 fx::textBounds({"It names the quick brown", 72, 680}, "quick brown"),
                 "page 1 part");
    expectAround(results[1].bounds,
                 fx::textBounds({"fox jumps over the lazy dog on the next page.", 72, 740}, "fox"),
                 "page 2 part");
}

TEST_F(SearchServiceTest, ManyPagesComeBackInPageOrder) {
    const auto document = bridge.open(fx::writePdf(fx::textDocument(4), dir / "text.pdf"));
    const auto results = service.search("alpha", *document);
    // "alpha" twice on every page.
    EXPECT_EQ(pagesOf(results), (std::vector<int>{0, 0, 1, 1, 2, 2, 3, 3}));
    for (const auto& r : results) {
        EXPECT_EQ(r.text, "alpha");
    }
}

TEST_F(SearchServiceTest, WhatIsNotAKitDocumentWithPagesFindsNothing) {
    auto foreign = [](std::shared_ptr<pdfkit::Document> handle) {
        return PDFDocument(Uuid::random(), "/tmp/foreign.pdf", "foreign", 1,
                           {PageGeometry::usLetter}, {}, false, "x", std::move(handle));
    };
    EXPECT_TRUE(service.search("the", foreign(std::shared_ptr<pdfkit::Document>{})).empty());

    fx::writeZeroPagePdf(dir / "empty.pdf");
    auto empty = pdfkit::Document::open(dir / "empty.pdf");
    ASSERT_NE(empty, nullptr);
    EXPECT_TRUE(service.search("the", foreign(empty)).empty());
}

} // namespace
} // namespace ombrix
