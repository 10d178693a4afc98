#pragma once

#include "app/AppContainer.h"
#include "contracts/ContractRegistry.h"
#include "core/Clock.h"
#include "core/Executor.h"
#include "core/LogSink.h"
#include "core/RunLoop.h"
#include "core/UserInteraction.h"
#include "support/Fixtures.h"
#include "support/TempDir.h"
#include "tabs/TabManager.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace ombrix::testing {

// A fresh application container over real services, with its settings and sidecars in a
// temporary folder, log lines in memory, nobody at the screen, and a run loop on a
// manual clock as the main queue. Main thread only.
class AppHarness {
public:
    explicit AppHarness(AppContainer::Options options = {})
        : clock(std::make_shared<ManualClock>()), loop(std::make_shared<RunLoop>(clock)),
          sink(std::make_shared<MemorySink>(true)),
          user(std::make_shared<HeadlessUserInteraction>()) {
        setMainQueue(loop);
        options.logSink = sink;
        options.preferencesFile = dir / "config" / "preferences.json";
        options.supportDirectory = dir / "support";
        options.userInteraction = user;
        options.mainQueue = loop;
        options.clock = clock;
        container = std::make_unique<AppContainer>(std::move(options));
    }
    ~AppHarness() {
        container.reset();
        setMainQueue(nullptr);
    }
    AppHarness(const AppHarness&) = delete;
    AppHarness& operator=(const AppHarness&) = delete;

    AppContainer& app() const { return *container; }

    std::filesystem::path pdf(const FixtureDocument& document, const std::string& name) const {
        return writePdf(document, dir / name);
    }

    void dispatch(ActionID action, DispatchParams params = {}, const std::string& source = "Menu") {
        container->registry().dispatch(action, source, std::move(params));
    }

    // Bootstraps, then opens the file as the menu would with a chosen file.
    std::shared_ptr<TabSession> open(const std::filesystem::path& file) {
        container->bootstrap();
        dispatch(ActionID::docOpen, {{"url", file}});
        return container->tabManager()->activeTab();
    }

    std::shared_ptr<TabSession> activeTab() const { return container->tabManager()->activeTab(); }

    std::size_t countLines(const std::string& line) const {
        auto all = sink->lines();
        return static_cast<std::size_t>(std::count(all.begin(), all.end(), line));
    }
    bool logged(const std::string& line) const { return countLines(line) > 0; }

    TempDir dir;
    std::shared_ptr<ManualClock> clock;
    std::shared_ptr<RunLoop> loop;
    std::shared_ptr<MemorySink> sink;
    std::shared_ptr<HeadlessUserInteraction> user;
    std::unique_ptr<AppContainer> container;
};

} // namespace ombrix::testing
