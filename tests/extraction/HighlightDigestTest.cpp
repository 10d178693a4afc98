#include "annotations/HighlightNote.h"
#include "core/LogSink.h"
#include "core/RunLoop.h"
#include "document/PDFKitBridge.h"
#include "extraction/BacklinkHighlightManager.h"
#include "extraction/HighlightExport.h"
#include "extraction/HighlightExtractor.h"
#include "extraction/HighlightText.h"
#include "pdfkit/Document.h"
#include "support/Fixtures.h"
#include "support/Shell.h"
#include "support/TempDir.h"
#include "tabs/TabSession.h"

#include <array>
#include <cstdio>
#include <gtest/gtest.h>
#include <sys/wait.h>

using namespace ombrix;
using namespace ombrix::testing;

namespace {

const TextRun kTitle{"Quarterly revenue table", 72, 700};
const TextRun kPlain{"plain", 72, 650};
const TextRun kNote{"note", 72, 636};
const TextRun kRow{"left middle right", 72, 500};
const TextRun kTop{"top line", 72, 600};
const std::string kTable = "<table><tr><td>1</td></tr></table>";

// Three pages: a table result and a two-line note on page 1, nothing but an empty-text
// highlight on page 2, and on page 3 a row of two highlights under a higher one, a circle
// the digest ignores and a square over no text whose note stands in for its text.
FixtureDocument digestDocument() {
    FixtureDocument doc;
    doc.pages.resize(3);
    auto& p1 = doc.pages[0];
    p1.runs = {kTitle, kPlain, kNote};
    p1.annotations.push_back(
        annotationOf("Highlight", textBounds(kTitle, "revenue"), Color{1, 0, 0, 1}, kTable));
    p1.annotations.push_back(annotationOf("Underline", textBounds(kNote).united(textBounds(kPlain)),
                                          Color{0, 0.5, 0, 1}, "check this"));
    doc.pages[1].annotations.push_back(
        annotationOf("Highlight", Rect{300, 300, 50, 20}, Color{1, 0, 0, 1}));
    auto& p3 = doc.pages[2];
    p3.runs = {kRow, kTop};
    p3.annotations.push_back(
        annotationOf("Squiggly", textBounds(kRow, "right"), Color{0, 0, 1, 1}));
    p3.annotations.push_back(annotationOf("Highlight", textBounds(kRow, "left"), std::nullopt));
    p3.annotations.push_back(annotationOf("Circle", textBounds(kRow, "middle"), Color{1, 0, 0, 1}));
    p3.annotations.push_back(
        annotationOf("StrikeOut", textBounds(kTop, "top"), Color{0, 0, 1, 1}, "\\(a+b\\)"));
    p3.annotations.push_back(
        annotationOf("Square", Rect{400, 100, 60, 30}, Color{1, 0.5, 0, 1}, "boxed\nnote"));
    return doc;
}

const std::string kExpectedDigest = "# Highlights from digest\n\n"
                                    "## Page 1\n\n"
                                    "> [!#FF0000] Highlight\n"
                                    "> revenue\n"
                                    "> \n> **Result:** <table><tr><td>1</td></tr></table>\n"
                                    "\n"
                                    "> [!#007F00] Highlight\n"
                                    "> plain note\n"
                                    "> \n> **Comment:** check this\n"
                                    "\n"
                                    "## Page 2\n\n"
                                    "## Page 3\n\n"
                                    "> [!#0000FF] Highlight\n"
                                    "> top\n"
                                    "> \n> **Result:** \\(a+b\\)\n"
                                    "\n"
                                    "> [!#FFFF00] Highlight\n"
                                    "> left\n"
                                    "\n"
                                    "> [!#0000FF] Highlight\n"
                                    "> right\n"
                                    "\n"
                                    "> [!#FF7F00] Highlight\n"
                                    "> boxed note\n"
                                    "> \n> **Comment:** boxed\nnote\n"
                                    "\n";

class HighlightDigestTest : public ::testing::Test {
protected:
    void SetUp() override {
        path = writePdf(digestDocument(), dir / "digest.pdf");
        document = bridge.open(path);
    }
    TempDir dir;
    std::filesystem::path path;
    PDFKitBridge bridge;
    std::shared_ptr<PDFDocument> document;
};

TEST_F(HighlightDigestTest, DigestOfRealAnnotationsMatchesByteForByte) {
    const auto byPage = HighlightExtractor::collectDocumentHighlights(*document);
    EXPECT_EQ(HighlightExtractor::markdownDigest(byPage, document->name), kExpectedDigest);
}

TEST_F(HighlightDigestTest, EntriesCarryTheirPageColourAndContents) {
    const auto byPage = HighlightExtractor::collectDocumentHighlights(*document);
    ASSERT_EQ(byPage.size(), 3u);
    ASSERT_EQ(byPage.at(2).size(), 1u);
    EXPECT_EQ(byPage.at(2)[0].text, "");
    EXPECT_EQ(byPage.at(2)[0].pageNumber, 2);

    const auto& page3 = byPage.at(3);
    ASSERT_EQ(page3.size(), 4u) << "the circle is not collected";
    EXPECT_EQ(page3[1].color, kDefaultHighlightColor);
    EXPECT_FALSE(page3[1].comment);
    EXPECT_FALSE(page3[1].resultData);
    EXPECT_EQ(page3[0].resultData, "\\(a+b\\)");
    EXPECT_FALSE(page3[0].comment);
    EXPECT_EQ(page3[3].comment, "boxed\nnote");
    EXPECT_TRUE(page3[0].id.starts_with("3-"));
    EXPECT_NE(page3[0].id, page3[1].id);
    EXPECT_EQ(HighlightExtractor::totalCount(byPage), 7u);
}

TEST(HighlightExtractorTest, OrdersByHeightThenLeftEdgeKeepingTiesStable) {
    auto at = [](double x, double y, const std::string& text) {
        ExtractedHighlight h;
        h.text = text;
        h.bounds = Rect{x, y, 10, 10};
        return h;
    };
    // Same order check through the real collector: annotations written bottom-right first.
    FixtureDocument doc;
    doc.pages.resize(1);
    const TextRun row{"one two", 72, 400}, high{"three", 72, 500};
    doc.pages[0].runs = {row, high};
    for (const auto& [run, word] : std::vector<std::pair<TextRun, std::string>>{
             {row, "two"}, {row, "one"}, {high, "three"}}) {
        doc.pages[0].annotations.push_back(
            annotationOf("Highlight", textBounds(run, word), Color{1, 1, 0, 1}));
    }
    TempDir dir;
    auto engine = pdfkit::Document::open(writePdf(doc, dir / "order.pdf"));
    ASSERT_TRUE(engine);
    auto list = HighlightExtractor::collectPageHighlights(*engine->page(0), 1);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].text, "three");
    EXPECT_EQ(list[1].text, "one");
    EXPECT_EQ(list[2].text, "two");

    HighlightsByPage map{{1, {at(0, 0, "a"), at(0, 0, "b")}}};
    EXPECT_EQ(HighlightExtractor::markdownDigest(map, "T"),
              "# Highlights from T\n\n## Page 1\n\n"
              "> [!#000000] Highlight\n> a\n\n> [!#000000] Highlight\n> b\n\n");
}

