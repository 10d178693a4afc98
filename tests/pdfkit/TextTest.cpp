#include "PdfkitTestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace ombrix::pdfkit::test {
namespace {

using ::testing::ElementsAre;

bool near(const Rect& a, const Rect& b, double tolerance) {
    return std::abs(a.minX() - b.minX()) < tolerance && std::abs(a.maxX() - b.maxX()) < tolerance &&
           std::abs(a.minY() - b.minY()) < tolerance && std::abs(a.maxY() - b.maxY()) < tolerance;
}

class PageText : public ::testing::Test {
protected:
    void SetUp() override {
        fixture = fx::textDocument(3);
        doc = openFixture(dir, fixture, "text.pdf");
        ASSERT_NE(doc, nullptr);
        page = doc->page(0);
    }
    const fx::TextRun& run(int i) const { return fixture.pages[0].runs[std::size_t(i)]; }

    fx::TempDir dir;
    fx::FixtureDocument fixture;
    std::shared_ptr<Document> doc;
    std::shared_ptr<Page> page;
};

TEST_F(PageText, StringIsTheLinesInReadingOrder) {
    std::string expected;
    for (const auto& r : fixture.pages[0].runs) {
        expected += (expected.empty() ? "" : "\n") + r.text;
    }
    EXPECT_EQ(page->string(), expected);
    EXPECT_EQ(doc->page(2)->string().substr(0, 7), "Page 3\n");
}

TEST_F(PageText, WordsCarryTheirFontStyleAndPlace) {
    auto words = page->words();
    auto find = [&](const std::string& text) {
        for (const auto& w : words) {
            if (w.text == text) {
                return w;
            }
        }
        ADD_FAILURE() << "no word " << text;
        return TextWord{};
    };
    TextWord title = find("Page");
    EXPECT_EQ(title.fontName, "Helvetica-Bold");
    EXPECT_DOUBLE_EQ(title.fontSize, 18);
    EXPECT_TRUE(title.bold);
    EXPECT_FALSE(title.italic);

    TextWord plain = find("release");
    EXPECT_EQ(plain.fontName, "Helvetica");
    EXPECT_FALSE(plain.bold || plain.italic);
    EXPECT_TRUE(near(plain.bounds, fx::textBounds(run(1), "release"), 0.5));

    TextWord italic = find("Search");
    EXPECT_EQ(italic.fontName, "Helvetica-Oblique");
    EXPECT_TRUE(italic.italic);
    EXPECT_FALSE(italic.bold);

    TextWord both = find("summary");
    EXPECT_TRUE(both.bold && both.italic);
    EXPECT_TRUE(near(both.bounds, fx::textBounds(run(4), "summary"), 0.5));

    // Punctuation stays with its word; spaces separate words.
    EXPECT_EQ(find("file.").text, "file.");
    EXPECT_EQ(words.size(), 2u + 9 + 9 + 8 + 6 + 8);
}

TEST_F(PageText, SelectionForRectTakesCharactersCentredInside) {
    const Rect alpha = fx::textBounds(run(1), "alpha");
    auto selection = page->selection(alpha);
    ASSERT_TRUE(selection);
    EXPECT_EQ(selection->string(), "alpha");
    EXPECT_THAT(selection->pages(), ElementsAre(page));
    ASSERT_EQ(selection->lineRects(*page).size(), 1u);
    EXPECT_TRUE(near(selection->bounds(*page), alpha, 0.5));

    // Cutting through the middle of the first and last letters: "lph".
    const double letter = alpha.width / 5;
    auto inner = page->selection(alpha.insetBy(letter * 0.6, 0));
    ASSERT_TRUE(inner);
    EXPECT_EQ(inner->string(), "lph");

    // Two lines, the spaces at their edges dropped.
    Rect two = fx::textBounds(run(1), "release").united(fx::textBounds(run(2), "mark the"));
    auto lines = page->selection(two);
    ASSERT_TRUE(lines);
    EXPECT_EQ(lines->string(), "release\nmark the");
    EXPECT_EQ(lines->lineRects(*page).size(), 2u);

    EXPECT_FALSE(page->selection(Rect{400, 100, 100, 100}));
    EXPECT_FALSE(page->selection(Rect{alpha.minX(), alpha.minY(), 0.5, alpha.height}));
    EXPECT_TRUE(page->selection(Rect{alpha.maxX(), alpha.maxY(), -alpha.width, -alpha.height}));
}

TEST_F(PageText, SelectionBetweenPointsFollowsReadingOrder) {
    const Rect alpha = fx::textBounds(run(1), "alpha");
    const Rect beta = fx::textBounds(run(2), "beta");
    const Point start{alpha.minX() + 1, alpha.midY()};
    const Point end{beta.maxX() - 1, beta.midY()};
    auto drag = page->selection(start, end);
    ASSERT_TRUE(drag);
    EXPECT_EQ(drag->string(), "alpha release opens every page of the file.\nReaders mark the beta");
    auto backwards = page->selection(end, start);
    ASSERT_TRUE(backwards);
    EXPECT_EQ(backwards->string(), drag->string());
    EXPECT_EQ(drag->lineRects(*page).size(), 2u);

    EXPECT_FALSE(page->selection(start, start));
    // From the left margin of a line to beyond its end selects the whole line.
    auto line = page->selection(Point{10, alpha.midY()}, Point{600, alpha.midY()});
    ASSERT_TRUE(line);
    EXPECT_EQ(line->string(), run(1).text);
}

TEST(PageLabels, NumberTreeRangesWithStylesPrefixesAndStarts) {
    fx::TempDir dir;
    auto labelled = openFixture(dir, fx::labelledDocument(), "labels.pdf");
    std::vector<std::string> labels;
    for (int i = 0; i < labelled->pageCount(); ++i) {
        labels.push_back(labelled->page(i)->label().value_or("none"));
    }
    EXPECT_THAT(labels, ElementsAre("i", "ii", "iii", "iv", "1", "2", "A-1", "A-2"));

    fx::FixtureDocument styles = fx::textDocument(9);
    styles.pageLabels = {fx::PageLabelRange{0, 'A', "", 25}, fx::PageLabelRange{4, 'R', "", 1998},
                         fx::PageLabelRange{6, std::nullopt, "Cover", 1},
                         fx::PageLabelRange{7, 'a', "x-", 52}};
    auto doc = openFixture(dir, styles, "styles.pdf");
    labels.clear();
    for (int i = 0; i < doc->pageCount(); ++i) {
        labels.push_back(doc->page(i)->label().value_or("none"));
    }
    EXPECT_THAT(labels, ElementsAre("Y", "Z", "AA", "BB", "MCMXCVIII", "MCMXCIX", "Cover", "x-zz",
                                    "x-aaa"));

    auto plain = openFixture(dir, fx::textDocument(1), "plain.pdf");
    EXPECT_EQ(plain->page(0)->label(), std::nullopt);
}

TEST(PageLabels, DamagedTreesEndTheWalk) {
    fx::TempDir dir;
    writeBytes(
        dir / "loop.pdf",
        handMadePdf({"<< /Type /Catalog /Pages 2 0 R /PageLabels 4 0 R >>",
                     "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                     "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 100 100] >>",
                     "<< /Kids [4 0 R 5 0 R] >>", "<< /Kids [4 0 R] /Nums [0 << /S /r >>] >>"}));
    auto doc = Document::open(dir / "loop.pdf");
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(doc->page(0)->label(), "i");
}

