#include "extraction/HighlightRegionActions.h"

#include "HtmlTable.h"
#include "annotations/HighlightNote.h"
#include "core/AtomicFile.h"
#include "core/LogSink.h"
#include "core/RunLoop.h"
#include "core/UserInteraction.h"
#include "document/ActiveViews.h"
#include "document/PDFKitBridge.h"
#include "extraction/BacklinkHighlightManager.h"
#include "extraction/CropWriter.h"
#include "extraction/FormulaRecognizer.h"
#include "extraction/MathMLMarkup.h"
#include "extraction/RegionCapture.h"
#include "pdfkit/Document.h"
#include "pdfkit/HeadlessViewPort.h"
#include "pdfkit/ImageCodec.h"
#include "pdfkit/Page.h"
#include "support/FileSizeLimit.h"
#include "support/Fixtures.h"
#include "support/FormulaServer.h"
#include "support/TempDir.h"
#include "tabs/TabSession.h"

#include <gtest/gtest.h>
#include <thread>

using namespace ombrix;
using namespace ombrix::testing;
namespace fs = std::filesystem;

namespace {

using Alert = HeadlessUserInteraction::Alert;

class Canvas final : public CanvasTarget {
public:
    explicit Canvas(std::shared_ptr<pdfkit::ViewPort> view) : view_(std::move(view)) {}
    std::shared_ptr<pdfkit::ViewPort> pdfView() const override { return view_; }
    void setNeedsDisplay() override {}

private:
    std::shared_ptr<pdfkit::ViewPort> view_;
};

const Rect kTableRegion{60, 600, 440, 80};
const Rect kBlankRegion{100, 200, 200, 60};
const TextRun kFormula{"E = mc", 250, 400, 20};

// Page 1: a 3 × 3 table, an empty area and a formula, each under a highlight.
FixtureDocument markedDocument() {
    FixtureDocument doc;
    doc.pages.resize(1);
    const std::vector<std::vector<std::string>> lines{{"Apple", "Banana", "Cherry"},
                                                      {"Mango", "Lemon", "Orange"},
                                                      {"Walnut", "Peanut", "Almond"}};
    for (std::size_t r = 0; r < lines.size(); ++r) {
        for (std::size_t c = 0; c < lines[r].size(); ++c) {
            doc.pages[0].runs.push_back(
                TextRun{lines[r][c], 72 + 150.0 * double(c), 660 - 24.0 * double(r), 14});
        }
    }
    doc.pages[0].runs.push_back(kFormula);
    for (const Rect& rect : {kTableRegion, kBlankRegion, textBounds(kFormula).insetBy(-30, -20)}) {
        FixtureAnnotation highlight;
        highlight.subtype = "Highlight";
        highlight.rect = rect;
        highlight.color = Color{1, 0.85, 0, 1};
        doc.pages[0].annotations.push_back(highlight);
    }
    return doc;
}

class HighlightRegionActionsTest : public ::testing::Test {
protected:
    HighlightRegionActionsTest() {
        setMainQueue(loop);
        file = writePdf(markedDocument(), dir / "Report.pdf");
        tab = std::make_shared<TabSession>(PDFKitBridge().open(file));
        manager->refreshHighlights(*tab->document);
        view->setDocument(PDFKitBridge::engineDocument(*tab->document));
        views->pdfView = view;
        views->canvas = std::make_shared<Canvas>(view);
    }
    ~HighlightRegionActionsTest() override {
        actions.reset();
        setMainQueue(nullptr);
    }

