#include "ui/window/SingleInstance.h"

#include "app/AppDelegate.h"
#include "support/AppHarness.h"
#include "tabs/TabManager.h"
#include "ui/support/InstanceLaunch.h"
#include "ui/support/UiTestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QUuid>
#include <QtTest>
#include <atomic>
#include <thread>

using namespace ombrix;
using ombrix::uitest::forwardFromAnotherLaunch;
using ombrix::uitest::freshInstanceName;
using namespace ombrix::testing;

class SingleInstanceTest : public QObject {
    Q_OBJECT
    QTemporaryDir runtime;

private slots:
    void initTestCase() {
        // The user's private runtime folder, which the sockets live in.
        QVERIFY(QFile::setPermissions(runtime.path(),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    }

    void filesOfASecondLaunchOpenAsTabsInOrder() {
        AppHarness harness;
        harness.app().bootstrap();
        AppDelegate delegate(harness.app());
        const auto first = harness.pdf(textDocument(1), "first.pdf");
        const auto second = harness.pdf(textDocument(2), "second.pdf");

        ui::SingleInstance running(freshInstanceName());
        std::vector<std::filesystem::path> received;
        QVERIFY(running.listen([&](const std::vector<std::filesystem::path>& files) {
            received = files;
            delegate.applicationOpenURLs(files);
        }));
        QVERIFY(forwardFromAnotherLaunch(running.serverName(), {first, second}));
        QCOMPARE(received.size(), std::size_t(2));
        QCOMPARE(received[0], first);

        harness.loop->runPending(); // the delegate opens each file in a job of its own
        const auto& tabs = harness.app().tabManager()->tabs();
        QCOMPARE(tabs.size(), std::size_t(2));
        QCOMPARE(tabs[0]->document->name, std::string("first"));
        QCOMPARE(tabs[1]->document->name, std::string("second"));
        QCOMPARE(harness.activeTab()->document->name, std::string("second"));

        // A launch without files only raises the window.
        received = {first};
        QVERIFY(forwardFromAnotherLaunch(running.serverName(), {}));
        QVERIFY(received.empty());
    }

    void withNoInstanceRunningTheLaunchRunsItselfEvenOverAStaleSocket() {
        const QString name = freshInstanceName();
        QVERIFY(!forwardFromAnotherLaunch(name, {"/tmp/a.pdf"}));

        // An instance that died leaves its socket file behind; the next one takes over.
        QFile stale(ui::SingleInstance(name).serverName());
        QVERIFY(stale.open(QIODevice::WriteOnly));
        stale.close();
        ui::SingleInstance next(name);
        QVERIFY(next.listen([](const auto&) {}));
        QVERIFY(forwardFromAnotherLaunch(name, {"/tmp/a.pdf"}));
    }
};

QTEST_MAIN(SingleInstanceTest)
#include "SingleInstanceTest.moc"
