// The application's start: a start-up that fails is logged and ends the application.
#include "app/AppContainer.h"
#include "app/AppDelegate.h"
#include "core/LogSink.h"
#include "support/TempDir.h"
#include "ui/platform/QtMainQueue.h"
#include "ui/platform/QtUserInteraction.h"

#include <QApplication>
#include <QTimer>
#include <QtTest>
#include <algorithm>

using namespace ombrix;

class LaunchTest : public QObject {
    Q_OBJECT
private slots:
    void aFailingStartUpLogsLaunchFailedAndQuits() {
        testing::TempDir dir;
        auto sink = std::make_shared<MemorySink>(true);
        AppContainer::Options options;
        options.logSink = sink;
        options.preferencesFile = dir / "preferences.json";
        options.supportDirectory = dir / "support";
        options.userInteraction = std::make_shared<ui::QtUserInteraction>();
        options.mainQueue = ui::QtMainQueue::install();
        // One handler short: the contracts of the missing one fail validation.
        options.handlers = [](AppContainer& app) {
            auto handlers = app.defaultHandlers();
            handlers.pop_back();
            return handlers;
        };
        AppContainer app(std::move(options));
        AppDelegate delegate(app);

        QTimer::singleShot(0, [&] { delegate.applicationDidFinishLaunching(); });
        QTimer::singleShot(10000, [] { QCoreApplication::exit(99); }); // it never quit
        QCOMPARE(QApplication::exec(), 0);
        QVERIFY(!app.isBootstrapped());
        const auto lines = sink->lines();
        QVERIFY(std::any_of(lines.begin(), lines.end(), [](const std::string& line) {
            return line.find("Launch failed: ") != std::string::npos;
        }));
    }
};

QTEST_MAIN(LaunchTest)
#include "LaunchTest.moc"
