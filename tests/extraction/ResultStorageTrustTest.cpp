// A table or formula result is ours: it lives in a private entry of the annotation, so
// other readers show only the user's comment, and files of the earlier layout (result in
// the contents) still read right and move to the new one when written.
#include "HtmlTable.h"
#include "annotations/HighlightNote.h"
#include "core/RunLoop.h"
#include "document/PDFKitBridge.h"
#include "extraction/BacklinkHighlightManager.h"
#include "extraction/HighlightExtractor.h"
#include "extraction/TableExtractor.h"
#include "pdfkit/Annotation.h"
#include "pdfkit/Document.h"
#include "pdfkit/Page.h"
#include "support/Fixtures.h"
#include "support/Shell.h"
#include "support/TempDir.h"
#include "tabs/TabSession.h"

#include <gtest/gtest.h>
#include <sstream>

using namespace ombrix;
using namespace ombrix::testing;
namespace fs = std::filesystem;

namespace {

const TextRun kLine{"Quarterly revenue grew", 72, 700};
const TextRun kOther{"Second finding here", 72, 600};
const std::string kTable = "<table><tr><th>Q</th></tr><tr><td>12</td></tr></table>";

// The dictionary lines of every annotation of that subtype, as mutool prints them.
std::vector<std::string> annotationObjects(const fs::path& file, const std::string& subtype) {
    const auto run = runShell("mutool show -g " + shellQuoted(file.string()) + " grep");
    std::vector<std::string> found;
    std::istringstream lines(run.out);
    for (std::string line; std::getline(lines, line);) {
        if (line.find("/Subtype/" + subtype) != std::string::npos) {
            found.push_back(line);
        }
    }
    return found;
}

class ResultStorageTrustTest : public ::testing::Test {
protected:
    ResultStorageTrustTest() { setMainQueue(loop); }
    ~ResultStorageTrustTest() override { setMainQueue(nullptr); }

    std::shared_ptr<TabSession> open(const fs::path& file) {
        auto tab = std::make_shared<TabSession>(bridge.open(file));
        manager.refreshHighlights(*tab->document);
        return tab;
    }
    std::vector<ExtractedHighlight> list() const { return manager.extractedHighlights.get(); }
    std::shared_ptr<pdfkit::Page> page(const TabSession& tab, int index = 0) const {
        return PDFKitBridge::engineDocument(*tab.document)->page(index);
    }

    TempDir dir;
    std::shared_ptr<RunLoop> loop = std::make_shared<RunLoop>();
    PDFKitBridge bridge;
    BacklinkHighlightManager manager;
};

TEST_F(ResultStorageTrustTest, AResultAndACommentAreStoredApartAndSurviveSaving) {
    FixtureDocument doc;
    doc.pages.resize(1);
    doc.pages[0].runs = {kLine, kOther};
    doc.pages[0].annotations = {
        annotationOf("Highlight", textBounds(kLine), Color{1, 0.85, 0, 1}),
        annotationOf("Highlight", textBounds(kOther), Color{0, 0.8, 0, 1}),
    };
    const fs::path file = writePdf(doc, dir / "Findings.pdf");
    auto tab = open(file);
    ASSERT_EQ(list().size(), 2u);

    auto table = list()[0];
    table.comment = "check the totals";
    table.resultData = kTable;
    manager.saveToAnnotation(table, *tab);
    auto formula = list()[1];
    formula.resultData = "\\frac{a}{b}";
    manager.saveToAnnotation(formula, *tab);
    bridge.saveAnnotations(*tab->document);

    // What every reader sees: the comment alone, and nothing where there is none.
    const auto objects = annotationObjects(file, "Highlight");
    ASSERT_EQ(objects.size(), 2u);
    const auto tableObject =
        objects[0].find("check the totals") != std::string::npos ? objects[0] : objects[1];
    const auto formulaObject = tableObject == objects[0] ? objects[1] : objects[0];
    EXPECT_NE(tableObject.find("/Contents(check the totals)"), std::string::npos) << tableObject;
    EXPECT_NE(tableObject.find("/OmbrixResult(<table>"), std::string::npos) << tableObject;
    EXPECT_EQ(formulaObject.find("/Contents"), std::string::npos) << formulaObject;
    EXPECT_EQ(formulaObject.find("/OmbrixResult true"), std::string::npos) << formulaObject;
    EXPECT_NE(formulaObject.find("/OmbrixResult("), std::string::npos) << formulaObject;
    // No fill was given to highlights that had none.
    EXPECT_EQ(tableObject.find("/IC"), std::string::npos) << tableObject;

    // Read back apart, by the list, the digest and the command line.
    BacklinkHighlightManager reread;
    auto reopened = bridge.open(file);
    reread.refreshHighlights(*reopened);
    const auto entries = reread.extractedHighlights.get();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].comment, "check the totals");
    EXPECT_EQ(entries[0].resultData, kTable);
    EXPECT_EQ(entries[1].comment, std::nullopt);
    EXPECT_EQ(entries[1].resultData, "\\frac{a}{b}");

    const auto digest = HighlightExtractor::markdownDigest(
        HighlightExtractor::collectDocumentHighlights(*PDFKitBridge::engineDocument(*reopened)),
        "Findings");
    EXPECT_NE(digest.find("> **Comment:** check the totals\n"), std::string::npos) << digest;
    EXPECT_NE(digest.find("> **Result:** " + kTable + "\n"), std::string::npos) << digest;
    EXPECT_NE(digest.find("> **Result:** \\frac{a}{b}\n"), std::string::npos) << digest;
    EXPECT_EQ(digest.find("**Comment:** <table"), std::string::npos) << digest;

    const auto cli =
        runShell(shellQuoted(OMBRIX_CLI_PATH) + " highlights " + shellQuoted(file.string()));
    EXPECT_EQ(cli.status, 0) << cli.err;
    EXPECT_EQ(cli.out, digest);
}

