#include "annotations/AppUndoManager.h"
#include "contracts/ContractError.h"
#include "document/ActiveViews.h"
#include "document/PDFKitBridge.h"
#include "handlers/MarkupHandler.h"
#include "pdfkit/Annotation.h"
#include "pdfkit/Document.h"
#include "pdfkit/HeadlessViewPort.h"
#include "pdfkit/Page.h"
#include "support/AppHarness.h"

#include <cmath>
#include <gtest/gtest.h>

namespace {

using namespace ombrix;
namespace fx = ombrix::testing;

std::shared_ptr<pdfkit::Page> enginePage(const TabSession& tab, int index) {
    return PDFKitBridge::engineDocument(*tab.document)->page(index);
}

// A canvas on no screen: holds its view and counts its own redraws.
class RecordingCanvas final : public CanvasTarget {
public:
    explicit RecordingCanvas(std::shared_ptr<pdfkit::ViewPort> view) : view_(std::move(view)) {}
    std::shared_ptr<pdfkit::ViewPort> pdfView() const override { return view_; }
    void setNeedsDisplay() override { ++redraws; }
    int redraws = 0;

private:
    std::shared_ptr<pdfkit::ViewPort> view_;
};

class MarkupHandlerTest : public ::testing::Test {
protected:
    void SetUp() override {
        document = fx::textDocument(3);
        tab = h.open(h.pdf(document, "marked.pdf"));
        ASSERT_TRUE(tab);
    }
    // The first line of a page ("Page N") with room to spare on the right.
    Rect firstLine() const {
        Rect r = fx::textBounds(document.pages[0].runs[0]);
        return Rect{r.x - 2, r.y - 2, r.width + 40, r.height + 4};
    }
    fx::FixtureDocument document;
    fx::AppHarness h;
    std::shared_ptr<TabSession> tab;
};

TEST_F(MarkupHandlerTest, HighlightAddsAnUndoableAnnotationWithThePageTextUnderIt) {
    h.dispatch(ActionID::markupHighlight, {{"bounds", firstLine()}, {"pageIndex", 2}});
    ASSERT_EQ(tab->annotations.get().size(), 1u);
    const AnnotationRecord record = tab->annotations.get()[0];
    EXPECT_EQ(record.type, AnnotationType::highlight);
    EXPECT_EQ(record.pageIndex, 2);
    EXPECT_EQ(record.bounds, firstLine());
    EXPECT_EQ(record.content, "Page 3");
    EXPECT_EQ(record.appearance, AnnotationAppearance::defaultHighlight());
    ASSERT_TRUE(record.pdfAnnotationRef);
    EXPECT_EQ(enginePage(*tab, 2)->annotations().size(), 1u);
    EXPECT_TRUE(tab->document->isDirty);

    // Undo and redo reach the markup handler straight from the container; the registry
    // keeps its contracts and knows no undo action.
    EXPECT_THROW(h.dispatch(ActionID::editUndo), ContractError);
    h.app().undo();
    EXPECT_TRUE(tab->annotations.get().empty());
    EXPECT_TRUE(enginePage(*tab, 2)->annotations().empty());
    h.app().redo();
    ASSERT_EQ(tab->annotations.get().size(), 1u);
    // The very same engine object comes back, not a second one.
    EXPECT_EQ(enginePage(*tab, 2)->annotations().at(0), record.pdfAnnotationRef);
    EXPECT_EQ(h.app().registry().contractCount(), 18u);
}

TEST_F(MarkupHandlerTest, UnderlineIsAHighlightOfTypeUnderline) {
    h.dispatch(ActionID::markupUnderline, {{"bounds", firstLine()}, {"pageIndex", 0}});
    ASSERT_EQ(tab->annotations.get().size(), 1u);
    EXPECT_EQ(tab->annotations.get()[0].type, AnnotationType::underline);
    EXPECT_EQ(tab->annotations.get()[0].content, "Page 1");
    EXPECT_EQ(enginePage(*tab, 0)->annotations().at(0)->type(), "Underline");
}

TEST_F(MarkupHandlerTest, IncompleteOrImpossiblePlacesAddNothingAndRecordNothing) {
    const std::vector<DispatchParams> refused = {
        {{"bounds", firstLine()}},                                  // no page
        {{"pageIndex", 0}},                                         // no bounds
        {{"bounds", firstLine()}, {"pageIndex", std::string("0")}}, // page of another type
        {{"bounds", firstLine()}, {"pageIndex", 3}},                // past the last page
        {{"bounds", firstLine()}, {"pageIndex", -1}},
        {{"bounds", Rect{NAN, 10, 10, 10}}, {"pageIndex", 0}},
    };
    for (const auto& params : refused) {
        h.dispatch(ActionID::markupHighlight, params);
    }
    EXPECT_TRUE(tab->annotations.get().empty());
    EXPECT_FALSE(h.app().undoManager()->canUndo());
    EXPECT_FALSE(tab->document->isDirty);
}

TEST_F(MarkupHandlerTest, AHighlightRedrawsTheViewOnScreenAfterTheCurrentEvent) {
    auto view = std::make_shared<pdfkit::HeadlessViewPort>();
    h.app().setActivePDFView(view);
    h.dispatch(ActionID::markupHighlight, {{"bounds", firstLine()}, {"pageIndex", 0}});
    EXPECT_EQ(view->displayRequests(), 0u);
    h.loop->runPending();
    EXPECT_EQ(view->displayRequests(), 1u);
}

class TextHandlerTest : public MarkupHandlerTest {};

TEST_F(TextHandlerTest, AddPutsAFreeTextAnnotationOnThePageAndInTheTab) {
    auto view = std::make_shared<pdfkit::HeadlessViewPort>();
    auto canvas = std::make_shared<RecordingCanvas>(view);
    h.app().setActivePDFCanvas(canvas);
    const Rect box{100, 300, 200, 40};
    h.dispatch(ActionID::textAdd,
               {{"bounds", box}, {"pageIndex", 1}, {"text", std::string("Note")}});

    auto onPage = enginePage(*tab, 1)->annotations();
    ASSERT_EQ(onPage.size(), 1u);
    EXPECT_EQ(onPage[0]->type(), "FreeText");
    EXPECT_EQ(onPage[0]->contents(), "Note");
    EXPECT_EQ(onPage[0]->font(), (pdfkit::Font{"Helvetica", 14}));
    ASSERT_EQ(tab->annotations.get().size(), 1u);
    const auto& record = tab->annotations.get()[0];
    EXPECT_EQ(record.type, AnnotationType::freeText);
    EXPECT_EQ(record.content, "Note");
    EXPECT_EQ(record.pdfAnnotationRef, onPage[0]);
    EXPECT_EQ(record.appearance.color, SystemColors::black); // the text's colour, as drawn
    EXPECT_EQ(record.appearance.fontSize, 14);
    // The canvas's view is redrawn at once; the page now differs from the file, an unsaved
    // change that shows as one.
    EXPECT_EQ(view->displayRequests(), 1u);
    EXPECT_TRUE(tab->document->isDirty);
    // One step of the undo history, as every change is.
    ASSERT_TRUE(h.app().undoManager()->canUndo());
    h.app().undoManager()->undo();
    EXPECT_TRUE(enginePage(*tab, 1)->annotations().empty());
    EXPECT_TRUE(tab->annotations.get().empty());
    h.app().undoManager()->redo();
    EXPECT_EQ(enginePage(*tab, 1)->annotations(), onPage);
    ASSERT_EQ(tab->annotations.get().size(), 1u);

    h.dispatch(ActionID::textAdd, {{"bounds", box}, {"pageIndex", 7}, {"text", std::string("x")}});
    h.dispatch(ActionID::textAdd, {{"bounds", box}, {"pageIndex", 0}});
    EXPECT_EQ(tab->annotations.get().size(), 1u);
}

// The annotation a record names changes, and the tab's record of that annotation follows,
// whichever record (a copy, a stale one) named it; each edit is one undoable step.
TEST_F(TextHandlerTest, EditChangesTheEngineAnnotationAndTheTabsRecordOfIt) {
    const Rect box{100, 300, 200, 40};
    h.dispatch(ActionID::textAdd,
               {{"bounds", box}, {"pageIndex", 0}, {"text", std::string("old")}});
    AnnotationRecord listed = tab->annotations.get().at(0);
    h.dispatch(ActionID::textEdit, {{"record", listed}, {"text", std::string("new")}});
    EXPECT_EQ(listed.pdfAnnotationRef->contents(), "new");
    EXPECT_EQ(tab->annotations.get().at(0).content, "new");

    AnnotationRecord stranger = listed;
    stranger.id = Uuid::random();
    h.dispatch(ActionID::textEdit, {{"record", stranger}, {"text", std::string("newer")}});
    EXPECT_EQ(listed.pdfAnnotationRef->contents(), "newer");
    EXPECT_EQ(tab->annotations.get().at(0).content, "newer");
    h.app().undoManager()->undo();
    EXPECT_EQ(listed.pdfAnnotationRef->contents(), "new");
    EXPECT_EQ(tab->annotations.get().at(0).content, "new");
}

} // namespace