TEST(HighlightExtractorTest, ColourCodesTruncateAndStayTwoDigits) {
    using HighlightExtractor::colorCode;
    EXPECT_EQ(colorCode(Color{1, 0, 0, 1}), "#FF0000");
    EXPECT_EQ(colorCode(Color{0.999, 0.5, 0.0039, 0.2}), "#FE7F00");
    EXPECT_EQ(colorCode(Color{1.5, -0.2, 0, 1}), "#FF0000");
    EXPECT_EQ(colorCode(Color{std::nan(""), 0, 0, 1}), "#FFFF00");
}

TEST(HighlightTextTest, WhitespaceCollapsesAndNumbersKeepAFraction) {
    EXPECT_EQ(collapseWhitespace("  a\r\nb\t\tc\u00A0\u2028d  "), "a b c d");
    EXPECT_EQ(collapseWhitespace(" \n\r "), "");
    EXPECT_EQ(shortestDecimal(72), "72.0");
    EXPECT_EQ(shortestDecimal(0.1), "0.1");
    EXPECT_EQ(shortestDecimal(-3.25), "-3.25");
}

TEST_F(HighlightDigestTest, ExportCountsEveryEntryAndTitlesWithTheDocumentName) {
    TabSession tab(document);
    const auto outcome = prepareHighlightExport(&tab);
    EXPECT_EQ(outcome.kind, HighlightExportOutcome::Kind::copied);
    EXPECT_EQ(outcome.markdown, kExpectedDigest);
    EXPECT_EQ(outcome.alertTitle, "Highlights Extracted");
    EXPECT_EQ(outcome.alertMessage,
              "7 highlights have been copied to the clipboard in Markdown format.");
}

