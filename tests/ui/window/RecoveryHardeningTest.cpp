// Unsaved edits outlive the end of a session: the real program, ended by SIGTERM as a
// logout ends it, leaves its journal and the file untouched, and the next start offers
// the edits back; the window's own choices (Don't Save, Discard, Restore) act on it.
#include "annotations/AppUndoManager.h"
#include "annotations/HighlightColor.h"
#include "annotations/MarkupController.h"
#include "document/BrainStore.h"
#include "document/PDFKitBridge.h"
#include "pdfkit/Document.h"
#include "support/AppHarness.h"
#include "tabs/RecoveryJournal.h"
#include "tabs/TabManager.h"
#include "ui/platform/DocumentQuestions.h"
#include "ui/support/UiTestSupport.h"
#include "ui/window/MainWindow.h"

#include <QProcess>
#include <QStandardPaths>
#include <QtTest>
#include <csignal>
#include <deque>
#include <fstream>

using namespace ombrix;
using namespace ombrix::testing;
using Unsaved = ui::DocumentQuestions::UnsavedAnswer;

namespace {

namespace fs = std::filesystem;

class ScriptedQuestions : public ui::DocumentQuestions {
public:
    std::deque<Unsaved> unsaved;
    UnsavedAnswer askUnsaved(const std::string&) override {
        if (unsaved.empty()) {
            return Unsaved::cancel;
        }
        const auto answer = unsaved.front();
        unsaved.pop_front();
        return answer;
    }
    ChangedOnDiskAnswer askChangedOnDisk(const std::string&) override {
        return ChangedOnDiskAnswer::cancel;
    }
    std::optional<fs::path> chooseCopyPath(const fs::path&) override { return std::nullopt; }
};

struct Fixture {
    Fixture() : questions(std::make_shared<ScriptedQuestions>()) { harness.app().bootstrap(); }
    void makeWindow() {
        window = std::make_unique<ui::MainWindow>(harness.app());
        window->setQuestions(questions);
        window->resize(1000, 700);
        window->show();
    }
    TabManager& tabs() const { return *harness.app().tabManager(); }
    bool wait(const std::function<bool()>& done, int ms = 10000) {
        return uitest::waitUntil(
            [&] {
                harness.loop->runPending();
                return done();
            },
            ms);
    }
    std::shared_ptr<TabSession> open(const fs::path& path) {
        const auto before = tabs().tabs().size();
        window->openFile(path);
        wait([&] { return tabs().tabs().size() > before; });
        return tabs().activeTab();
    }
    fs::path folder() const {
        return RecoveryJournal::folderIn(harness.app().brainStore()->directory());
    }
    std::size_t journals() const {
        std::error_code ec;
        if (!fs::exists(folder(), ec)) {
            return 0;
        }
        return static_cast<std::size_t>(
            std::distance(fs::directory_iterator(folder()), fs::directory_iterator()));
    }
    std::shared_ptr<pdfkit::Page> page(const TabSession& tab, int index = 0) const {
        return PDFKitBridge::engineDocument(*tab.document)->page(index);
    }
    void addNote(const std::shared_ptr<TabSession>& tab, const std::string& text) {
        harness.app().markupController()->addNote(tab, page(*tab), Point{300, 300}, text,
                                                  HighlightColor::defaults()[4].nsColor);
    }

    AppHarness harness;
    std::shared_ptr<ScriptedQuestions> questions;
    std::unique_ptr<ui::MainWindow> window;
};

bool hasNote(const pdfkit::Page& page, const std::string& text) {
    for (const auto& a : page.annotations()) {
        if (a->type() == "Text" && a->contents() == text) {
            return true;
        }
    }
    return false;
}

// A process of the test's own on the X display, ended with it.
struct Child {
    ~Child() {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
    }
    QProcess process;
};

bool runQuietly(const QString& program, const QStringList& args, const QProcessEnvironment& env,
                QString* out = nullptr) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    if (!p.waitForFinished(10000)) {
        p.kill();
        p.waitForFinished();
        return false;
    }
    if (out) {
        *out = QString::fromUtf8(p.readAllStandardOutput()).trimmed();
    }
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

} // namespace

