#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "contracts/ActionHandler.h"
#include "core/Clock.h"

#include <functional>
#include <memory>

namespace ombrix {

class EventBus;
class Executor;
class SearchService;
class TabManager;
class TabSession;

// "search": finds the query in the active tab's document on the calling thread, tells the
// event bus at once, and writes the results into the tab in a main-queue job after that.
class SearchHandler final : public ActionHandler {
public:
    // A null main queue means the process main queue at the time of each search.
    SearchHandler(std::shared_ptr<TabManager> tabManager,
                  std::shared_ptr<SearchService> searchService, std::shared_ptr<EventBus> eventBus,
                  std::shared_ptr<Executor> mainQueue = nullptr,
                  std::shared_ptr<Clock> clock = systemClock());

    // Where a desktop app runs its searches (off the main thread, results as they come);
    // without one the search runs here and its results are posted to the main queue.
    using Runner = std::function<void(const std::shared_ptr<TabSession>&, const std::string&)>;
    void setRunner(Runner runner) { runner_ = std::move(runner); }

    std::string targetName() const override { return "search"; }
    Outcome handle(const DispatchContext& context) override;

    const std::shared_ptr<TabManager>& tabManager() const { return tabManager_; }
    const std::shared_ptr<SearchService>& searchService() const { return searchService_; }

private:
    std::shared_ptr<TabManager> tabManager_;
    std::shared_ptr<SearchService> searchService_;
    std::shared_ptr<EventBus> eventBus_;
    std::shared_ptr<Executor> mainQueue_;
    std::shared_ptr<Clock> clock_;
    Runner runner_;
};

} // namespace ombrix

OMBRIX_API_END