TEST(HighlightExportTest, WithoutDocumentOrHighlightsNothingIsCopied) {
    EXPECT_EQ(prepareHighlightExport(nullptr).kind, HighlightExportOutcome::Kind::noDocument);

    TempDir dir;
    FixtureDocument doc;
    doc.pages.resize(2);
    doc.pages[0].runs = {kTitle};
    doc.pages[1].annotations.push_back(annotationOf("Circle", Rect{100, 100, 50, 50}, Color{}));
    PDFKitBridge bridge;
    TabSession tab(bridge.open(writePdf(doc, dir / "plain.pdf")));
    const auto outcome = prepareHighlightExport(&tab);
    EXPECT_EQ(outcome.kind, HighlightExportOutcome::Kind::noHighlights);
    EXPECT_EQ(outcome.alertTitle, "No Highlights Found");
    EXPECT_EQ(outcome.alertMessage, "This PDF doesn't contain any highlighted text.");
    EXPECT_TRUE(outcome.markdown.empty());
}

TEST_F(HighlightDigestTest, CommandPrintsTheClipboardDigest) {
    const std::string tool = shellQuoted(OMBRIX_CLI_PATH) + " highlights ";
    auto run = runShell(tool + shellQuoted(path.string()));
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, kExpectedDigest);

    auto missing = runShell(tool + shellQuoted((dir / "none.pdf").string()));
    EXPECT_NE(missing.status, 0);
    EXPECT_TRUE(missing.out.empty());
    EXPECT_FALSE(missing.err.empty());
}

// The sidebar's list.
class HighlightListTest : public ::testing::Test {
protected:
    void SetUp() override {
        setMainQueue(loop);
        FixtureDocument doc;
        doc.pages.resize(2);
        doc.pages[0].runs = {kRow};
        auto& a = doc.pages[0].annotations;
        const Rect left = textBounds(kRow, "left");
        a.push_back(annotationOf("Highlight", left, Color{1, 0, 0, 1}, "same"));
        a.push_back(annotationOf("Highlight", left, Color{1, 0, 0, 1}, "same"));
        a.push_back(
            annotationOf("Circle", textBounds(kRow, "middle"), Color{0, 0, 1, 1}, "<html>x"));
        a.push_back(
            annotationOf("Square", textBounds(kRow, "right"), Color{0, 1, 0, 1}, "\\(x\\)"));
        doc.pages[1].annotations.push_back(
            annotationOf("Highlight", Rect{100, 100, 40, 20}, Color{0, 1, 0, 1}));
        doc.pages[1].annotations.push_back(
            annotationOf("Underline", Rect{300, 100, 40, 20}, Color{0, 1, 0, 1}));
        path = writePdf(doc, dir / "list.pdf");
        tab = std::make_shared<TabSession>(bridge.open(path));
        manager.refreshHighlights(*tab->document);
    }
    void TearDown() override { setMainQueue(nullptr); }

    std::shared_ptr<pdfkit::Document> engine() const {
        return PDFKitBridge::engineDocument(*tab->document);
    }
    const std::vector<ExtractedHighlight>& list() const {
        return manager.extractedHighlights.get();
    }

    std::shared_ptr<RunLoop> loop = std::make_shared<RunLoop>();
    std::shared_ptr<MemorySink> sink = std::make_shared<MemorySink>();
    BacklinkHighlightManager manager{
        std::make_shared<Logging>(Logging::kSubsystem, Logging::kCategory, sink)};
    TempDir dir;
    std::filesystem::path path;
    PDFKitBridge bridge;
    std::shared_ptr<TabSession> tab;
};

TEST_F(HighlightListTest, RefreshListsEachDistinctAnnotationInPageOrder) {
    ASSERT_EQ(list().size(), 5u) << "the duplicate highlight is listed once";
    EXPECT_EQ(list()[0].text, "left");
    EXPECT_EQ(list()[0].comment, "same");
    EXPECT_EQ(list()[1].text, "middle") << "circles are listed";
    EXPECT_EQ(list()[1].resultData, "<html>x");
    EXPECT_EQ(list()[2].comment, "\\(x\\)") << "a formula marker is no result for the list";
    EXPECT_EQ(list()[3].text, "Annotation");
    EXPECT_EQ(list()[3].pageNumber, 2);
    EXPECT_NE(list()[3].id, list()[4].id);

    const Rect b = list()[0].bounds;
    EXPECT_TRUE(list()[0].id.starts_with("0_" + shortestDecimal(b.x) + "_"));
}

