#include "core/EventBus.h"
#include "search/SearchResult.h"
#include "support/AppHarness.h"

#include <gtest/gtest.h>

namespace {

using namespace ombrix;
namespace fx = ombrix::testing;

// Every published SearchCompletedEvent, with what the tab held when it arrived.
struct EventLog {
    struct Seen {
        SearchCompletedEvent event;
        std::size_t resultsInTab;
    };
    std::vector<Seen> seen;
    Cancellable token;
};

std::unique_ptr<EventLog> listen(fx::AppHarness& h) {
    auto log = std::make_unique<EventLog>();
    log->token = h.app().eventBus()->subscribe<SearchCompletedEvent>(
        [&h, log = log.get()](const SearchCompletedEvent& e) {
            log->seen.push_back({e, h.activeTab()->searchResults.get().size()});
        });
    return log;
}

TEST(SearchHandlerTest, PublishesFirstThenWritesTheResultsIntoTheTabOnTheMainQueue) {
    fx::AppHarness h;
    auto tab = h.open(h.pdf(fx::textDocument(4), "four.pdf"));
    auto events = listen(h);
    tab->currentPage = 3;

    h.dispatch(ActionID::editFind, {{"query", std::string("ALPHA")}}, "SearchBar");
    ASSERT_EQ(events->seen.size(), 1u);
    EXPECT_EQ(events->seen[0].resultsInTab, 0u);
    EXPECT_TRUE(tab->searchResults.get().empty());
    EXPECT_EQ(tab->currentPage.get(), 3);
    const auto& event = events->seen[0].event;
    EXPECT_EQ(event.documentID, tab->document->id);
    EXPECT_EQ(event.timestamp(), h.clock->now());

    h.loop->runPending();
    const auto& results = tab->searchResults.get();
    EXPECT_EQ(results, event.results);
    // Two per page, in page order, in the document's own case.
    ASSERT_EQ(results.size(), 8u);
    for (std::size_t i = 0; i < results.size(); ++i) {
        EXPECT_EQ(results[i].pageIndex, int(i / 2));
        EXPECT_EQ(results[i].text, "alpha");
        EXPECT_GT(results[i].bounds.width, 0);
    }
    EXPECT_EQ(tab->currentPage.get(), 0);
}

TEST(SearchHandlerTest, AnOccurrenceAcrossAPageBreakGivesOneResultOnEachPage) {
    fx::AppHarness h;
    auto tab = h.open(h.pdf(fx::pageBreakDocument(), "break.pdf"));
    h.dispatch(ActionID::editFind, {{"query", std::string("Brown Fox")}});
    h.loop->runPending();
    const auto& results = tab->searchResults.get();
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0].pageIndex, 0);
    EXPECT_EQ(results[1].pageIndex, 1);
    EXPECT_NE(results[0].bounds, results[1].bounds);
}

TEST(SearchHandlerTest, AnEmptyOrMissingQuerySearchesNothingAndPublishesNothing) {
    fx::AppHarness h;
    auto tab = h.open(h.pdf(fx::textDocument(2), "two.pdf"));
    auto events = listen(h);
    const std::size_t queued = h.loop->pendingCount();
    h.dispatch(ActionID::editFind, {{"query", std::string()}});
    h.dispatch(ActionID::editFind);
    h.dispatch(ActionID::editFind, {{"text", std::string("alpha")}});
    EXPECT_TRUE(events->seen.empty());
    EXPECT_EQ(h.loop->pendingCount(), queued);
}

TEST(SearchHandlerTest, ATabClosedBeforeTheWriteBackIsLeftAlone) {
    fx::AppHarness h;
    auto tab = h.open(h.pdf(fx::textDocument(2), "two.pdf"));
    h.dispatch(ActionID::editFind, {{"query", std::string("beta")}});
    std::weak_ptr<TabSession> weak = tab;
    h.app().tabManager()->closeTab(*tab);
    tab.reset();
    EXPECT_TRUE(weak.expired());
    EXPECT_NO_THROW(h.loop->runPending());
}

} // namespace
