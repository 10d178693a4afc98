#include "handlers/ViewHandler.h"
#include "pdfkit/HeadlessViewPort.h"
#include "support/AppHarness.h"

#include <gtest/gtest.h>

namespace {

using namespace ombrix;
namespace fx = ombrix::testing;
using pdfkit::DisplayDirection;
using pdfkit::DisplayMode;

class ViewHandlerTest : public ::testing::Test {
protected:
    void SetUp() override { tab = h.open(h.pdf(fx::textDocument(5), "five.pdf")); }
    double zoomAfter(double start, ActionID action) {
        tab->zoom = start;
        h.dispatch(action);
        return tab->zoom.get();
    }
    fx::AppHarness h;
    std::shared_ptr<TabSession> tab;
};

TEST_F(ViewHandlerTest, ZoomStepsByATenthWithinInclusiveLimits) {
    EXPECT_DOUBLE_EQ(zoomAfter(1.0, ActionID::viewZoomIn), 1.1);
    EXPECT_DOUBLE_EQ(zoomAfter(3.95, ActionID::viewZoomIn), 4.0);
    EXPECT_DOUBLE_EQ(zoomAfter(4.0, ActionID::viewZoomIn), 4.0);
    EXPECT_DOUBLE_EQ(zoomAfter(1.0, ActionID::viewZoomOut), 0.9);
    EXPECT_DOUBLE_EQ(zoomAfter(0.3, ActionID::viewZoomOut), 0.25);
    EXPECT_DOUBLE_EQ(zoomAfter(0.25, ActionID::viewZoomOut), 0.25);
    EXPECT_DOUBLE_EQ(zoomAfter(3.2, ActionID::viewZoomFit), 1.0);

    // The bottom bar's buttons use the tab's own quarter steps, under the same limits.
    tab->zoom = 1.0;
    tab->zoomIn();
    EXPECT_DOUBLE_EQ(tab->zoom.get(), 1.25);
    tab->zoom = 3.9;
    tab->zoomIn();
    EXPECT_DOUBLE_EQ(tab->zoom.get(), 4.0);
    tab->zoom = 0.4;
    tab->zoomOut();
    EXPECT_DOUBLE_EQ(tab->zoom.get(), 0.25);
}

TEST_F(ViewHandlerTest, PagesStepWithinTheDocument) {
    tab->currentPage = 3;
    h.dispatch(ActionID::viewNextPage);
    EXPECT_EQ(tab->currentPage.get(), 4);
    h.dispatch(ActionID::viewNextPage);
    EXPECT_EQ(tab->currentPage.get(), 4);
    h.dispatch(ActionID::viewPrevPage);
    EXPECT_EQ(tab->currentPage.get(), 3);
    tab->currentPage = 0;
    h.dispatch(ActionID::viewPrevPage);
    EXPECT_EQ(tab->currentPage.get(), 0);
}

TEST_F(ViewHandlerTest, UnknownActionsAreLoggedAtDebugLevel) {
    h.app().viewHandler()->handle(DispatchContext{ActionID::viewShowSidebar, "Menu", {}});
    auto debug = h.sink->lines(LogLevel::debug);
    EXPECT_NE(std::find(debug.begin(), debug.end(), "ViewHandler: unhandled view.showSidebar"),
              debug.end());
    EXPECT_DOUBLE_EQ(tab->zoom.get(), 1.0);
}

TEST(LayoutHandlerTest, SetsTheTabLayoutAndTheViewOnScreen) {
    fx::AppHarness h;
    auto tab = h.open(h.pdf(fx::textDocument(4), "four.pdf"));
    auto view = std::make_shared<pdfkit::HeadlessViewPort>();

    // No view on screen: nothing changes.
    h.dispatch(ActionID::layoutTwo);
    EXPECT_EQ(tab->layout.get(), LayoutMode::continuous);

    h.app().setActivePDFView(view);
    struct Expected {
        ActionID action;
        LayoutMode layout;
        DisplayMode mode;
        DisplayDirection direction;
        bool breaks;
    };
    for (const Expected& e : {
             Expected{ActionID::layoutTwo, LayoutMode::twoUp, DisplayMode::twoUp,
                      DisplayDirection::horizontal, false},
             Expected{ActionID::layoutSingle, LayoutMode::single, DisplayMode::singlePage,
                      DisplayDirection::vertical, false},
             Expected{ActionID::layoutContinuous, LayoutMode::continuous,
                      DisplayMode::singlePageContinuous, DisplayDirection::vertical, true},
         }) {
        h.dispatch(e.action);
        EXPECT_EQ(tab->layout.get(), e.layout) << rawValue(e.action);
        EXPECT_EQ(view->displayMode(), e.mode) << rawValue(e.action);
        EXPECT_EQ(view->displayDirection(), e.direction) << rawValue(e.action);
        EXPECT_EQ(view->displaysPageBreaks(), e.breaks) << rawValue(e.action);
    }
}

} // namespace
