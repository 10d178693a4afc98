#include "annotations/AnnotationToolbarController.h"

#include "AnnotationTestSupport.h"
#include "annotations/AppUndoManager.h"
#include "annotations/HighlightColor.h"
#include "pdfkit/HeadlessViewPort.h"

using namespace ombrix;
using namespace ombrix::annotations_test;

namespace {

constexpr const char* kFailed = "❌ Highlight failed: Missing session, pdfView, or selection.";

// The text lines of textDocument(), as the fixture writer lays them out.
const fx::TextRun& line(int i) {
    static const auto runs = fx::textDocument(1).pages[0].runs;
    return runs[static_cast<std::size_t>(i)];
}

const HighlightColor& palette(const std::string& id) {
    for (const auto& c : HighlightColor::defaults()) {
        if (c.id == id) {
            return c;
        }
    }
    throw std::invalid_argument(id);
}

class AnnotationToolbarControllerTest : public AnnotationFixture {
protected:
    void SetUp() override {
        AnnotationFixture::SetUp();
        tab = openTab(fx::textDocument(4));
        engine = PDFKitBridge::engineDocument(*tab->document);
        // One page wide plus its gaps, scrolled to the top, at scale 1.
        view = std::make_shared<pdfkit::HeadlessViewPort>(Size{628, 600});
        view->setDocument(engine);
        controller =
            std::make_unique<AnnotationToolbarController>(tab, view, service, undo, redraw, log);
    }

    pdfkit::Selection select(int pageIndex, const Rect& rect) {
        auto selection = engine->page(pageIndex)->selection(rect);
        if (!selection) {
            throw std::runtime_error("no text under the rectangle");
        }
        return *selection;
    }