TEST_F(HighlightListTest, EveryChangePublishesTheListThenANewTrigger) {
    std::vector<std::string> events;
    auto a = manager.extractedHighlights.observe([&](const auto&) { events.push_back("list"); });
    auto b = manager.refreshTrigger.observe([&](const auto&) { events.push_back("trigger"); });
    const Uuid before = manager.refreshTrigger.get();

    auto edited = list()[0];
    edited.resultData = "<table></table>";
    manager.updateHighlight(edited);
    EXPECT_EQ(list()[0].resultData, "<table></table>");
    EXPECT_EQ(events, (std::vector<std::string>{"list", "trigger"}));
    EXPECT_NE(manager.refreshTrigger.get(), before);

    edited.id = "nowhere";
    manager.updateHighlight(edited);
    EXPECT_EQ(events.size(), 2u) << "an unknown id changes nothing";
}

TEST_F(HighlightListTest, RemovingDeletesTheMatchingAnnotationAndMarksTheDocument) {
    const auto target = list()[3]; // page 2, no contents, no comment
    manager.removeHighlight(target, *tab);
    EXPECT_EQ(list().size(), 5u) << "the list changes on the main queue";
    loop->runPending();
    EXPECT_EQ(list().size(), 4u);
    EXPECT_EQ(engine()->page(1)->annotations().size(), 1u);
    EXPECT_TRUE(tab->document->isDirty);
    EXPECT_EQ(sink->lines(), (std::vector<std::string>{"✅ Removed highlight from PDF page 2"}));
}

TEST_F(HighlightListTest, RemovingWithoutAMatchLeavesTheAnnotation) {
    auto target = list()[4];
    target.comment = "a note the annotation never had";
    target.color = Color{0.2, 0.2, 0.2, 1};
    manager.removeHighlight(target, *tab);
    loop->runPending();
    EXPECT_EQ(list().size(), 4u);
    EXPECT_EQ(engine()->page(1)->annotations().size(), 2u);
    EXPECT_FALSE(tab->document->isDirty);
    EXPECT_TRUE(sink->lines().empty());
}

TEST_F(HighlightListTest, DropMatchingRemovesEntriesOverTheRegionOnItsPage) {
    const Rect first = list()[3].bounds;
    const Rect second = list()[4].bounds;
    // Touching the left edge only: the widened region still overlaps it.
    manager.dropMatching("", 2, Rect{second.minX() - 10, second.minY(), 10, 5});
    manager.dropMatching("", 1, second); // wrong page
    manager.dropMatching("other text", 2, list()[3].bounds);
    EXPECT_EQ(list().size(), 5u);
    loop->runPending();
    ASSERT_EQ(list().size(), 4u);
    EXPECT_EQ(list().back().bounds, first);
}

TEST_F(HighlightListTest, SavedResultAndColourSurviveWritingTheFile) {
    auto h = list()[2];
    h.resultData = "<table><tr><td>9</td></tr></table>";
    h.comment = "kept beside the result";
    h.color = Color{0.5, 0, 1, 1};
    manager.saveToAnnotation(h, *tab);
    EXPECT_TRUE(tab->document->isDirty);
    engine()->write(path);

    auto reopened = pdfkit::Document::open(path);
    ASSERT_TRUE(reopened);
    auto annotations = reopened->page(0)->annotations();
    const auto& saved = *annotations.at(3);
    // The result in our own entry, the comment where every reader shows it.
    EXPECT_EQ(saved.privateText(note::kResultKey), h.resultData);
    EXPECT_EQ(saved.contents(), h.comment);
    ASSERT_TRUE(saved.color());
    EXPECT_NEAR(saved.color()->red, 0.5, 1e-3);
    EXPECT_NEAR(saved.color()->blue, 1, 1e-3);
    // The square had no fill and is given none.
    EXPECT_FALSE(saved.interiorColor());

    auto nowhere = h;
    nowhere.bounds = Rect{0, 0, 1, 1};
    nowhere.pageNumber = 9;
    manager.saveToAnnotation(nowhere, *tab); // no page: nothing happens
}

} // namespace
