#include "extraction/TableExtractor.h"

#include "HtmlTable.h"
#include "core/Error.h"
#include "pdfkit/Document.h"
#include "pdfkit/Page.h"
#include "support/DecompressionBomb.h"
#include "support/Fixtures.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace ombrix;
using namespace ombrix::testing;

namespace {

FormattedWord word(const std::string& text, double x, double y, double w = 30, double h = 10) {
    return FormattedWord{text, Rect{x, y, w, h}, false, false, std::nullopt};
}

// A page of runs written as a real PDF and opened through the PDF kit.
class FixtureFile {
public:
    explicit FixtureFile(FixturePage page) {
        FixtureDocument doc;
        doc.pages.push_back(std::move(page));
        document_ = pdfkit::Document::open(writePdf(doc, dir_ / "table.pdf"));
        if (!document_) {
            throw std::runtime_error("fixture did not open");
        }
    }
    pdfkit::Page& page() const { return *document_->page(0); }

private:
    TempDir dir_;
    std::shared_ptr<pdfkit::Document> document_;
};

// Three columns at x = 72, 222, 372; lines 24 pt apart from y = 700 down.
FixturePage gridPage(const std::vector<std::vector<std::string>>& lines, double size = 14,
                     FontStyle style = FontStyle::regular) {
    FixturePage page;
    for (std::size_t r = 0; r < lines.size(); ++r) {
        for (std::size_t c = 0; c < lines[r].size(); ++c) {
            page.runs.push_back(
                TextRun{lines[r][c], 72 + 150.0 * double(c), 700 - 24.0 * double(r), size, style});
        }
    }
    return page;
}

const Rect kGridRegion{60, 600, 440, 125};

std::vector<std::string> texts(const std::vector<ParsedCell>& row) {
    std::vector<std::string> out;
    for (const auto& cell : row) {
        out.push_back(cell.text);
    }
    return out;
}

} // namespace

TEST(ResolveFont, FamilyAndStyleFromBaseFontNames) {
    EXPECT_EQ(table::resolveFont("ABCDEF+Helvetica-BoldOblique"),
              (ResolvedFont{"Helvetica", true, true}));
    EXPECT_EQ(table::resolveFont("TimesNewRomanPSMT"),
              (ResolvedFont{"TimesNewRoman", false, false}));
    EXPECT_EQ(table::resolveFont("Arial-BoldMT"), (ResolvedFont{"Arial", true, false}));
    EXPECT_EQ(table::resolveFont("Arial,BoldItalic"), (ResolvedFont{"Arial", true, true}));
    EXPECT_EQ(table::resolveFont("+"), (ResolvedFont{"sans-serif", false, false}));
    EXPECT_EQ(table::resolveFont("Inter-SemiBold"), (ResolvedFont{"Inter", true, false}));
    EXPECT_EQ(table::resolveFont(" Futura Heavy "), (ResolvedFont{"Futura Heavy", true, false}));
}

TEST(RestoreLeadingPeriod, OnlyWholeWordsAfterAPeriodThatIsNoDecimalPoint) {
    EXPECT_EQ(table::restoreLeadingPeriod("pdf", "Save as .pdf or .txt"), ".pdf");
    EXPECT_EQ(table::restoreLeadingPeriod("PDF", "name.pdf"), ".PDF"); // case-insensitive
    EXPECT_EQ(table::restoreLeadingPeriod("pdf", "a pdf here, then .pdf"), ".pdf");
    EXPECT_EQ(table::restoreLeadingPeriod("pdf", "files .pdfa only"), "pdf");
    EXPECT_EQ(table::restoreLeadingPeriod("50", "12.50 and 50"), "50");
    EXPECT_EQ(table::restoreLeadingPeriod(".pdf", "..pdf"), ".pdf");
    EXPECT_EQ(table::restoreLeadingPeriod("pdf", ""), "pdf");
    EXPECT_EQ(table::restoreLeadingPeriod("", ".x"), "");
}