    // The server only, unless a test asks for the page first: the fixture's formula is
    // text the page itself could give.
    HighlightRegionActions& make(std::shared_ptr<MathOCRExtractor> math = nullptr,
                                 bool background = false,
                                 FormulaSource source = FormulaSource::server) {
        actions = std::make_unique<HighlightRegionActions>(HighlightRegionActions::Services{
            manager, ui, views, nullptr,
            math ? math : std::make_shared<MathOCRExtractor>(server.url()),
            std::make_shared<Logging>("test", "region", sink), background, source});
        return *actions;
    }
    // The listed highlight over `rect`.
    ExtractedHighlight entry(const Rect& rect) const {
        for (const auto& e : manager->extractedHighlights.get()) {
            if (e.bounds.intersects(rect) &&
                rect.contains(Point{e.bounds.midX(), e.bounds.midY()})) {
                return e;
            }
        }
        throw std::runtime_error("no highlight there");
    }
    std::shared_ptr<pdfkit::Annotation> annotationOver(const Rect& rect) const {
        for (const auto& a : page()->annotations()) {
            if (a->bounds().intersects(rect)) {
                return a;
            }
        }
        return nullptr;
    }
    std::shared_ptr<pdfkit::Page> page() const {
        return PDFKitBridge::engineDocument(*tab->document)->page(0);
    }
    bool waitForAnswer() {
        return loop->runUntil([&] { return !actions->extractingID.get(); },
                              std::chrono::seconds(60));
    }
    bool logged(const std::string& line) const {
        const auto lines = sink->lines();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }

