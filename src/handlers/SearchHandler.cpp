#include "handlers/SearchHandler.h"

#include "core/EventBus.h"
#include "core/Executor.h"
#include "search/SearchService.h"
#include "tabs/TabManager.h"

namespace ombrix {

SearchHandler::SearchHandler(std::shared_ptr<TabManager> tabManager,
                             std::shared_ptr<SearchService> searchService,
                             std::shared_ptr<EventBus> eventBus,
                             std::shared_ptr<Executor> mainQueue, std::shared_ptr<Clock> clock)
    : tabManager_(std::move(tabManager)), searchService_(std::move(searchService)),
      eventBus_(std::move(eventBus)), mainQueue_(std::move(mainQueue)),
      clock_(clock ? std::move(clock) : systemClock()) {}

Outcome SearchHandler::handle(const DispatchContext& context) {
    if (context.action != ActionID::editFind) {
        return Outcome::done();
    }
    auto tab = tabManager_->activeTab();
    if (!tab) {
        return Outcome::done();
    }
    auto query = context.value<std::string>("query");
    if (!query || query->empty()) {
        return Outcome::done();
    }
    if (runner_) {
        runner_(tab, *query);
        return Outcome::done();
    }

    std::vector<SearchResult> results = searchService_->search(*query, *tab->document);

    // The tab may be closed before the job runs; then there is nothing to write into.
    Executor& queue = mainQueue_ ? *mainQueue_ : mainQueue();
    queue.post([weakTab = std::weak_ptr<TabSession>(tab), results] {
        auto tab = weakTab.lock();
        if (!tab) {
            return;
        }
        tab->searchResults = results;
        if (!results.empty()) {
            tab->currentPage = results.front().pageIndex;
        }
    });
    if (eventBus_) {
        eventBus_->publish(
            SearchCompletedEvent(tab->document->id, std::move(results), clock_->now()));
    }
    return Outcome::done();
}

} // namespace ombrix