TEST(PageSpelling, TheTextLayerWinsOnlyForTheSameWordInTheSamePlace) {
    const PDFWord misread{"AO", Rect{100, 500, 12, 9}};
    auto run = [](std::string text, Rect bounds) {
        return FontRun{std::move(text), bounds, false, false, "CMR10"};
    };
    const FontRun under = run("40", Rect{99.5, 498, 11, 13});
    EXPECT_EQ(table::pageSpelling(misread, under), "40");
    // Another number of characters is another word (a merged or split cell, a ligature).
    EXPECT_EQ(table::pageSpelling(misread, run("400", under.bounds)), "AO");
    EXPECT_EQ(table::pageSpelling(PDFWord{"ﬁt", misread.bounds}, run("fit", under.bounds)), "ﬁt");
    EXPECT_EQ(table::pageSpelling(PDFWord{"ÄO", misread.bounds}, run("40", under.bounds)), "40");
    // A run beside the word, or one that only reaches into it, is not its spelling.
    EXPECT_EQ(table::pageSpelling(misread, run("40", Rect{108, 498, 30, 13})), "AO");
    EXPECT_EQ(table::pageSpelling(misread, run("40", Rect{100, 520, 12, 9})), "AO");
    EXPECT_EQ(table::pageSpelling(misread, run("", under.bounds)), "AO");

    // A vertical rule read along with the word: the page's word, when the rest is rule-like.
    const FontRun fourteen = run("14", under.bounds);
    EXPECT_EQ(table::pageSpelling(PDFWord{"(14", misread.bounds}, fourteen), "14");
    EXPECT_EQ(table::pageSpelling(PDFWord{"|14|", misread.bounds}, fourteen), "14");
    EXPECT_EQ(table::pageSpelling(PDFWord{"16", misread.bounds}, run("6", under.bounds)), "6");
    EXPECT_EQ(table::pageSpelling(PDFWord{"145", misread.bounds}, fourteen), "145");
    EXPECT_EQ(table::pageSpelling(PDFWord{"|||14", misread.bounds}, fourteen), "|||14");
}

TEST(MatchFontRun, PrefersTheSmallestIntersectingRunThenNearbyOnes) {
    const std::vector<FontRun> runs{
        {"Wide", Rect{0, 0, 200, 20}, false, false, "A"},
        {"Small", Rect{10, 5, 20, 10}, true, false, "B"},
        {"Far", Rect{400, 300, 20, 10}, false, true, "C"},
    };
    EXPECT_EQ(table::matchFontRun(PDFWord{"x", Rect{12, 6, 5, 5}}, runs)->fontName, "B");
    EXPECT_EQ(table::matchFontRun(PDFWord{"x", Rect{150, 2, 5, 5}}, runs)->fontName, "A");
    // Not touching but within 3 points of the far run's box.
    EXPECT_EQ(table::matchFontRun(PDFWord{"x", Rect{421, 303, 2, 2}}, runs)->fontName, "C");
    // Same line as the far run, well to the right.
    EXPECT_EQ(table::matchFontRun(PDFWord{"x", Rect{900, 301, 10, 10}}, runs)->fontName, "C");
    // Nowhere near: matched by text.
    EXPECT_EQ(table::matchFontRun(PDFWord{"Smallest", Rect{900, 900, 10, 10}}, runs)->fontName,
              "B");
    EXPECT_FALSE(table::matchFontRun(PDFWord{"zzz", Rect{900, 900, 10, 10}}, runs));
}

TEST(ToPageWords, ScalesIntoTheRegionAndTurnsRotatedPagesBack) {
    const Rect region{100, 200, 50, 40};
    const auto plain =
        table::toPageWords({{"a", Rect{0.5, 0.25, 0.5, 0.5}}}, 0, region, Rect{0, 0, 600, 800});
    EXPECT_EQ(plain.at(0).bounds, (Rect{125, 210, 25, 20}));
    // 180° about the media box's centre (300, 400).
    const auto turned =
        table::toPageWords({{"a", Rect{0.5, 0.25, 0.5, 0.5}}}, -180, region, Rect{0, 0, 600, 800});
    EXPECT_NEAR(turned.at(0).bounds.minX(), 450, 1e-9);
    EXPECT_NEAR(turned.at(0).bounds.minY(), 570, 1e-9);
    EXPECT_NEAR(turned.at(0).bounds.width, 25, 1e-9);
}