    TempDir dir;
    FormulaServer server;
    std::shared_ptr<RunLoop> loop = std::make_shared<RunLoop>();
    std::shared_ptr<MemorySink> sink = std::make_shared<MemorySink>(true);
    std::shared_ptr<HeadlessUserInteraction> ui = std::make_shared<HeadlessUserInteraction>();
    std::shared_ptr<BacklinkHighlightManager> manager =
        std::make_shared<BacklinkHighlightManager>();
    std::shared_ptr<pdfkit::HeadlessViewPort> view = std::make_shared<pdfkit::HeadlessViewPort>();
    std::shared_ptr<ActiveViews> views = std::make_shared<ActiveViews>();
    fs::path file;
    std::shared_ptr<TabSession> tab;
    std::unique_ptr<HighlightRegionActions> actions;
};

const Rect kFormulaArea = textBounds(kFormula).insetBy(-40, -30);

TEST_F(HighlightRegionActionsTest, FormulaAnswerBecomesTheHighlightsResult) {
    auto& regionActions = make();
    server.answer(200, R"({"latex":"E = mc^2","mathml":"<math/>"})");
    const auto highlight = entry(kFormulaArea);
    regionActions.mathError = std::string("an earlier failure");

    regionActions.extractFormula(highlight, tab);
    EXPECT_EQ(regionActions.extractingID.get(), highlight.id);
    ASSERT_TRUE(waitForAnswer());

    EXPECT_FALSE(regionActions.mathError.get());
    EXPECT_EQ(entry(kFormulaArea).resultData, "E = mc^2");
    EXPECT_EQ(annotationOver(kFormulaArea)->privateText(note::kResultKey), "E = mc^2");
    EXPECT_EQ(annotationOver(kFormulaArea)->contents(), std::nullopt);
    EXPECT_TRUE(tab->document->isDirty);
    EXPECT_TRUE(ui->alerts().empty());
    // The server got the padded region at 8×, trimmed to its ink.
    auto sent = pdfkit::decodeImage(server.file().content);
    auto expected = region::formulaImage(*page(), highlight.bounds);
    ASSERT_TRUE(sent && expected);
    EXPECT_EQ(sent->width(), expected->width());
    EXPECT_EQ(sent->height(), expected->height());
}

TEST_F(HighlightRegionActionsTest, AFormulaThePageHoldsIsReadWithoutTheServer) {
    auto& regionActions = make(nullptr, false, FormulaSource::automatic);
    server.answer(200, R"({"latex":"from the server"})");
    const auto highlight = entry(kFormulaArea);
    const auto bytes = readFile(file);
    regionActions.extractFormula(highlight, tab);
    ASSERT_TRUE(waitForAnswer());
    EXPECT_EQ(server.requests(), 0);
    EXPECT_FALSE(regionActions.mathError.get());
    // The fixture's formula is set in a text font: its letters read as upright ones.
    const std::string latex = *entry(kFormulaArea).resultData;
    EXPECT_NE(latex.find("E}="), std::string::npos) << latex;
    EXPECT_NE(latex.find("mc"), std::string::npos) << latex;
    EXPECT_EQ(annotationOver(kFormulaArea)->privateText(note::kResultKey), latex);
    // The result waits in the open document for a save: the file is as it was.
    EXPECT_TRUE(tab->document->isDirty);
    EXPECT_EQ(readFile(file), bytes);
    auto mathml = regionActions.mathMLOf(highlight, tab);
    ASSERT_TRUE(mathml);
    EXPECT_EQ(mathml::sanitize(*mathml), mathml);
    EXPECT_TRUE(ui->alerts().empty());
    // A later session has only the stored LaTeX: the page gives the same MathML again.
    HighlightRegionActions::Services services;
    services.manager = manager;
    services.userInteraction = ui;
    services.views = views;
    HighlightRegionActions later(services);
    EXPECT_EQ(later.mathMLOf(entry(kFormulaArea), tab), mathml);
    auto changed = entry(kFormulaArea);
    changed.resultData = "x";
    EXPECT_FALSE(later.mathMLOf(changed, tab));
}

TEST_F(HighlightRegionActionsTest, ARegionWithoutGlyphsGoesToTheServerAndBothReasonsAreSaid) {
    auto& regionActions = make(nullptr, false, FormulaSource::automatic);
    // A scan: the same page drawn into an image-only PDF.
    const auto scan = dir.path() / "scan.pdf";
    auto image = region::rasterize(*page(), page()->mediaBox());
    ASSERT_TRUE(image);
    crop::writeImagePDF(*image, scan, page()->mediaBox().standardized().size());
    auto scanned = pdfkit::Document::open(scan);
    ASSERT_TRUE(scanned);
    EXPECT_FALSE(FormulaRecognizer::recognize(*scanned->page(0), kFormulaArea));

    // Glyphs or not, a region with no formula glyphs asks the server; here it fails.
    server.answer(500, "oops");
    const ExtractedHighlight highlight = entry(kBlankRegion);
    regionActions.extractFormula(highlight, tab);
    ASSERT_TRUE(waitForAnswer());
    EXPECT_EQ(server.requests(), 1);
    ASSERT_EQ(ui->alerts().size(), 1u);
    const std::string said = ui->alerts()[0].message;
    EXPECT_NE(said.find(kNoFormulaGlyphs), std::string::npos) << said;
    EXPECT_NE(said.find("Server returned status 500."), std::string::npos) << said;
    EXPECT_NE(said.find(server.url()), std::string::npos) << said;
}

TEST_F(HighlightRegionActionsTest, FormulaFailureAlertsAndKeepsTheHighlight) {
    auto& regionActions = make();
    server.answer(500, "oops");
    const auto highlight = entry(kFormulaArea);
    regionActions.extractFormula(highlight, tab);
    ASSERT_TRUE(waitForAnswer());
    EXPECT_EQ(regionActions.mathError.get(), "Server returned status 500.");
    EXPECT_EQ(ui->alerts(),
              (std::vector<Alert>{
                  {"Math Extraction Error", "Server returned status 500.", AlertStyle::warning}}));
    EXPECT_EQ(entry(kFormulaArea), highlight);
    EXPECT_FALSE(tab->document->isDirty);

    // No page: a beep and nothing else.
    auto elsewhere = highlight;
    elsewhere.pageNumber = 9;
    regionActions.extractFormula(elsewhere, tab);
    EXPECT_EQ(ui->beeps(), 1u);
    EXPECT_FALSE(regionActions.extractingID.get());
    EXPECT_EQ(server.requests(), 1);
    // A highlight off the page has no raster: the request is never made.
    auto offPage = highlight;
    offPage.bounds = Rect{900, 900, 10, 10};
    regionActions.extractFormula(offPage, tab);
    EXPECT_FALSE(regionActions.extractingID.get());
    EXPECT_EQ(server.requests(), 1);
}

TEST_F(HighlightRegionActionsTest, AnAnswerAfterTheSidebarWentAwayIsDropped) {
    auto math = std::make_shared<MathOCRExtractor>(server.url());
    make(math);
    server.holdAnswers();
    server.answer(200, R"({"latex":"late"})");
    const auto highlight = entry(kFormulaArea);
    actions->extractFormula(highlight, tab);
    actions.reset();
    server.releaseSlowAnswers();
    math.reset(); // waits for the request in flight
    loop->runUntil([] { return false; }, std::chrono::milliseconds(50));
    EXPECT_EQ(entry(kFormulaArea), highlight);
    EXPECT_FALSE(annotationOver(kFormulaArea)->privateText(note::kResultKey));
}

TEST_F(HighlightRegionActionsTest, TableResultGoesToClipboardAnnotationAndList) {
    auto& regionActions = make();
    const auto before = page()->annotations();
    const auto highlight = entry(kTableRegion);
    const std::string html = regionActions.extractTable(highlight, tab);
    const auto rows = parseTable(html);
    ASSERT_EQ(rows.size(), 3u) << html;
    EXPECT_EQ(rows[2][1].text, "Peanut");
    EXPECT_FALSE(rows[2][1].header);
    EXPECT_EQ(ui->clipboardText(), "Apple\tBanana\tCherry\nMango\tLemon\tOrange\n"
                                   "Walnut\tPeanut\tAlmond\n");
    EXPECT_EQ(ui->clipboardHTML(), html);
    EXPECT_EQ(ui->alerts(),
              (std::vector<Alert>{{"Table Extracted",
                                   "Copied to clipboard as HTML — 1 data rows detected.",
                                   AlertStyle::informational}}));
    EXPECT_EQ(entry(kTableRegion).resultData, html);
    EXPECT_EQ(annotationOver(kTableRegion)->privateText(note::kResultKey), html);
    EXPECT_EQ(annotationOver(kTableRegion)->contents(), std::nullopt);
    EXPECT_EQ(page()->annotations(), before);
    EXPECT_TRUE(tab->document->isDirty);
}

TEST_F(HighlightRegionActionsTest, NoTableLeavesTheHighlightAndTheClipboard) {
    auto& regionActions = make();
    ui->copyToClipboard("kept");
    const auto highlight = entry(kBlankRegion);
    EXPECT_EQ(regionActions.extractTable(highlight, tab), "");
    EXPECT_EQ(ui->alerts(), (std::vector<Alert>{{"No Table Found",
                                                 "Could not detect a table structure in this area.",
                                                 AlertStyle::warning}}));
    EXPECT_EQ(entry(kBlankRegion), highlight);
    EXPECT_EQ(ui->clipboardText(), "kept");
    EXPECT_FALSE(tab->document->isDirty);
}

TEST_F(HighlightRegionActionsTest, TableNeedsTheViewsAndThePage) {
    views->canvas = nullptr;
    auto& regionActions = make();
    EXPECT_EQ(regionActions.extractTable(entry(kTableRegion), tab), "");
    EXPECT_TRUE(logged("❌ Missing UI components for table extraction"));
    EXPECT_EQ(ui->beeps(), 1u);
    EXPECT_TRUE(ui->alerts().empty());

    views->canvas = std::make_shared<Canvas>(view);
    auto elsewhere = entry(kTableRegion);
    elsewhere.pageNumber = 2;
    EXPECT_EQ(regionActions.extractTable(elsewhere, tab), "");
    EXPECT_EQ(regionActions.extractTable(entry(kTableRegion), nullptr), "");
    EXPECT_EQ(ui->beeps(), 3u);
    EXPECT_TRUE(ui->alerts().empty());
}

TEST_F(HighlightRegionActionsTest, CropWritesTheNextCropBesideTheDocumentAndLeavesIt) {
    auto& regionActions = make();
    auto highlight = entry(kFormulaArea);
    highlight.comment = "noted before the crop";
    manager->saveToAnnotation(highlight, *tab);
    ASSERT_TRUE(tab->document->isDirty);
    const auto original = readFile(file);

    auto first = regionActions.crop(highlight, tab);
    ASSERT_TRUE(first);
    EXPECT_EQ(*first, dir / "Report_page1_seq001.pdf");
    EXPECT_EQ(regionActions.crop(highlight, tab), dir / "Report_page1_seq002.pdf");
    // The unsaved comment stays unsaved: the document's file is not the crop's business.
    EXPECT_TRUE(tab->document->isDirty);
    EXPECT_EQ(readFile(file), original);
    EXPECT_EQ(view->displayRequests(), 0u);

    auto cropped = pdfkit::Document::open(*first);
    ASSERT_TRUE(cropped);
    const Rect padded = region::paddedRegion(highlight.bounds, page()->mediaBox());
    EXPECT_NEAR(cropped->page(0)->mediaBox().width, padded.width, 0.01);
    EXPECT_NEAR(cropped->page(0)->mediaBox().height, padded.height, 0.01);
    ASSERT_EQ(ui->alerts().size(), 2u);
    EXPECT_EQ(ui->alerts()[0].title, "Crop Saved");

    // Nothing to crop: no file, and the user hears why.
    auto offPage = highlight;
    offPage.bounds = Rect{900, 900, 10, 10};
    EXPECT_FALSE(regionActions.crop(offPage, tab));
    EXPECT_EQ(ui->alerts().back().title, "Crop Failed");
    auto elsewhere = highlight;
    elsewhere.pageNumber = 4;
    EXPECT_FALSE(regionActions.crop(elsewhere, tab));
    EXPECT_EQ(ui->beeps(), 1u);
    EXPECT_FALSE(fs::exists(dir / "Report_page1_seq003.pdf"));
}

TEST_F(HighlightRegionActionsTest, AFailedCropWriteLeavesNoHalfFile) {
    auto& regionActions = make();
    auto highlight = entry(kFormulaArea);
    highlight.comment = "unsaved";
    manager->saveToAnnotation(highlight, *tab);
    const auto original = readFile(file);
    ASSERT_TRUE(original);
    {
        FileSizeLimit limit(original->size() / 4);
        EXPECT_FALSE(regionActions.crop(highlight, tab));
    }
    EXPECT_TRUE(tab->document->isDirty);
    EXPECT_EQ(readFile(file), original);
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(dir.path())) {
        left.push_back(e.path().filename().string());
    }
    EXPECT_EQ(left, std::vector<std::string>{"Report.pdf"});
    const auto lines = sink->lines();
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const std::string& line) {
        return line.starts_with("❌ Crop failed: ");
    }));
    ASSERT_EQ(ui->alerts().size(), 1u);
    EXPECT_EQ(ui->alerts()[0].style, AlertStyle::warning);
}