// Files written before kept a result in the contents: a table by its markup, a formula by
// the boolean entry. They read as results; a comment or new result moves them over.
TEST_F(ResultStorageTrustTest, EarlierFilesReadRightAndMoveToTheNewLayoutWhenWritten) {
    FixtureDocument doc;
    doc.pages.resize(1);
    doc.pages[0].runs = {kLine, kOther};
    doc.pages[0].annotations = {
        annotationOf("Highlight", textBounds(kLine), Color{1, 0.85, 0, 1}, kTable),
        annotationOf("Highlight", textBounds(kOther), Color{0, 0.8, 0, 1}, "x^2 + y^2"),
    };
    const fs::path file = writePdf(doc, dir / "Earlier.pdf");
    {
        auto earlier = pdfkit::Document::open(file);
        ASSERT_TRUE(earlier);
        earlier->page(0)->annotations()[1]->setPrivateFlag(note::kResultKey, true);
        earlier->write(file);
    }
    ASSERT_EQ(annotationObjects(file, "Highlight").size(), 2u);

    auto tab = open(file);
    ASSERT_EQ(list().size(), 2u);
    EXPECT_EQ(list()[0].resultData, kTable);
    EXPECT_EQ(list()[0].comment, std::nullopt);
    EXPECT_EQ(list()[1].resultData, "x^2 + y^2");
    EXPECT_EQ(list()[1].comment, std::nullopt);
    const auto digest =
        HighlightExtractor::markdownDigest(HighlightExtractor::collectDocumentHighlights(
                                               *PDFKitBridge::engineDocument(*tab->document)),
                                           "Earlier");
    EXPECT_NE(digest.find("> **Result:** x^2 + y^2\n"), std::string::npos) << digest;
    EXPECT_EQ(digest.find("**Comment:**"), std::string::npos) << digest;

    // A comment on the old table: the table moves to its entry, the contents hold the note.
    auto table = list()[0];
    table.comment = "from the appendix";
    manager.saveToAnnotation(table, *tab);
    // A new result on the old formula, no comment: the contents no longer hold a result.
    auto formula = list()[1];
    formula.resultData = "x^2 + y^2 = z^2";
    manager.saveToAnnotation(formula, *tab);
    bridge.saveAnnotations(*tab->document);

    const auto objects = annotationObjects(file, "Highlight");
    ASSERT_EQ(objects.size(), 2u);
    for (const auto& object : objects) {
        EXPECT_EQ(object.find("/Contents(<table"), std::string::npos) << object;
        EXPECT_EQ(object.find("/Contents(x^2"), std::string::npos) << object;
        EXPECT_EQ(object.find("/OmbrixResult true"), std::string::npos) << object;
    }
    BacklinkHighlightManager reread;
    reread.refreshHighlights(*bridge.open(file));
    const auto entries = reread.extractedHighlights.get();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].comment, "from the appendix");
    EXPECT_EQ(entries[0].resultData, kTable);
    EXPECT_EQ(entries[1].comment, std::nullopt);
    EXPECT_EQ(entries[1].resultData, "x^2 + y^2 = z^2");
}