TEST(CellHTML, EscapesStylesAndFontSpans) {
    EXPECT_EQ(table::escapeHTML("a&b<c>\"d'"), "a&amp;b&lt;c&gt;&quot;d&#39;");
    FormattedWord bold = word("Total", 0, 0);
    bold.isBold = true;
    FormattedWord both = word("R&D", 0, 0);
    both.isBold = both.isItalic = true;
    both.fontName = "Times's";
    FormattedWord italic = word("x<y", 0, 0);
    italic.isItalic = true;
    italic.fontName = "Sans-Serif"; // the fallback, in any case, is never a span
    // The apostrophe would end the quoted family once the attribute is read: it is dropped.
    EXPECT_EQ(table::cellHTML({bold, both, italic}),
              "<b>Total</b> <span style=\"font-family: 'Timess', sans-serif;\"><b><i>R&amp;D"
              "</i></b></span> <i>x&lt;y</i>");
    EXPECT_EQ(table::cellHTML({}), "");
}

TEST(BuildHTMLTable, ExactMarkupOfTitleHeaderAndDataRows) {
    // Row 0 is a title (one word), rows 1 and 2 have two columns whose left edges lie
    // within the clustering tolerance of each other.
    const std::vector<FormattedWord> words{word("Title", 0, 100), word("A", 0, 80),
                                           word("B", 100, 80), word("1", 2, 60), word("2", 97, 60)};
    const std::string html = table::buildHTMLTable({{0}, {2, 1}, {3, 4}}, words);
    EXPECT_EQ(html,
              "<table style=\"border-collapse: collapse; width: 100%;\">\n"
              "  <tr>\n"
              "    <th colspan=\"2\" style=\"border:1px solid "
              "#ddd;padding:8px;background:#f2f2f2;\">Title</th>\n"
              "  </tr>\n"
              "  <tr>\n"
              "    <th style=\"border:1px solid #ddd;padding:8px;background:#f2f2f2;\">A</th>\n"
              "    <th style=\"border:1px solid #ddd;padding:8px;background:#f2f2f2;\">B</th>\n"
              "  </tr>\n"
              "  <tr>\n"
              "    <td style=\"border:1px solid #ddd;padding:8px;\">1</td>\n"
              "    <td style=\"border:1px solid #ddd;padding:8px;\">2</td>\n"
              "  </tr>\n"
              "</table>");
    EXPECT_EQ(table::dataRowCount(html), 1);
    EXPECT_EQ(table::successMessage(html), "Copied to clipboard as HTML — 1 data rows detected.");
    EXPECT_EQ(table::buildHTMLTable({}, words), "");
}