// In the background the outcome arrives through the main queue, one action at a time.
TEST_F(HighlightRegionActionsTest, BackgroundActionsReportOnTheMainQueue) {
    auto& regionActions = make(nullptr, true);
    const auto table = entry(kTableRegion);
    std::optional<std::string> html;
    regionActions.startTable(table, tab, [&](const std::string& result) { html = result; });
    EXPECT_EQ(regionActions.extractingID.get(), table.id);
    // A second action while one runs only beeps.
    regionActions.startCrop(entry(kFormulaArea), tab);
    EXPECT_EQ(ui->beeps(), 1u);
    EXPECT_FALSE(html);
    ASSERT_TRUE(loop->runUntil([&] { return html.has_value(); }, std::chrono::seconds(60)));
    EXPECT_FALSE(regionActions.extractingID.get());
    EXPECT_EQ(parseTable(*html).size(), 3u);
    EXPECT_EQ(ui->clipboardHTML(), *html);
    EXPECT_EQ(entry(kTableRegion).resultData, *html);
    ASSERT_EQ(ui->alerts().size(), 1u);
    EXPECT_EQ(ui->alerts()[0].title, "Table Extracted");

    std::optional<std::optional<fs::path>> cropped;
    regionActions.startCrop(entry(kFormulaArea), tab,
                            [&](const std::optional<fs::path>& path) { cropped = path; });
    ASSERT_TRUE(loop->runUntil([&] { return cropped.has_value(); }, std::chrono::seconds(60)));
    EXPECT_EQ(*cropped, dir / "Report_page1_seq001.pdf");
    EXPECT_TRUE(fs::exists(dir / "Report_page1_seq001.pdf"));
    // The table's result is still the user's to save: the crop wrote no document.
    EXPECT_TRUE(tab->document->isDirty);
    // The crop's alert comes a turn later, through the main queue as well.
    ASSERT_TRUE(
        loop->runUntil([&] { return ui->alerts().size() == 2u; }, std::chrono::seconds(60)));
    EXPECT_EQ(ui->alerts()[1].title, "Crop Saved");
}