// A sticky note first in the page's order overlaps the highlight: writing the highlight
// changes the highlight only, and adds no fill to it; a square keeps its fill recoloured.
TEST_F(ResultStorageTrustTest, WritingTouchesOnlyTheAnnotationTheEntryWasReadFrom) {
    FixtureDocument doc;
    doc.pages.resize(1);
    doc.pages[0].runs = {kLine, kOther};
    const Rect marked = textBounds(kLine);
    FixtureAnnotation sticky = annotationOf("Text", Rect{marked.x + 10, marked.y, 20, 20},
                                            Color{1, 1, 0, 1}, "the reader's own note");
    FixtureAnnotation square =
        annotationOf("Square", textBounds(kOther).insetBy(-4, -4), Color{0, 0, 1, 1});
    square.interiorColor = Color{0.8, 0.8, 1, 1};
    doc.pages[0].annotations = {sticky, annotationOf("Highlight", marked, Color{1, 0.85, 0, 1}),
                                square};
    const fs::path file = writePdf(doc, dir / "Overlap.pdf");
    auto tab = open(file);
    ASSERT_EQ(list().size(), 2u);
    const auto annotations = page(*tab)->annotations();
    ASSERT_EQ(annotations.size(), 3u);
    const auto note = annotations[0];
    const auto noteColor = note->color();

    auto highlight = list()[0];
    ASSERT_EQ(highlight.annotation, annotations[1]);
    highlight.color = Color{1, 0, 0, 1};
    highlight.comment = "mine";
    highlight.resultData = kTable;
    manager.saveToAnnotation(highlight, *tab);
    EXPECT_EQ(note->contents(), "the reader's own note");
    EXPECT_EQ(note->color(), noteColor);
    EXPECT_EQ(note->privateText(note::kResultKey), std::nullopt);
    EXPECT_EQ(annotations[1]->contents(), "mine");
    EXPECT_EQ(annotations[1]->color(), (Color{1, 0, 0, 1}));
    EXPECT_EQ(annotations[1]->interiorColor(), std::nullopt);

    auto boxed = list()[1];
    boxed.color = Color{0, 0.5, 0, 1};
    manager.saveToAnnotation(boxed, *tab);
    ASSERT_TRUE(annotations[2]->interiorColor());
    EXPECT_NEAR(annotations[2]->interiorColor()->green, 0.5, 0.01);
    EXPECT_NEAR(annotations[2]->interiorColor()->red, 0, 0.01);

    // An entry whose annotation has gone from the page writes nothing anywhere.
    page(*tab)->removeAnnotation(annotations[1]);
    highlight.comment = "after removal";
    manager.saveToAnnotation(highlight, *tab);
    EXPECT_EQ(note->contents(), "the reader's own note");
    EXPECT_EQ(annotations[2]->contents(), std::nullopt);
}