TEST(PageFonts, ResourcesAndTheOrderContentUsesThem) {
    fx::TempDir dir;
    auto doc = openFixture(dir, fx::tableDocument(), "table.pdf");
    auto page = doc->page(0);
    auto fonts = page->fontResources();
    ASSERT_EQ(fonts.size(), 2u);
    std::map<std::string, std::optional<std::string>> byName;
    for (const auto& f : fonts) {
        byName[f.resourceName] = f.baseFont;
    }
    EXPECT_EQ(byName["F1"], "Helvetica-Bold");
    EXPECT_EQ(byName["F2"], "Helvetica");
    EXPECT_THAT(page->fontResourcesInContentOrder(), ElementsAre("F1", "F2"));

    auto words = page->words();
    ASSERT_FALSE(words.empty());
    EXPECT_EQ(words.front().text, "Name");
    EXPECT_TRUE(words.front().bold);
}

TEST(PageFonts, ContentScanSeesFormsSkipsInlineImagesAndInheritsResources) {
    fx::TempDir dir;
    // Inline image data that looks like operators must not count; a form's fonts count
    // where the form is drawn; /Resources come from the page tree node.
    const std::string content = "BT /F2 9 Tf (a) Tj ET\n"
                                "BI /W 4 /H 1 /BPC 8 /CS /G ID \x01/F9 1 Tf\x02 EI\n"
                                "q /X1 Do Q BT [/F1] pop /F1 12 Tf ET";
    const std::string form = "BT /F3 10 Tf (b) Tj ET BT /F2 9 Tf ET";
    writeBytes(
        dir / "forms.pdf",
        handMadePdf({"<< /Type /Catalog /Pages 2 0 R >>",
                     "<< /Type /Pages /Kids [3 0 R] /Count 1 /Resources << /Font << /F1 5 0 R "
                     "/F2 6 0 R /F3 6 0 R >> /XObject << /X1 7 0 R >> >> >>",
                     "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Contents 4 0 R >>",
                     stream("", content),
                     "<< /Type /Font /Subtype /Type1 /BaseFont /ABCDEF+Times-Bold >>",
                     "<< /Type /Font /Subtype /Type1 /BaseFont /Courier >>",
                     stream("/Type /XObject /Subtype /Form /BBox [0 0 100 100]", form)}));
    auto doc = Document::open(dir / "forms.pdf");
    ASSERT_NE(doc, nullptr);
    auto page = doc->page(0);
    EXPECT_THAT(page->fontResourcesInContentOrder(), ElementsAre("F2", "F3", "F1"));
    auto fonts = page->fontResources();
    ASSERT_EQ(fonts.size(), 3u);
    EXPECT_EQ(fonts[0].resourceName, "F1");
    EXPECT_EQ(fonts[0].baseFont, "ABCDEF+Times-Bold");
}