TEST(BuildHTMLTable, ColumnsClusterByLeftEdgeAndShortRowsSpan) {
    EXPECT_EQ(table::clusterPositions({0, 3, 100}, 12), (std::vector<double>{1.5, 100}));
    EXPECT_EQ(table::clusterPositions({0, 10, 20, 40}, 10), (std::vector<double>{10, 40}));
    EXPECT_TRUE(table::clusterPositions({}, 10).empty());

    // The full row (three words) has two of them within the tolerance (1.2 × height 10), so
    // there are two columns and those words share a cell.
    const std::vector<FormattedWord> words{
        word("a", 0, 50),    word("b", 100, 50),  word("c", 3, 30), word("d", 100, 30),
        word("e", 0, 10, 5), word("f", 8, 10, 5), word("g", 97, 10)};
    auto rows = parseTable(table::buildHTMLTable({{0, 1}, {3, 2}, {6, 5, 4}}, words));
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(texts(rows[0]), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(texts(rows[1]), (std::vector<std::string>{"c", "d"}));
    EXPECT_EQ(texts(rows[2]), (std::vector<std::string>{"e f", "g"}));
    EXPECT_FALSE(rows[2][0].header);

    // Three columns: a row of two words keeps them in their columns, the middle cell empty.
    const std::vector<FormattedWord> three{word("x", 0, 50), word("y", 100, 50), word("p", 0, 30),
                                           word("q", 50, 30), word("r", 100, 30)};
    rows = parseTable(table::buildHTMLTable({{0, 1}, {2, 3, 4}}, three));
    EXPECT_EQ(texts(rows[0]), (std::vector<std::string>{"x", "", "y"}));
    EXPECT_EQ(table::dataRowCount("<table>\n</table>"), 0);
}

TEST(BuildHTMLTable, RightAlignedColumnsFollowTheWordsExtents) {
    // Numbers right-aligned at 100 and 200: their left edges lie far apart, their extents
    // overlap.
    const std::vector<FormattedWord> words{
        word("Name", 0, 50, 40),   word("Qty", 80, 50, 20),  word("Price", 170, 50, 30),
        word("Tea", 0, 30, 25),    word("1200", 70, 30, 30), word("3.5", 185, 30, 15),
        word("Coffee", 0, 10, 45), word("7", 93, 10, 7),     word("12.25", 165, 10, 35)};
    const auto rows = parseTable(table::buildHTMLTable({{0, 1, 2}, {3, 4, 5}, {6, 7, 8}}, words));
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(texts(rows[1]), (std::vector<std::string>{"Tea", "1200", "3.5"}));
    EXPECT_EQ(texts(rows[2]), (std::vector<std::string>{"Coffee", "7", "12.25"}));
}

TEST(BuildHTMLTable, HeadersCentredOverLeftAlignedColumnsJoinTheirColumns) {
    // Neither the headers' left edges nor their extents line up with the cells below; the
    // body rows give the columns.
    const std::vector<FormattedWord> words{
        word("Branch", 40, 70, 40), word("Desks", 140, 70, 35), word("Loans", 240, 70, 35),
        word("Central", 5, 50, 45), word("9", 110, 50, 7),      word("1520.5", 210, 50, 40),
        word("Market", 5, 30, 40),  word("2", 110, 30, 7),      word("276.75", 210, 30, 40)};
    const auto rows = parseTable(table::buildHTMLTable({{0, 1, 2}, {3, 4, 5}, {6, 7, 8}}, words));
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(texts(rows[0]), (std::vector<std::string>{"Branch", "Desks", "Loans"}));
    EXPECT_EQ(texts(rows[2]), (std::vector<std::string>{"Market", "2", "276.75"}));
    EXPECT_FALSE(rows[2][0].header);
}

// ---- On real pages, through Tesseract ----

TEST(TableExtractor, ThreeByThreeGridHasTwoHeaderRowsAndOneDataRow) {
    FixtureFile file(gridPage({{"Apple", "Banana", "Cherry"},
                               {"Mango", "Lemon", "Orange"},
                               {"Walnut", "Peanut", "Almond"}}));
    std::vector<std::pair<std::string, std::string>> clipboard;
    TableExtractor extractor([&](const std::string& html, const std::string& text) {
        clipboard.emplace_back(html, text);
    });
    const std::string html = extractor.extractTable(file.page(), kGridRegion);
    const auto rows = parseTable(html);
    ASSERT_EQ(rows.size(), 3u) << html;
    EXPECT_EQ(texts(rows[0]), (std::vector<std::string>{"Apple", "Banana", "Cherry"}));
    EXPECT_EQ(texts(rows[1]), (std::vector<std::string>{"Mango", "Lemon", "Orange"}));
    EXPECT_EQ(texts(rows[2]), (std::vector<std::string>{"Walnut", "Peanut", "Almond"}));
    for (std::size_t r = 0; r < 3; ++r) {
        for (const auto& cell : rows[r]) {
            EXPECT_EQ(cell.header, r < 2);
            EXPECT_EQ(cell.colspan, 1);
        }
    }
    ASSERT_EQ(clipboard.size(), 1u);
    EXPECT_EQ(clipboard[0].first, html);
    // The plain text pastes cell by cell.
    EXPECT_EQ(clipboard[0].second, "Apple\tBanana\tCherry\nMango\tLemon\tOrange\n"
                                   "Walnut\tPeanut\tAlmond\n");
    EXPECT_EQ(table::successMessage(html), "Copied to clipboard as HTML — 1 data rows detected.");
}

TEST(TableExtractor, TitleLineBecomesASpanningRow) {
    FixturePage page = gridPage(
        {{}, {"Region", "Sales", "Growth"}, {"North", "1200", "4.5"}, {"South", "980", "3.25"}});
    page.runs.push_back(TextRun{"Quarterly", 72, 700, 14});
    FixtureFile file(std::move(page));
    const auto rows = parseTable(TableExtractor().extractTable(file.page(), kGridRegion));
    ASSERT_EQ(rows.size(), 4u);
    ASSERT_EQ(rows[0].size(), 1u);
    EXPECT_EQ(rows[0][0].colspan, 3);
    EXPECT_TRUE(rows[0][0].header);
    EXPECT_EQ(rows[0][0].text, "Quarterly");
    EXPECT_EQ(texts(rows[2]), (std::vector<std::string>{"North", "1200", "4.5"}));
    EXPECT_EQ(texts(rows[3]), (std::vector<std::string>{"South", "980", "3.25"}));
    EXPECT_FALSE(rows[3][0].header);
}

TEST(TableExtractor, StylesComeFromThePageFonts) {
    FixturePage page = gridPage({{"Plain", "Heavy", "Slanted"}, {"Alpha", "Beta", "Gamma"}});
    page.runs[1].style = FontStyle::bold;
    page.runs[2].style = FontStyle::boldItalic;
    page.runs[4].style = FontStyle::italic;
    FixtureFile file(std::move(page));
    const auto rows = parseTable(TableExtractor().extractTable(file.page(), kGridRegion));
    ASSERT_EQ(rows.size(), 2u);
    const std::string span = "<span style=\"font-family: 'Helvetica', sans-serif;\">";
    EXPECT_EQ(rows[0][0].html, span + "Plain</span>");
    EXPECT_EQ(rows[0][1].html, span + "<b>Heavy</b></span>");
    EXPECT_EQ(rows[0][2].html, span + "<b><i>Slanted</i></b></span>");
    EXPECT_EQ(rows[1][1].html, span + "<i>Beta</i></span>");

    const auto fonts = table::pageFontMap(file.page());
    ASSERT_FALSE(fonts.empty());
    EXPECT_EQ(table::defaultFont(fonts)->name, "Helvetica");
}

TEST(TableExtractor, EscapesMarkupCharactersAndRestoresLeadingPeriods) {
    FixtureFile file(gridPage(
        {{"Format", "Kind", "Owner"}, {"Text", "Plain", "Team"}, {".pdf", "R&D", "A<B"}}, 16));
    const std::string html = TableExtractor().extractTable(file.page(), kGridRegion);
    const auto rows = parseTable(html);
    ASSERT_EQ(rows.size(), 3u) << html;
    EXPECT_EQ(texts(rows[2]), (std::vector<std::string>{".pdf", "R&D", "A<B"}));
    EXPECT_NE(html.find("R&amp;D"), std::string::npos);
    EXPECT_NE(html.find("A&lt;B"), std::string::npos);
}

TEST(TableExtractor, AnnotationsNeitherReachTheTextNorLeaveThePage) {
    FixturePage page = gridPage({{"Apple", "Banana", "Cherry"}, {"Mango", "Lemon", "Orange"}});
    FixtureAnnotation highlight;
    highlight.subtype = "Highlight";
    highlight.rect = Rect{70, 695, 60, 18};
    highlight.color = Color{1, 0.9, 0, 1};
    page.annotations.push_back(highlight);
    FixtureAnnotation note;
    note.subtype = "FreeText";
    note.rect = Rect{230, 640, 200, 30};
    note.color = Color{0, 0, 0, 1};
    note.contents = "INTRUDER";
    note.fontSize = 18;
    page.annotations.push_back(note);
    FixtureFile file(std::move(page));
    const auto before = file.page().annotations();
    ASSERT_EQ(before.size(), 2u);

    const std::string html = TableExtractor().extractTable(file.page(), kGridRegion);
    EXPECT_EQ(html.find("INTRUDER"), std::string::npos);
    const auto rows = parseTable(html);
    ASSERT_EQ(rows.size(), 2u) << html;
    EXPECT_EQ(texts(rows[0]), (std::vector<std::string>{"Apple", "Banana", "Cherry"}));
    EXPECT_EQ(file.page().annotations(), before); // the same objects, in the same order
}

TEST(TableExtractor, EmptyRegionsGiveNoTable) {
    FixtureFile file(gridPage({{"Apple", "Banana", "Cherry"}}));
    auto sink = std::make_shared<MemorySink>();
    bool wrote = false;
    TableExtractor extractor([&](const std::string&, const std::string&) { wrote = true; },
                             Logging(Logging::kSubsystem, Logging::kCategory, sink));
    EXPECT_EQ(extractor.extractTable(file.page(), Rect{100, 600, 0, 100}), "");
    EXPECT_EQ(sink->lines(), (std::vector<std::string>{"❌ Failed to render"}));
    // Blank paper: rendered, but nothing recognised.
    EXPECT_EQ(extractor.extractTable(file.page(), Rect{100, 100, 200, 100}), "");
    EXPECT_FALSE(wrote);
}

TEST(TableExtractor, RightAlignedNumberColumnsKeepTheirCells) {
    // Names left-aligned, numbers right-aligned. Tesseract's layout analysis passes over the
    // lone digits of the Qty column; they are read again one by one.
    FixtureFile file(tableDocument().pages.at(0));
    const std::string html = TableExtractor().extractTable(file.page(), Rect{60, 570, 420, 150});
    const auto rows = parseTable(html);
    ASSERT_EQ(rows.size(), 6u) << html;
    const std::vector<std::vector<std::string>> expected{
        {"Name", "Qty", "Price", "Total"}, {"Apples", "3", "1.20", "3.60"},
        {"Bread", "2", "2.50", "5.00"},    {"Cheese", "1", "7.25", "7.25"},
        {"Dates", "4", "3.10", "12.40"},   {"Eggs", "12", "0.30", "3.60"}};
    for (std::size_t r = 0; r < rows.size(); ++r) {
        EXPECT_EQ(texts(rows[r]), expected[r]) << html;
    }
    // The header is set in Helvetica-Bold, which the page declares first; the body's
    // Helvetica stays regular.
    EXPECT_NE(rows[0][0].html.find("<b>Name</b>"), std::string::npos);
    for (std::size_t r = 1; r < rows.size(); ++r) {
        for (const auto& cell : rows[r]) {
            EXPECT_EQ(cell.html.find("<b>"), std::string::npos) << cell.html;
        }
    }
    // The bold row alone is the header.
    EXPECT_EQ(table::dataRowCount(html), 5);
}

TEST(TextLayerWords, PageWordsInTheRegionUnlessTheyCannotBeRead) {
    auto run = [](std::string text, double x) {
        return FontRun{std::move(text), Rect{x, 100, 20, 10}, true, false, "CMR10"};
    };
    const Rect region{0, 90, 200, 30};
    const auto words = table::textLayerWords(
        {run("ﬁt", 10), run("1·2", 40), run("out", 300), run("⇒", 70)}, region);
    ASSERT_EQ(words.size(), 3u);
    EXPECT_EQ(words[0].text, "fit"); // the ligature as its letters
    EXPECT_EQ(words[1].text, "1·2");
    EXPECT_EQ(words[2].text, "⇒");
    EXPECT_TRUE(words[0].isBold);
    EXPECT_EQ(words[0].fontName, "CMR10");
    // Mostly glyphs without characters (U+FFFD, private use): not a usable text layer.
    EXPECT_TRUE(table::textLayerWords({run("\uFFFD\uFFFD", 10), run("a", 40)}, region).empty());
    EXPECT_TRUE(table::textLayerWords({run("\uE001\uE002", 10), run("b", 40)}, region).empty());
    EXPECT_TRUE(table::textLayerWords({}, region).empty());
}

TEST(TextLayerWords, BytesThatAreNoTextAreReadSafelyAndCountAsUnreadable) {
    auto run = [](std::string text, double x) {
        return FontRun{std::move(text), Rect{x, 100, 20, 10}, false, false, "F1"};
    };
    const Rect region{0, 90, 200, 30};
    // The first two bytes of a ligature cut off by a letter, and at the very end: kept as
    // they are, never taken for a ligature.
    const auto words = table::textLayerWords({run("x\xEF\xAC"
                                                  "Abcdefgh",
                                                  10),
                                              run("ijklmnop\xEF\xAC", 40), run("\xEF\xAC\x81", 70)},
                                             region);
    ASSERT_EQ(words.size(), 3u);
    EXPECT_EQ(words[0].text, "x\xEF\xAC"
                             "Abcdefgh");
    EXPECT_EQ(words[1].text, "ijklmnop\xEF\xAC");
    EXPECT_EQ(words[2].text, "fi");
    // Mostly such bytes: no usable text layer.
    EXPECT_TRUE(
        table::textLayerWords({run("\xff\xfe\xc0\x80", 10), run("ab", 40)}, region).empty());
}

TEST(MissedWordBoxes, PageWordsNoRecognisedWordTouches) {
    const Rect region{100, 100, 200, 100};
    auto run = [](std::string text, Rect bounds) {
        return FontRun{std::move(text), bounds, false, false, "Helvetica"};
    };
    const std::vector<FontRun> runs{
        run("seen", Rect{110, 170, 30, 12}), run("3", Rect{200, 150, 8, 12}),
        run("far", Rect{400, 150, 20, 12}),  run(" ", Rect{150, 120, 4, 12}),
        run("edge", Rect{100, 100, 20, 12}),
    };
    const std::vector<PDFWord> words{{"seen", Rect{111, 172, 28, 9}}};
    const auto boxes = table::missedWordBoxes(words, runs, region);
    ASSERT_EQ(boxes.size(), 2u);
    // "3" with 3 points of paper (a quarter of its height) around it, normalised.
    EXPECT_DOUBLE_EQ(boxes[0].x, (197.0 - 100) / 200);
    EXPECT_DOUBLE_EQ(boxes[0].y, (147.0 - 100) / 100);
    EXPECT_DOUBLE_EQ(boxes[0].width, 14.0 / 200);
    EXPECT_DOUBLE_EQ(boxes[0].height, 18.0 / 100);
    // At the region's corner the paper is clipped to the region.
    EXPECT_DOUBLE_EQ(boxes[1].x, 0);
    EXPECT_DOUBLE_EQ(boxes[1].y, 0);
    EXPECT_TRUE(table::missedWordBoxes(words, runs, Rect{100, 100, 0, 100}).empty());
}

TEST(FindTessdata, PrefixFirstThenTheSystemLocations) {
    const auto system = findTessdata();
    ASSERT_TRUE(system) << "the English model is needed by these tests";
    TempDir dir;
    std::filesystem::create_directories(dir / "tessdata");
    ScopedEnv prefix("TESSDATA_PREFIX", dir.path().c_str());
    EXPECT_EQ(findTessdata(), system); // no model under the prefix: the system's
    std::filesystem::create_symlink(*system / "eng.traineddata", dir / "tessdata/eng.traineddata");
    EXPECT_EQ(findTessdata(), dir / "tessdata");
    std::filesystem::create_symlink(*system / "eng.traineddata", dir / "eng.traineddata");
    EXPECT_EQ(findTessdata(), dir.path());
}

namespace {

// A region that cannot be drawn for the recogniser is a failure with a reason, never "no
// table"; a drawable region without a table is none, quietly.
TEST(TableExtractorFailures, ARegionThatCannotBeDrawnFailsRatherThanFindingNoTable) {
    TempDir dir;
    const auto bomb = dir / "bomb.pdf";
    writeDecompressionBomb(bomb, std::uint64_t(256) << 20);
    auto doc = pdfkit::Document::open(bomb);
    ASSERT_TRUE(doc);
    TableExtractor extractor;
    try {
        extractor.extractGrid(*doc->page(0), Rect{72, 500, 300, 200});
        ADD_FAILURE() << "an undrawable region was taken for one without a table";
    } catch (const Error& e) {
        EXPECT_EQ(e.description(), "The region of the page could not be drawn.");
    }

    FixtureFile blank(FixturePage{});
    EXPECT_FALSE(extractor.extractGrid(blank.page(), Rect{72, 500, 300, 200}));
    // No width: nothing to find.
    EXPECT_FALSE(extractor.extractGrid(blank.page(), Rect{72, 500, 0, 200}));
}

} // namespace