// A comment written while the table ran is kept; a highlight deleted meanwhile gets nothing,
// nor does the annotation that now lies where it was.
TEST_F(HighlightRegionActionsTest, BackgroundResultMeetsTheListAsItIsThen) {
    auto& regionActions = make(nullptr, true);
    auto table = entry(kTableRegion);
    std::optional<std::string> html;
    regionActions.startTable(table, tab, [&](const std::string& result) { html = result; });
    auto commented = table;
    commented.comment = "typed meanwhile";
    manager->updateHighlight(commented);
    ASSERT_TRUE(loop->runUntil([&] { return html.has_value(); }, std::chrono::seconds(60)));
    EXPECT_EQ(entry(kTableRegion).comment, "typed meanwhile");
    EXPECT_EQ(entry(kTableRegion).resultData, *html);

    html.reset();
    auto blankBefore = annotationOver(kTableRegion)->privateText(note::kResultKey);
    manager->updateHighlight(table);
    regionActions.startTable(entry(kTableRegion), tab,
                             [&](const std::string& result) { html = result; });
    auto list = manager->extractedHighlights.get();
    std::erase_if(list, [&](const ExtractedHighlight& e) { return e.id == table.id; });
    manager->extractedHighlights = list;
    ASSERT_TRUE(loop->runUntil([&] { return html.has_value(); }, std::chrono::seconds(60)));
    EXPECT_EQ(annotationOver(kTableRegion)->privateText(note::kResultKey), blankBefore);
}

TEST_F(HighlightRegionActionsTest, ACancelledFormulaRequestEndsWithoutAnAlert) {
    auto& regionActions = make(nullptr, true);
    server.holdAnswers();
    server.answer(200, R"({"latex":"too late"})");
    const auto highlight = entry(kFormulaArea);
    regionActions.extractFormula(highlight, tab);
    for (int i = 0; i < 3000 && server.requests() == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_EQ(server.requests(), 1);
    regionActions.cancelFormula();
    EXPECT_FALSE(regionActions.extractingID.get());
    server.releaseSlowAnswers();
    loop->runUntil([] { return false; }, std::chrono::milliseconds(200));
    EXPECT_TRUE(ui->alerts().empty());
    EXPECT_EQ(entry(kFormulaArea), highlight);

    // The next request goes through as usual.
    server.answer(200, R"({"latex":"x^2"})");
    regionActions.extractFormula(highlight, tab);
    ASSERT_TRUE(waitForAnswer());
    EXPECT_EQ(entry(kFormulaArea).resultData, "x^2");
}

} // namespace
