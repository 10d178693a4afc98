#include "tabs/TabManager.h"

#include "annotations/AnnotationService.h"
#include "document/PDFKitBridge.h"
#include "support/Fixtures.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace ombrix {
namespace {

namespace fx = ombrix::testing;

class TabManagerTest : public ::testing::Test {
protected:
    std::shared_ptr<PDFDocument> open(const std::string& name, int pages = 2) {
        const auto path = dir / name;
        if (!std::filesystem::exists(path)) {
            fx::writePdf(fx::textDocument(pages), path);
        }
        return bridge.open(path);
    }

    std::vector<Uuid> ids() const {
        std::vector<Uuid> result;
        for (const auto& tab : manager.tabs.get()) {
            result.push_back(tab->id);
        }
        return result;
    }

    fx::TempDir dir;
    PDFKitBridge bridge;
    TabManager manager;
};

TEST_F(TabManagerTest, ClosingTheActiveTabActivatesTheLastRemainingOne) {
    auto a = manager.openDocument(open("a.pdf"));
    auto b = manager.openDocument(open("b.pdf"));
    auto c = manager.openDocument(open("c.pdf"));
    EXPECT_EQ(ids(), (std::vector<Uuid>{a->id, b->id, c->id}));
    EXPECT_EQ(manager.activeTab(), c);

    manager.closeTab(*c);
    EXPECT_EQ(manager.activeTab(), b);

    // Closing a tab that is not active leaves the active one alone.
    manager.closeTab(*a);
    EXPECT_EQ(manager.activeTab(), b);
    EXPECT_EQ(ids(), std::vector<Uuid>{b->id});
}

TEST_F(TabManagerTest, ClosingAnActivatedEarlierTabGoesToTheLastTabNotTheNeighbour) {
    auto a = manager.openDocument(open("a.pdf"));
    auto b = manager.openDocument(open("b.pdf"));
    auto c = manager.openDocument(open("c.pdf"));
    manager.activate(*a);
    ASSERT_EQ(manager.activeTab(), a);

    manager.closeTab(*a);
    EXPECT_EQ(manager.activeTab(), c);
    EXPECT_EQ(ids(), (std::vector<Uuid>{b->id, c->id}));
}

TEST_F(TabManagerTest, ClosingTheOnlyTabLeavesNothingActive) {
    EXPECT_EQ(manager.activeTab(), nullptr);
    auto only = manager.openDocument(open("a.pdf"));
    manager.closeTab(*only);
    EXPECT_TRUE(manager.tabs.get().empty());
    EXPECT_FALSE(manager.activeTabID.get().has_value());
    EXPECT_EQ(manager.activeTab(), nullptr);
}

TEST_F(TabManagerTest, ClosingATabHeldOnlyByTheListIsSafe) {
    manager.openDocument(open("a.pdf"));
    manager.openDocument(open("b.pdf"));
    // The reference dies inside closeTab when the list lets go of its tab.
    manager.closeTab(*manager.tabs.get().back());
    ASSERT_EQ(manager.tabs.get().size(), 1u);
    EXPECT_EQ(manager.activeTab(), manager.tabs.get().front());
}

TEST_F(TabManagerTest, ClosingATabThatIsNotOpenChangesNothing) {
    auto a = manager.openDocument(open("a.pdf"));
    TabSession stranger(open("b.pdf"));
    int closed = 0;
    manager.setDocumentClosedHandler([&](const PDFDocument&) { ++closed; });
    manager.closeTab(stranger);
    EXPECT_EQ(ids(), std::vector<Uuid>{a->id});
    EXPECT_EQ(manager.activeTab(), a);
    EXPECT_EQ(closed, 0);
}

TEST_F(TabManagerTest, TheSameFileTwiceGivesTwoTabsWithTheirOwnDocuments) {
    auto first = manager.openDocument(open("a.pdf"));
    auto second = manager.openDocument(open("a.pdf"));
    EXPECT_NE(first->id, second->id);
    EXPECT_NE(first->document->id, second->document->id);
    EXPECT_EQ(manager.tabs.get().size(), 2u);
    EXPECT_EQ(manager.activeTab(), second);
}

TEST_F(TabManagerTest, ActivatingTheActiveTabDoesNotNotify) {
    auto a = manager.openDocument(open("a.pdf"));
    auto b = manager.openDocument(open("b.pdf"));
    std::vector<std::optional<Uuid>> seen;
    auto token = manager.activeTabID.observe([&](const auto& id) { seen.push_back(id); });

    manager.activate(*b);
    EXPECT_TRUE(seen.empty());
    manager.activate(*a);
    manager.activate(*a);
    EXPECT_EQ(seen, std::vector<std::optional<Uuid>>{a->id});
}

TEST_F(TabManagerTest, OpeningNotifiesTheListAndThenTheActiveTab) {
    std::vector<std::string> events;
    auto t1 = manager.tabs.observe(
        [&](const auto& list) { events.push_back("tabs " + std::to_string(list.size())); });
    auto t2 = manager.activeTabID.observe([&](const auto& id) {
        // By the time the active id changes the new tab is already in the list.
        events.push_back(manager.activeTab() && manager.activeTab()->id == *id ? "active ok"
                                                                               : "active dangling");
    });
    manager.openDocument(open("a.pdf"));
    EXPECT_EQ(events, (std::vector<std::string>{"tabs 1", "active ok"}));
}

TEST_F(TabManagerTest, AnnotationsComeFromTheLoaderOrStayEmpty) {
    const auto path = fx::writePdf(fx::everyAnnotationDocument(), dir / "marked.pdf");
    auto unloaded = manager.openDocument(bridge.open(path));
    EXPECT_TRUE(unloaded->annotations.get().empty());

    std::vector<const PDFDocument*> asked;
    manager.setAnnotationLoader([&](const PDFDocument& document) {
        asked.push_back(&document);
        return AnnotationService::records(document);
    });
    auto loaded = manager.openDocument(bridge.open(path));
    EXPECT_EQ(asked, std::vector<const PDFDocument*>{loaded->document.get()});
    EXPECT_EQ(loaded->annotations.get().size(),
              AnnotationService::records(*loaded->document).size());
    EXPECT_FALSE(loaded->annotations.get().empty());
}

TEST_F(TabManagerTest, DocumentClosedIsToldOnlyWhenTheLastTabHoldingItCloses) {
    std::vector<Uuid> closed;
    manager.setDocumentClosedHandler(
        [&](const PDFDocument& document) { closed.push_back(document.id); });
    auto shared = open("a.pdf");
    auto other = open("b.pdf");
    auto first = manager.openDocument(shared);
    auto second = manager.openDocument(shared);
    auto third = manager.openDocument(other);

    manager.closeTab(*first);
    EXPECT_TRUE(closed.empty());
    manager.closeTab(*third);
    EXPECT_EQ(closed, std::vector<Uuid>{other->id});
    manager.closeTab(*second);
    EXPECT_EQ(closed, (std::vector<Uuid>{other->id, shared->id}));

    // A second close of an already closed tab does not report its document again.
    manager.closeTab(*second);
    EXPECT_EQ(closed.size(), 2u);
}

TEST(TabSessionTest, StartsWithTheViewerDefaults) {
    fx::TempDir dir;
    PDFKitBridge bridge;
    TabSession tab(bridge.open(fx::writePdf(fx::textDocument(1), dir / "a.pdf")));
    EXPECT_FALSE(tab.id.isNil());
    EXPECT_EQ(tab.currentPage.get(), 0);
    EXPECT_EQ(tab.zoom.get(), 1.0);
    EXPECT_EQ(tab.layout.get(), LayoutMode::continuous);
    EXPECT_FALSE(tab.renderedImage.get().has_value());
    EXPECT_FALSE(tab.errorMessage.get().has_value());
    EXPECT_FALSE(tab.isPageLoading.get());
    EXPECT_TRUE(tab.annotations.get().empty());
    EXPECT_TRUE(tab.searchResults.get().empty());
    EXPECT_THROW(TabSession(nullptr), std::invalid_argument);
}

TEST(TabSessionTest, ZoomStepsStayWithinBounds) {
    fx::TempDir dir;
    PDFKitBridge bridge;
    TabSession tab(bridge.open(fx::writePdf(fx::textDocument(1), dir / "a.pdf")));

    tab.zoom = 3.9;
    tab.zoomIn();
    EXPECT_EQ(tab.zoom.get(), 4.0);
    tab.zoomIn();
    EXPECT_EQ(tab.zoom.get(), 4.0);

    tab.zoom = 0.3;
    tab.zoomOut();
    EXPECT_EQ(tab.zoom.get(), 0.25);
    tab.zoomOut();
    EXPECT_EQ(tab.zoom.get(), 0.25);

    tab.zoomToFit();
    EXPECT_EQ(tab.zoom.get(), 1.0);
    for (int i = 0; i < 12; ++i) {
        tab.zoomIn();
    }
    EXPECT_EQ(tab.zoom.get(), 4.0);
    tab.zoomToFit();
    EXPECT_EQ(tab.zoom.get(), 1.0);
}

} // namespace
} // namespace ombrix
