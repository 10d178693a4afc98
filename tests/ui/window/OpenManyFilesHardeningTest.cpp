// Thousands of files handed to the window at once (a second launch, the command line, a
// drop): those that cannot be opened are told in one alert, the others open, and the
// window lives on; prompts come one at a time, never one inside another.
#include "app/AppDelegate.h"
#include "support/AppHarness.h"
#include "tabs/TabManager.h"
#include "ui/platform/FileOpener.h"
#include "ui/platform/QtMainQueue.h"
#include "ui/platform/QtUserInteraction.h"
#include "ui/support/Person.h"
#include "ui/support/UiTestSupport.h"
#include "ui/window/MainWindow.h"

#include <QApplication>
#include <QDialog>
#include <QMimeData>
#include <QUrl>
#include <QtTest>

using namespace ombrix;
using namespace ombrix::testing;

namespace {

std::vector<std::filesystem::path> missingFiles(const std::filesystem::path& folder, int count) {
    std::vector<std::filesystem::path> files;
    for (int i = 0; i < count; ++i) {
        files.push_back(folder / ("missing-" + std::to_string(i) + ".pdf"));
    }
    return files;
}

// The most dialogs on screen at once while the event loop runs.
struct DialogWatch : QObject {
    DialogWatch() {
        connect(&timer, &QTimer::timeout, this, [this] {
            int shown = 0;
            for (QWidget* widget : QApplication::topLevelWidgets()) {
                shown += qobject_cast<QDialog*>(widget) && widget->isVisible();
            }
            most = std::max(most, shown);
        });
        timer.start(5);
    }
    QTimer timer;
    int most = 0;
};

} // namespace

class OpenManyFilesHardeningTest : public QObject {
    Q_OBJECT
private slots:
    void thousandsOfMissingFilesGiveOneAlertAndTheGoodOneOpens() {
        AppHarness harness;
        harness.app().bootstrap();
        ui::MainWindow window(harness.app());
        window.resize(1000, 700);
        window.show();
        const auto good = harness.pdf(textDocument(1), "good.pdf");
        auto files = missingFiles(harness.dir.path(), 2000);
        files.insert(files.begin() + 1000, good);

        // As a second launch or the command line hands them over.
        AppDelegate delegate(harness.app());
        delegate.applicationOpenURLs(files);
        const auto& tabs = harness.app().tabManager()->tabs;
        QVERIFY(uitest::waitUntil(
            [&] {
                harness.loop->runPending();
                return tabs().size() == 1 && window.fileOpener()->pending() == 0;
            },
            60000));
        harness.loop->runPending();
        QCOMPARE(harness.user->alerts().size(), std::size_t(1));
        const auto& alert = harness.user->alerts().front();
        QCOMPARE(alert.title, std::string("2000 files cannot be opened"));
        QVERIFY(alert.style == AlertStyle::warning);
        QVERIFY2(alert.message.starts_with("“missing-0.pdf” does not exist.\n“missing-1.pdf”"),
                 alert.message.c_str());
        QVERIFY(alert.message.ends_with("\n…and 1995 more."));
        QCOMPARE(std::count(alert.message.begin(), alert.message.end(), '\n'), 5);
        QCOMPARE(tabs().front()->document->name, std::string("good"));

        // A drop of many: one more alert, for those alone.
        QMimeData dropped;
        QList<QUrl> urls;
        for (const auto& file : missingFiles(harness.dir / "elsewhere", 300)) {
            urls.append(QUrl::fromLocalFile(QString::fromStdString(file.string())));
        }
        dropped.setUrls(urls);
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &dropped, Qt::LeftButton,
                              Qt::NoModifier);
        QCoreApplication::sendEvent(&window, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &dropped, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&window, &drop);
        QVERIFY(uitest::waitUntil(
            [&] {
                harness.loop->runPending();
                return window.fileOpener()->pending() == 0;
            },
            60000));
        harness.loop->runPending();
        QCOMPARE(harness.user->alerts().size(), std::size_t(2));
        QCOMPARE(harness.user->alerts().back().title, std::string("300 files cannot be opened"));
        QVERIFY(window.isVisible());
        QCOMPARE(tabs().size(), std::size_t(1));
    }

    void modalAlertsAndPromptsNeverNest() {
        setMainQueue(ui::QtMainQueue::install());
        TempDir dir;
        writeEncryptedPdf(dir / "locked-a.pdf", "secret");
        writeEncryptedPdf(dir / "locked-b.pdf", "secret");
        writePdf(textDocument(1), dir / "good.pdf");
        auto files = missingFiles(dir.path(), 2000);
        files.insert(files.begin() + 10, dir / "locked-a.pdf");
        files.insert(files.begin() + 20, dir / "good.pdf");
        files.push_back(dir / "locked-b.pdf");

        // Real message boxes and password dialogs, each with its own event loop.
        ui::QtUserInteraction user;
        uitest::Person person({QString("secret"), QString("secret")});
        DialogWatch watch;
        ui::FileOpener opener(
            user, Logging("com.ombrix.pdf", "test", std::make_shared<MemorySink>(true)));
        int finished = 0;
        int opened = 0;
        for (const auto& file : files) {
            opener.open(file, [&](std::shared_ptr<PDFDocument> document) {
                ++finished;
                opened += document != nullptr;
            });
        }
        QVERIFY(uitest::waitUntil(
            [&] { return finished == int(files.size()) && !QApplication::activeModalWidget(); },
            60000));
        QCOMPARE(opened, 3);
        QCOMPARE(person.prompts.size(), std::size_t(2));
        QCOMPARE(person.alerts.size(), std::size_t(1));
        QVERIFY2(person.alerts[0].startsWith("2000 files cannot be opened: "),
                 qPrintable(person.alerts[0]));
        QCOMPARE(watch.most, 1);
        setMainQueue(nullptr);
    }
};

QTEST_MAIN(OpenManyFilesHardeningTest)
#include "OpenManyFilesHardeningTest.moc"