class Find : public ::testing::Test {
protected:
    fx::TempDir dir;
};

TEST_F(Find, OccurrencesInDocumentOrderWithOrWithoutCase) {
    auto doc = openFixture(dir, fx::textDocument(3), "text.pdf");
    auto hits = doc->find("alpha", false);
    ASSERT_EQ(hits.size(), 6u);
    for (std::size_t i = 0; i < hits.size(); ++i) {
        ASSERT_EQ(hits[i].pages().size(), 1u);
        EXPECT_EQ(hits[i].pages()[0], doc->page(int(i / 2)));
        EXPECT_EQ(hits[i].string(), "alpha");
    }
    // Within a page, top line first.
    EXPECT_GT(hits[0].bounds(*doc->page(0)).y, hits[1].bounds(*doc->page(0)).y);

    EXPECT_EQ(doc->find("The", false).size(), 3u);
    EXPECT_EQ(doc->find("the", false).size(), 15u);
    EXPECT_EQ(doc->find("THE", true).size(), 18u);
    EXPECT_EQ(doc->find("ALPHA", false).size(), 0u);
    EXPECT_TRUE(doc->find("", true).empty());
    EXPECT_TRUE(doc->find("   ", true).empty());
}

TEST_F(Find, WhitespaceMatchesAnyRunIncludingLineBreaks) {
    auto doc = openFixture(dir, fx::textDocument(1), "text.pdf");
    auto spaced = doc->find("alpha \t  release", true);
    ASSERT_EQ(spaced.size(), 1u);
    EXPECT_EQ(spaced[0].string(), "alpha release");
    auto broken = doc->find("the file. readers", true);
    ASSERT_EQ(broken.size(), 1u);
    EXPECT_EQ(broken[0].string(), "the file.\nReaders");
    EXPECT_EQ(broken[0].lineRects(*doc->page(0)).size(), 2u);
    EXPECT_TRUE(doc->find("thefile", true).empty());
}

TEST_F(Find, AnOccurrenceAcrossAPageBreakIsOneSelection) {
    auto doc = openFixture(dir, fx::pageBreakDocument(), "break.pdf");
    auto hits = doc->find("quick brown fox jumps", true);
    ASSERT_EQ(hits.size(), 1u);
    const Selection& hit = hits[0];
    EXPECT_THAT(hit.pages(), ElementsAre(doc->page(0), doc->page(1)));
    EXPECT_EQ(hit.string(), "quick brown\nfox jumps");
    ASSERT_EQ(hit.lineRects(*doc->page(0)).size(), 1u);
    ASSERT_EQ(hit.lineRects(*doc->page(1)).size(), 1u);
    EXPECT_LT(hit.bounds(*doc->page(0)).y, 700); // the last line of page 1
    EXPECT_GT(hit.bounds(*doc->page(1)).y, 730); // the first line of page 2
}

TEST_F(Find, CaseFoldingIsFullAndMapsBackToCharacters) {
    fx::FixtureDocument fixture;
    fx::FixturePage p;
    p.runs = {fx::TextRun{"Die Straße ist lang; DIE STRASSE AUCH.", 72, 700},
              fx::TextRun{"Élan et élan.", 72, 680}};
    fixture.pages = {p};
    auto doc = openFixture(dir, fixture, "folding.pdf");
    auto hits = doc->find("strasse", true);
    ASSERT_EQ(hits.size(), 2u);
    EXPECT_EQ(hits[0].string(), "Straße");
    EXPECT_EQ(hits[1].string(), "STRASSE");
    EXPECT_LT(hits[0].bounds(*doc->page(0)).width, hits[1].bounds(*doc->page(0)).width);
    EXPECT_EQ(doc->find("ÉLAN", true).size(), 2u);
    EXPECT_EQ(doc->find("élan", false).size(), 1u);
    // Half of a folded character is no match.
    EXPECT_EQ(doc->find("stras", true).size(), 1u);
}

} // namespace
} // namespace ombrix::pdfkit::test
