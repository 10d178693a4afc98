// The table action pressed in the window's highlight sidebar, on the offscreen platform:
// the longest the GUI thread was kept from its event loop from the press until the
// result's web view has loaded and the alert was answered, and the time that took. Then
// what each GUI-thread step of delivering a result costs taken alone, to tell which one
// a long stall comes from.
//
//   ombrix_table_stall_bench [RUNS]

#include "QtBenchSupport.h"
#include "app/AppContainer.h"
#include "core/LogSink.h"
#include "document/PDFKitBridge.h"
#include "extraction/BacklinkHighlightManager.h"
#include "extraction/HighlightRegionActions.h"
#include "support/Fixtures.h"
#include "support/TempDir.h"
#include "tabs/TabManager.h"
#include "tabs/TabSession.h"
#include "ui/platform/QtMainQueue.h"
#include "ui/platform/QtUserInteraction.h"
#include "ui/sidebar/HTMLRenderView.h"
#include "ui/sidebar/HighlightPanel.h"
#include "ui/sidebar/HighlightRow.h"
#include "ui/sidebar/HighlightSidebar.h"
#include "ui/web/WebViews.h"
#include "ui/window/MainWindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace ombrix;
using ombrix::bench::spinUntil;
using ombrix::bench::StallProbe;