    std::shared_ptr<TabSession> tab;
    std::shared_ptr<pdfkit::Document> engine;
    std::shared_ptr<pdfkit::HeadlessViewPort> view;
    std::shared_ptr<AppUndoManager> undo = std::make_shared<AppUndoManager>();
    std::unique_ptr<AnnotationToolbarController> controller;
};

TEST_F(AnnotationToolbarControllerTest, PublishesTheSelectionWithItsRectangleFromTheViewTop) {
    EXPECT_FALSE(controller->currentSelection.get());
    EXPECT_EQ(controller->selectionRect.get(), Rect{});

    const auto selection = select(0, fx::textBounds(line(1)));
    view->setCurrentSelection(selection);
    ASSERT_TRUE(controller->currentSelection.get());
    EXPECT_EQ(controller->currentSelection.get()->string(), line(1).text);

    // The page sits kPageGap in from the view's left and top edges.
    const Rect b = selection.bounds(*engine->page(0));
    const Rect r = controller->selectionRect.get();
    const double gap = pdfkit::HeadlessViewPort::kPageGap;
    EXPECT_NEAR(r.x, gap + b.minX(), 1e-9);
    EXPECT_NEAR(r.y, gap + (792 - b.maxY()), 1e-9);
    EXPECT_NEAR(r.width, b.width, 1e-9);
    EXPECT_NEAR(r.height, b.height, 1e-9);

    // Only white space selected counts as nothing selected.
    view->setCurrentSelection(
        pdfkit::Selection({{engine->page(0), {b}}}, std::string(" \n\t\u00a0\r\n")));
    EXPECT_FALSE(controller->currentSelection.get());
    EXPECT_EQ(controller->selectionRect.get(), Rect{});

    view->setCurrentSelection(selection);
    view->setCurrentSelection(pdfkit::Selection({}, std::string("floating")));
    EXPECT_TRUE(controller->currentSelection.get());
    EXPECT_EQ(controller->selectionRect.get(), r); // no page: the rectangle stays

    view->clearSelection();
    EXPECT_FALSE(controller->currentSelection.get());
    EXPECT_EQ(controller->selectionRect.get(), Rect{});
}

TEST_F(AnnotationToolbarControllerTest, TwoLinesBecomeOneRectangleInThePurplePaletteColour) {
    // The second line is the shorter one.
    const Rect over = fx::textBounds(line(3)).united(fx::textBounds(line(4)));
    const auto selection = select(0, over);
    ASSERT_EQ(selection.lineRects(*engine->page(0)).size(), 2u);
    view->setCurrentSelection(selection);

    controller->highlightSelection(palette("purple"));
    ASSERT_EQ(tab->annotations.get().size(), 1u);
    const auto& record = tab->annotations.get()[0];
    EXPECT_EQ(record.pageIndex, 0);
    EXPECT_EQ(record.type, AnnotationType::highlight);
    EXPECT_EQ(record.bounds, selection.bounds(*engine->page(0)));
    EXPECT_NEAR(record.bounds.minX(), line(3).x, 1.0);
    EXPECT_NEAR(record.bounds.width, fx::textWidth(line(3).text, line(3).style, line(3).size), 1.5);
    EXPECT_LT(record.bounds.minY(), line(4).y);
    EXPECT_GT(record.bounds.maxY(), line(3).y + line(3).size * 0.5);
    EXPECT_EQ(record.content, line(3).text + " " + line(4).text);
    EXPECT_DOUBLE_EQ(record.appearance.opacity, 0.5);

    const auto& annotation = record.pdfAnnotationRef;
    ASSERT_TRUE(annotation);
    ASSERT_TRUE(isOn(*engine->page(0), annotation));
    EXPECT_EQ(annotation->quadRects().size(), 1u);
    auto color = annotation->color();
    ASSERT_TRUE(color);
    EXPECT_NEAR(color->red, 0.7333, 1e-3);
    EXPECT_NEAR(color->green, 0.3804, 1e-3);
    EXPECT_NEAR(color->blue, 0.8980, 1e-3);
    EXPECT_NEAR(color->alpha, 0.5, 1e-3);

    EXPECT_EQ(sink->lines(LogLevel::info),
              (std::vector<std::string>{"✅ Highlight created on page 1"}));
    EXPECT_FALSE(view->currentSelection());
    EXPECT_FALSE(controller->currentSelection.get());
    EXPECT_EQ(controller->selectionRect.get(), Rect{});

    // It went through the undo history.
    ASSERT_EQ(undo->undoStack.get().size(), 1u);
    undo->undo();
    EXPECT_TRUE(tab->annotations.get().empty());
    EXPECT_FALSE(isOn(*engine->page(0), annotation));
    loop->runPending();
    EXPECT_EQ(viewRedraws, 2);
}

TEST_F(AnnotationToolbarControllerTest, ASelectionAcrossPagesIsHighlightedOnItsFirstPageOnly) {
    // Page 3 ends "... with the document." and page 4 begins "Page 4".
    auto found = engine->find("the document. Page 4", false);
    ASSERT_FALSE(found.empty());
    const auto& selection = found[0];
    ASSERT_EQ(selection.pages().size(), 2u);
    ASSERT_EQ(selection.pages()[0], engine->page(2));
    view->setCurrentSelection(selection);

    controller->highlightSelection(palette("yellow"));
    ASSERT_EQ(tab->annotations.get().size(), 1u);
    const auto& record = tab->annotations.get()[0];
    EXPECT_EQ(record.pageIndex, 2);
    EXPECT_EQ(record.bounds, selection.bounds(*engine->page(2)));
    EXPECT_EQ(engine->page(2)->annotations().size(), 1u);
    EXPECT_TRUE(engine->page(3)->annotations().empty());
    EXPECT_EQ(sink->lines(LogLevel::info),
              (std::vector<std::string>{"✅ Highlight created on page 3"}));
}

TEST_F(AnnotationToolbarControllerTest, EveryMissingPieceFailsWithOneMessageAndChangesNothing) {
    auto failures = [&] {
        auto lines = sink->lines(LogLevel::info);
        return static_cast<int>(std::count(lines.begin(), lines.end(), kFailed));
    };

    controller->highlightSelection(palette("red")); // nothing selected
    EXPECT_EQ(failures(), 1);

    view->setCurrentSelection(select(0, fx::textBounds(line(1))));
    controller->highlightSelection(palette("red"));
    controller->highlightSelection(palette("red")); // the first cleared the selection
    EXPECT_EQ(failures(), 2);
    EXPECT_EQ(undo->undoStack.get().size(), 1u);

    // A page of another document (the view showing a different file) is no target.
    auto other = bridge->open(fx::writePdf(fx::textDocument(1), dir / "other.pdf"));
    auto otherEngine = PDFKitBridge::engineDocument(*other);
    auto foreign = otherEngine->page(0)->selection(fx::textBounds(line(1)));
    ASSERT_TRUE(foreign);
    view->setCurrentSelection(foreign);
    controller->highlightSelection(palette("red"));
    EXPECT_EQ(failures(), 3);
    EXPECT_TRUE(otherEngine->page(0)->annotations().empty());
    EXPECT_TRUE(view->currentSelection()); // a failure leaves the selection alone

    // The tab closes while the selection stays.
    view->setCurrentSelection(select(0, fx::textBounds(line(2))));
    tabs.closeTab(*tab);
    std::weak_ptr<TabSession> closed = tab;
    tab.reset();
    ASSERT_TRUE(closed.expired());
    controller->highlightSelection(palette("red"));
    EXPECT_EQ(failures(), 4);
    EXPECT_TRUE(view->currentSelection());
    EXPECT_TRUE(controller->currentSelection.get());

    view.reset();
    controller->highlightSelection(palette("red"));
    EXPECT_EQ(failures(), 5);
    EXPECT_EQ(undo->undoStack.get().size(), 1u);
}

TEST_F(AnnotationToolbarControllerTest, AfterRebindOnlyTheNewViewIsFollowed) {
    auto second = std::make_shared<pdfkit::HeadlessViewPort>(Size{628, 600});
    second->setDocument(engine);
    controller->rebind(second);

    view->setCurrentSelection(select(0, fx::textBounds(line(1))));
    EXPECT_FALSE(controller->currentSelection.get());

    second->setCurrentSelection(select(0, fx::textBounds(line(2))));
    ASSERT_TRUE(controller->currentSelection.get());
    EXPECT_EQ(controller->currentSelection.get()->string(), line(2).text);

    controller->highlightSelection(palette("green"));
    EXPECT_FALSE(second->currentSelection());
    EXPECT_TRUE(view->currentSelection()); // the old view is not touched
    EXPECT_EQ(tab->annotations.get().size(), 1u);

    // Rebinding to a view that is already gone follows nothing.
    controller->rebind(std::weak_ptr<pdfkit::ViewPort>{});
    second->setCurrentSelection(select(0, fx::textBounds(line(3))));
    EXPECT_FALSE(controller->currentSelection.get());
}

TEST_F(AnnotationToolbarControllerTest, ANotificationAfterTheControllerWentIsIgnored) {
    int published = 0;
    auto watch = controller->currentSelection.observe([&](const auto&) { ++published; });
    controller.reset();
    view->setCurrentSelection(select(0, fx::textBounds(line(1))));
    view->clearSelection();
    EXPECT_EQ(published, 0);
}

} // namespace