// The private text is ours alone: only "Ombrix" keys, kept while detached, across a move
// to another document and in the written file, replacing a flag of the same key.
TEST_F(ResultStorageTrustTest, APrivateTextTouchesNoStandardEntryAndIsKept) {
    FixtureDocument doc;
    doc.pages.resize(1);
    const fs::path a = writePdf(doc, dir / "a.pdf");
    const fs::path b = writePdf(doc, dir / "b.pdf");
    auto first = pdfkit::Document::open(a);
    auto second = pdfkit::Document::open(b);
    ASSERT_TRUE(first && second);

    auto detached = pdfkit::Annotation::create(Rect{100, 100, 50, 20}, "Highlight");
    detached->setContents("the comment");
    detached->setPrivateFlag(note::kResultKey, true);
    detached->setPrivateText(note::kResultKey, "<table></table>");
    detached->setPrivateText("Contents", "not ours"); // a standard entry: ignored
    EXPECT_FALSE(detached->privateFlag(note::kResultKey));
    EXPECT_EQ(detached->privateText(note::kResultKey), "<table></table>");
    first->page(0)->addAnnotation(detached);
    EXPECT_EQ(detached->contents(), "the comment");
    // Through another document and back: the dictionary is let go and made again.
    first->page(0)->removeAnnotation(detached);
    second->page(0)->addAnnotation(detached);
    second->page(0)->removeAnnotation(detached);
    first->page(0)->addAnnotation(detached);
    auto cleared = pdfkit::Annotation::create(Rect{100, 300, 50, 20}, "Highlight");
    first->page(0)->addAnnotation(cleared);
    cleared->setPrivateText(note::kResultKey, "gone");
    cleared->setPrivateText(note::kResultKey, std::nullopt);
    first->write(a);

    auto reopened = pdfkit::Document::open(a);
    ASSERT_TRUE(reopened);
    const auto annotations = reopened->page(0)->annotations();
    ASSERT_EQ(annotations.size(), 2u);
    EXPECT_EQ(annotations[0]->contents(), "the comment");
    EXPECT_EQ(annotations[0]->privateText(note::kResultKey), "<table></table>");
    EXPECT_EQ(annotations[0]->privateText("Contents"), std::nullopt);
    EXPECT_EQ(annotations[1]->privateText(note::kResultKey), std::nullopt);
    EXPECT_FALSE(annotations[1]->privateFlag(note::kResultKey));
}

// Pasted as plain text a table keeps its cells apart: tab between cells, a line per row;
// the HTML flavour is the table itself.
TEST_F(ResultStorageTrustTest, ATablesPlainTextFlavourIsTabSeparated) {
    const fs::path file = writePdf(tableDocument(), dir / "Table.pdf");
    auto document = pdfkit::Document::open(file);
    ASSERT_TRUE(document);
    std::string html;
    std::string text;
    TableExtractor extractor([&](const std::string& h, const std::string& t) {
        html = h;
        text = t;
    });
    const std::string result = extractor.extractTable(*document->page(0), Rect{60, 570, 420, 150});
    ASSERT_FALSE(result.empty());
    EXPECT_EQ(html, result);
    const auto rows = parseTable(html);
    ASSERT_EQ(rows.size(), 6u) << html;

    std::vector<std::vector<std::string>> pasted;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> cells;
        std::size_t start = 0;
        for (auto tab = line.find('\t'); tab != std::string::npos; tab = line.find('\t', start)) {
            cells.push_back(line.substr(start, tab - start));
            start = tab + 1;
        }
        cells.push_back(line.substr(start));
        pasted.push_back(cells);
    }
    ASSERT_EQ(pasted.size(), rows.size()) << text;
    EXPECT_TRUE(text.ends_with("\n"));
    EXPECT_EQ(text.find('<'), std::string::npos) << text;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        ASSERT_EQ(pasted[r].size(), rows[r].size()) << text;
        for (std::size_t c = 0; c < rows[r].size(); ++c) {
            EXPECT_EQ(pasted[r][c], rows[r][c].text) << "row " << r << " cell " << c;
        }
    }
    // A stored result copied again gives the same text.
    EXPECT_EQ(table::tabSeparatedFromHTML(html), text);
}

// Spans keep the columns lined up, markup characters come out as typed, and a tab in a
// word cannot shift a cell.
TEST_F(ResultStorageTrustTest, TabSeparatedTextKeepsColumnsAndCharacters) {
    const auto word = [](std::string text, bool bold = false) {
        return FormattedWord{std::move(text), Rect{}, bold, false, std::nullopt};
    };
    TableGrid grid;
    grid.columns = 3;
    grid.rows.push_back(
        TableRow{{TableCell{{word("Costs"), word("&"), word("<fees>", true)}, 3}}, true});
    grid.rows.push_back(TableRow{{TableCell{{word("a\tb")}}, TableCell{{word("5"), word("\"kg\"")}},
                                  TableCell{{word("it's")}}},
                                 false});
    const std::string expected = "Costs & <fees>\t\t\na b\t5 \"kg\"\tit's\n";
    EXPECT_EQ(table::toTabSeparated(grid), expected);
    EXPECT_EQ(table::tabSeparatedFromHTML(table::toHTML(grid)), expected);
    EXPECT_EQ(table::tabSeparatedFromHTML("E = mc^2"), "");
}

} // namespace