namespace {

const Rect kTableArea{60, 570, 420, 150};

double msSince(const QElapsedTimer& clock) {
    return clock.nsecsElapsed() / 1e6;
}

template <typename Step> double timed(Step&& step) {
    QElapsedTimer clock;
    clock.start();
    step();
    return msSince(clock);
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1"); // root, no GPU: never in the program itself
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--no-sandbox --disable-gpu");
    // The build tree's web module, which the program would find beside itself.
    if (qEnvironmentVariableIsEmpty(ui::WebViews::kModuleVariable)) {
        qputenv(ui::WebViews::kModuleVariable, OMBRIX_WEB_MODULE_PATH);
    }
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication application(argc, argv);
    if (!ui::WebViews::factory()) {
        std::fprintf(stderr, "ombrix_table_stall_bench: %s\n",
                     qPrintable(ui::WebViews::loadError()));
        return 1;
    }
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;

    testing::TempDir dir;
    testing::FixtureDocument doc = testing::tableDocument();
    testing::FixtureAnnotation highlight;
    highlight.subtype = "Highlight";
    highlight.rect = kTableArea;
    highlight.color = Color::rgb(255, 208, 0);
    doc.pages[0].annotations.push_back(highlight);
    const auto file = testing::writePdf(doc, dir / "Report.pdf");

    AppContainer::Options options;
    options.logSink = std::make_shared<MemorySink>(false);
    options.preferencesFile = dir / "preferences.json";
    options.supportDirectory = dir / "support";
    options.mainQueue = ui::QtMainQueue::install();
    auto user = std::make_shared<ui::QtUserInteraction>();
    options.userInteraction = user;
    AppContainer app(std::move(options));
    app.bootstrap();
    ui::MainWindow window(app);
    window.resize(1400, 900);
    window.show();
    window.state().showSidebar = true;
    window.openFile(file.string());
    if (!spinUntil([&] { return app.tabManager()->activeTab() != nullptr; })) {
        std::fprintf(stderr, "cannot open the fixture\n");
        return 1;
    }
    auto tab = app.tabManager()->activeTab();
    ui::HighlightSidebar* sidebar = nullptr;
    std::shared_ptr<BacklinkHighlightManager> manager;
    spinUntil([&] {
        auto* panel = window.findChild<ui::HighlightPanel*>();
        sidebar = panel ? panel->sidebar() : nullptr;
        manager = panel ? panel->manager() : nullptr;
        return sidebar && !sidebar->rows().empty();
    });
    if (!sidebar || sidebar->rows().empty()) {
        std::fprintf(stderr, "no highlight sidebar\n");
        return 1;
    }
    // The person at the screen answers each alert a moment after it shows.
    int alerts = 0;
    QTimer person;
    QObject::connect(&person, &QTimer::timeout, [&] {
        if (auto* modal = QApplication::activeModalWidget()) {
            ++alerts;
            modal->close();
        }
    });
    person.start(30);
    spinUntil([] { return false; }, 2000); // first page drawn, web engine warmed up

    StallProbe idle(2);
    spinUntil([] { return false; }, 2000);
    std::printf("idle event loop, 2 s: longest stall %.1f ms\n\n", idle.worstMs());
    std::printf("%-6s %12s %12s %10s  %s\n", "run", "stall (ms)", "done (ms)", "result",
                "waits of 12 ms or more: length@time, w = worker running, r = result in");
    std::vector<double> stalls;
    for (int run = 1; run <= runs; ++run) {
        // A fresh row each time: the first result of a row makes its web view.
        auto entry = sidebar->rows().front()->highlight();
        entry.resultData.reset();
        manager->updateHighlight(entry);
        spinUntil([] { return false; }, 300);
        const int alertsBefore = alerts;
        StallProbe probe(2);
        QElapsedTimer clock;
        clock.start();
        // When the long waits came: before the result reached the GUI thread, or after.
        std::string timeline;
        double resultAt = -1;
        QElapsedTimer beat;
        beat.start();
        QTimer watch;
        watch.setTimerType(Qt::PreciseTimer);
        QObject::connect(&watch, &QTimer::timeout, [&] {
            const double late = beat.nsecsElapsed() / 1e6 - 2;
            beat.restart();
            if (resultAt < 0 && !sidebar->actions().extractingID.get()) {
                resultAt = msSince(clock);
            }
            if (late >= 12) {
                char note[64];
                std::snprintf(note, sizeof note, " %.0f@%.0f%s", late, msSince(clock),
                              resultAt < 0 ? "w" : "r");
                timeline += note;
            }
        });
        watch.start(2);
        const double press = timed([&] { sidebar->rows().front()->tableButton()->click(); });
        char pressNote[48];
        std::snprintf(pressNote, sizeof pressNote, " press %.0f;", press);
        timeline += pressNote;
        spinUntil([&] {
            auto* row = sidebar->rows().front();
            return !sidebar->actions().extractingID.get() && alerts > alertsBefore &&
                   row->resultView() && row->resultView()->isLoaded();
        });
        const double done = msSince(clock);
        spinUntil([] { return false; }, 200); // whatever the result set off afterwards
        watch.stop();
        stalls.push_back(probe.worstMs());
        std::printf("%-6d %12.1f %12.1f %10.1f  %s\n", run, probe.worstMs(), done, resultAt,
                    timeline.c_str());
    }
    std::sort(stalls.begin(), stalls.end());
    std::printf("median stall %.1f ms, worst %.1f ms (target: at most 50 ms)\n\n",
                stalls[stalls.size() / 2], stalls.back());

    // The GUI-thread steps of delivering a result, each alone.
    auto entry = sidebar->rows().front()->highlight();
    const std::string html = entry.resultData.value_or("<table><tr><td>x</td></tr></table>");
    entry.resultData.reset();
    manager->updateHighlight(entry);
    spinUntil([] { return false; }, 300);
    entry.resultData = html;
    std::printf("%-44s %8.1f ms\n", "clipboard (HTML and text)",
                timed([&] { user->copyToClipboard(html, html); }));
    std::printf("%-44s %8.1f ms\n", "write into the annotation",
                timed([&] { manager->saveToAnnotation(entry, *tab); }));
    std::printf("%-44s %8.1f ms\n", "list update, row and its new web view",
                timed([&] { manager->updateHighlight(entry); }));
    std::printf("%-44s %8.1f ms\n", "alert shown (until it runs its own loop)", timed([&] {
                    QTimer::singleShot(0, [] {
                        if (auto* modal = QApplication::activeModalWidget()) {
                            modal->close();
                        }
                    });
                    user->showAlert("Table Extracted", "A table.", AlertStyle::informational);
                }));
    return 0;
}