class RecoveryHardeningTest : public QObject {
    Q_OBJECT
private slots:
    void aNoteTypedInTheRealWindowOutlivesSigtermAndIsRestoredUnsaved() {
        for (const char* tool : {"Xvfb", "xdotool", "openbox"}) {
            if (QStandardPaths::findExecutable(tool).isEmpty()) {
                QSKIP(qPrintable(QString("needs %1 to drive the real window").arg(tool)));
            }
        }
        Fixture f;
        const fs::path file = f.harness.pdf(textDocument(1), "marked.pdf");
        const std::string opened = readBytes(file);

        // A display, a window manager, and the program with folders of its own: its
        // sidecars land where this test's window reads them.
        QString display;
        for (int n = 150; n < 200 && display.isEmpty(); ++n) {
            if (!fs::exists("/tmp/.X" + std::to_string(n) + "-lock") &&
                !fs::exists("/tmp/.X11-unix/X" + std::to_string(n))) {
                display = ":" + QString::number(n);
            }
        }
        QVERIFY(!display.isEmpty());
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", display);
        Child xvfb;
        xvfb.process.start(
            "Xvfb", {display, "-screen", "0", "1280x1024x24", "-nolisten", "tcp", "-noreset"});
        QVERIFY(uitest::waitUntil(
            [&] { return runQuietly("xdotool", {"getdisplaygeometry"}, env); }, 10000));
        const fs::path rc = f.harness.dir / "rc.xml";
        std::ofstream(rc) << "<?xml version=\"1.0\"?><openbox_config "
                             "xmlns=\"http://openbox.org/3.4/rc\"><mouse><context "
                             "name=\"Frame\"/></mouse><keyboard/></openbox_config>";
        Child wm;
        wm.process.setProcessEnvironment(env);
        wm.process.start("openbox", {"--config-file", QString::fromStdString(rc.string())});
        QTest::qWait(500);

        const auto support = f.harness.app().brainStore()->directory().parent_path().parent_path();
        auto appEnv = env;
        appEnv.insert("HOME", QString::fromStdString((f.harness.dir / "home").string()));
        appEnv.insert("XDG_DATA_HOME", QString::fromStdString(support.string()));
        appEnv.insert("XDG_CONFIG_HOME", QString::fromStdString((f.harness.dir / "cfg").string()));
        appEnv.insert("XDG_CACHE_HOME", QString::fromStdString((f.harness.dir / "cache").string()));
        const fs::path runtime = f.harness.dir / "run";
        fs::create_directories(runtime);
        fs::permissions(runtime, fs::perms::owner_all);
        appEnv.insert("XDG_RUNTIME_DIR", QString::fromStdString(runtime.string()));
        appEnv.insert("QT_QPA_PLATFORM", "xcb");
        // The window draws without OpenGL here; Mesa's software driver, unloaded at exit,
        // would leave the leak checker a buffer it cannot trace back to any library.
        appEnv.insert("QT_XCB_GL_INTEGRATION", "none");
        Child app;
        app.process.setProcessEnvironment(appEnv);
        app.process.setProcessChannelMode(QProcess::MergedChannels);
        app.process.start(OMBRIX_PDF_PATH,
                          {"--new-instance", QString::fromStdString(file.string())});
        QVERIFY(app.process.waitForStarted());
        const QString pid = QString::number(app.process.processId());
        QString window;
        QVERIFY(uitest::waitUntil(
            [&] {
                return runQuietly("xdotool", {"search", "--onlyvisible", "--pid", pid}, env,
                                  &window) &&
                       !window.isEmpty();
            },
            20000));
        window = window.split('\n').constFirst();
        runQuietly("xdotool", {"windowactivate", "--sync", window}, env);
        QTest::qWait(1500);

        // A note from the keyboard, its text typed where it opens, as a user makes one.
        const std::string text = "typed before the logout";
        QVERIFY(runQuietly("xdotool", {"key", "ctrl+shift+n"}, env));
        QTest::qWait(400);
        QVERIFY(
            runQuietly("xdotool", {"type", "--delay", "20", QString::fromStdString(text)}, env));
        QVERIFY(runQuietly("xdotool", {"key", "ctrl+Return"}, env));
        QVERIFY2(uitest::waitUntil([&] { return f.journals() == 1; }, 10000),
                 app.process.readAll().constData());
        QCOMPARE(readBytes(file), opened);

        // The logout: no question holds it up, the program ends cleanly.
        ::kill(static_cast<pid_t>(app.process.processId()), SIGTERM);
        QVERIFY2(app.process.waitForFinished(10000), "SIGTERM did not end the program");
        const QByteArray said = app.process.readAll();
        QVERIFY2(
            app.process.exitStatus() == QProcess::NormalExit && app.process.exitCode() == 0,
            qPrintable(
                QString("exit %1: %2").arg(app.process.exitCode()).arg(QString::fromUtf8(said))));
        QCOMPARE(f.journals(), std::size_t(1));
        QCOMPARE(readBytes(file), opened);

        // The next start, over the same folder: the question, Restore, and the note is
        // back, unsaved, one undo away from the file.
        f.harness.user->choiceAnswers = {UserInteraction::Choice::first};
        f.makeWindow();
        f.window->offerRecovery();
        QCOMPARE(f.harness.user->questions().size(), std::size_t(1));
        QCOMPARE(f.harness.user->questions()[0].title,
                 std::string("Restore unsaved changes to marked.pdf?"));
        QVERIFY(f.wait([&] {
            auto tab = f.tabs().activeTab();
            return tab && hasNote(*f.page(*tab), text);
        }));
        auto tab = f.tabs().activeTab();
        QVERIFY(tab->document->isDirty);
        QTRY_VERIFY_WITH_TIMEOUT(f.window->isWindowModified(), 2000);
        QCOMPARE(readBytes(file), opened);
        f.harness.app().undoManager()->undo();
        QVERIFY(f.page(*tab)->annotations().empty());
        QCOMPARE(f.journals(), std::size_t(0));
    }

