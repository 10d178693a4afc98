// A search in the window on a long document, on the offscreen platform: the longest the
// GUI thread was kept from its event loop while the search ran, the time to the first
// result in the list and to the end, next to the same search run on the GUI thread (how
// long that would have frozen the window).
//
//   ombrix_search_stall_bench FILE [QUERY...]

#include "QtBenchSupport.h"
#include "app/AppContainer.h"
#include "contracts/ContractRegistry.h"
#include "core/LogSink.h"
#include "search/SearchService.h"
#include "support/TempDir.h"
#include "tabs/TabManager.h"
#include "tabs/TabSession.h"
#include "ui/platform/QtMainQueue.h"
#include "ui/window/BackgroundSearch.h"
#include "ui/window/MainWindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

using namespace ombrix;
using ombrix::bench::spinUntil;
using ombrix::bench::StallProbe;

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: ombrix_search_stall_bench FILE [QUERY...]\n");
        return 2;
    }
    std::vector<std::string> queries;
    for (int i = 2; i < argc; ++i) {
        queries.emplace_back(argv[i]);
    }
    if (queries.empty()) {
        queries = {"the", "configuration options", "Page 2000"};
    }

    testing::TempDir dir;
    AppContainer::Options options;
    options.logSink = std::make_shared<MemorySink>(false);
    options.preferencesFile = dir / "preferences.json";
    options.supportDirectory = dir / "support";
    options.mainQueue = ui::QtMainQueue::install();
    AppContainer app(std::move(options));
    app.bootstrap();
    ui::MainWindow window(app);
    window.resize(1400, 900);
    window.show();
    window.state().showSearch = true;

    window.openFile(argv[1]);
    if (!spinUntil([&] { return app.tabManager()->activeTab() != nullptr; }, 120000)) {
        std::fprintf(stderr, "cannot open %s\n", argv[1]);
        return 1;
    }
    auto tab = app.tabManager()->activeTab();
    spinUntil([] { return false; }, 1500); // first pages drawn
    std::printf("%s: %lld pages\n\n", argv[1], static_cast<long long>(tab->document->pageCount));
    // What the machine itself does to the event loop, with no search running.
    StallProbe idle(2);
    spinUntil([] { return false; }, 3000);
    std::printf("idle event loop, 3 s: longest stall %.1f ms\n\n", idle.worstMs());
    std::printf("%-24s %9s %11s %11s %13s %15s\n", "query", "results", "first (ms)", "whole (ms)",
                "stall (ms)", "on GUI (ms)");

    for (const std::string& query : queries) {
        // The same search on the calling thread: what a search in a handler would freeze.
        QElapsedTimer blocking;
        blocking.start();
        const auto whole = SearchService().search(query, *tab->document);
        const double onGui = blocking.nsecsElapsed() / 1e6;

        StallProbe probe(2);
        QElapsedTimer clock;
        clock.start();
        double first = -1;
        app.registry().dispatch(ActionID::editFind, "SearchBar", {{"query", query}});
        spinUntil(
            [&] {
                if (first < 0 && !tab->searchResults().empty()) {
                    first = clock.nsecsElapsed() / 1e6;
                }
                return !window.backgroundSearch()->running();
            },
            600000);
        const double total = clock.nsecsElapsed() / 1e6;
        const double stall = probe.worstMs();
        std::printf("%-24s %9zu %11.1f %11.1f %13.1f %15.1f%s\n", query.c_str(),
                    tab->searchResults().size(), first, total, stall, onGui,
                    tab->searchResults().size() == whole.size() ? "" : "  (counts differ!)");
    }
    // Going to a far page as the first result does, without a search.
    for (int page : {1200, 300}) {
        StallProbe jump(2);
        tab->currentPage = page;
        spinUntil([] { return false; }, 1500);
        std::printf("%-24s %61.1f\n", ("go to page " + std::to_string(page + 1)).c_str(),
                    jump.worstMs());
    }
    std::printf("\nstall: the longest the event loop waited during the search (target < 50 ms);\n"
                "on GUI: the same search run on the GUI thread, which would freeze the window\n"
                "that long.\n");
    return 0;
}