    void theWindowsAnswersActOnTheJournal() {
        Fixture f;
        f.makeWindow();
        const fs::path first = f.harness.pdf(textDocument(1), "first.pdf");
        const fs::path second = f.harness.pdf(textDocument(1), "second.pdf");
        auto a = f.open(first);
        auto b = f.open(second);
        f.addNote(a, "kept in first");
        f.addNote(b, "kept in second");
        QCOMPARE(f.journals(), std::size_t(2));

        // Quitting: Cancel keeps the window and both journals; Don't Save for each
        // removes them.
        f.questions->unsaved = {Unsaved::cancel};
        QVERIFY(!f.window->close());
        QCOMPARE(f.journals(), std::size_t(2));
        f.questions->unsaved = {Unsaved::discard, Unsaved::discard};
        QVERIFY(f.window->close());
        QCOMPARE(f.journals(), std::size_t(0));

        // A fresh run: a journal left for a file already open is restored in place;
        // Discard deletes; an unanswered question asks again next time.
        f.addNote(a, "first again");
        f.addNote(b, "second again");
        f.window.reset();
        const auto survivors = f.journals();
        QCOMPARE(survivors, std::size_t(2));
        f.tabs().closeTab(*a); // a dirty tab closed by nobody: as at the end of a run
        f.tabs().closeTab(*b);

        f.makeWindow();
        auto reopened = f.open(first);
        QVERIFY(!hasNote(*f.page(*reopened), "first again"));
        f.harness.user->choiceAnswers = {};
        f.window->offerRecovery(); // dismissed, both
        QCOMPARE(f.harness.user->questions().size(), std::size_t(2));
        QCOMPARE(f.journals(), std::size_t(2));
        const bool firstIsOlder =
            f.harness.user->questions()[0].title.find("first") != std::string::npos;
        using Choice = UserInteraction::Choice;
        f.harness.user->choiceAnswers = firstIsOlder
                                            ? std::deque<Choice>{Choice::first, Choice::second}
                                            : std::deque<Choice>{Choice::second, Choice::first};
        f.window->offerRecovery();
        QCOMPARE(f.tabs().tabs().size(), std::size_t(1)); // restored in the open tab
        QVERIFY(hasNote(*f.page(*reopened), "first again"));
        QVERIFY(reopened->document->isDirty);
        QCOMPARE(f.journals(), std::size_t(1)); // the first's, now this run's; second's gone
        QVERIFY(f.window->recoveryJournal().pending().size() == 1);
        QCOMPARE(f.window->recoveryJournal().pending()[0].entry.path, fs::absolute(first));
    }
};

QTEST_MAIN(RecoveryHardeningTest)
#include "RecoveryHardeningTest.moc"
