// Opening, saving, closing and reopening documents in the window: the order files open
// in, unsaved changes, a file changed on disk, the place a document was left, Open
// Recent, dropped files and the contents panel.
#include "app/AppDelegate.h"
#include "document/BrainFingerprint.h"
#include "document/BrainStore.h"
#include "pdfkit/Document.h"
#include "support/AppHarness.h"
#include "tabs/TabManager.h"
#include "ui/platform/DocumentQuestions.h"
#include "ui/support/UiTestSupport.h"
#include "ui/window/ContentsPanel.h"
#include "ui/window/MainWindow.h"
#include "ui/window/TabContentView.h"
#include "ui/window/ViewStateStore.h"
#include "ui/window/WindowState.h"

#include <QMimeData>
#include <QStackedWidget>
#include <QTreeWidget>
#include <QUrl>
#include <QtTest>
#include <deque>
#include <fstream>
#include <thread>

using namespace ombrix;
using namespace ombrix::testing;
using Unsaved = ui::DocumentQuestions::UnsavedAnswer;
using OnDisk = ui::DocumentQuestions::ChangedOnDiskAnswer;

namespace {

// The person's answers, in turn; what was asked is noted.
class ScriptedQuestions : public ui::DocumentQuestions {
public:
    std::deque<Unsaved> unsaved;
    std::deque<OnDisk> onDisk;
    std::optional<std::filesystem::path> copyPath;
    std::vector<std::string> asked;

    UnsavedAnswer askUnsaved(const std::string& name) override {
        asked.push_back("unsaved " + name);
        return take(unsaved, Unsaved::cancel);
    }
    ChangedOnDiskAnswer askChangedOnDisk(const std::string& name) override {
        asked.push_back("changed " + name);
        return take(onDisk, OnDisk::cancel);
    }
    std::optional<std::filesystem::path> chooseCopyPath(const std::filesystem::path&) override {
        asked.push_back("copy path");
        return copyPath;
    }

private:
    template <typename T> static T take(std::deque<T>& answers, T otherwise) {
        if (answers.empty()) {
            return otherwise;
        }
        T answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

struct Fixture {
    Fixture() : questions(std::make_shared<ScriptedQuestions>()) {
        harness.app().bootstrap();
        makeWindow();
    }
    void makeWindow() {
        window = std::make_unique<ui::MainWindow>(harness.app());
        window->setQuestions(questions);
        window->resize(1000, 700);
        window->show();
    }
    TabManager& tabs() const { return *harness.app().tabManager(); }
    std::shared_ptr<TabSession> open(const std::filesystem::path& path) {
        const auto before = tabs().tabs().size();
        window->openFile(path);
        uitest::waitUntil([&] {
            harness.loop->runPending();
            return tabs().tabs().size() > before;
        });
        return tabs().activeTab();
    }
    void settle(int ms = 100) {
        uitest::waitUntil(
            [&] {
                harness.loop->runPending();
                return false;
            },
            ms);
    }

    AppHarness harness;
    std::shared_ptr<ScriptedQuestions> questions;
    std::unique_ptr<ui::MainWindow> window;
};

} // namespace

class DocumentLifeTest : public QObject {
    Q_OBJECT
private slots:
    void filesHandedOverOpenAsTabsInTheOrderGiven() {
        Fixture f;
        // The long one is asked for first and takes longest to parse.
        const auto big = f.harness.pdf(textDocument(400), "big.pdf");
        const auto small = f.harness.pdf(textDocument(1), "small.pdf");
        AppDelegate delegate(f.harness.app());
        delegate.applicationOpenURLs({big, small});
        QVERIFY(uitest::waitUntil(
            [&] {
                f.harness.loop->runPending();
                return f.tabs().tabs().size() == 2;
            },
            20000));
        QCOMPARE(f.tabs().tabs()[0]->document->name, std::string("big"));
        QCOMPARE(f.tabs().tabs()[1]->document->name, std::string("small"));
        // The sidecar is filed as for any opening.
        QVERIFY(std::filesystem::exists(
            *f.harness.app().brainStore()->fileFor(*BrainFingerprint::compute(big))));
        QCOMPARE(f.window->recentFiles().files(), std::vector<std::filesystem::path>({small, big}));
    }

    void theTitleFollowsTheActiveDocumentsUnsavedMark() {
        Fixture f;
        auto first = f.open(f.harness.pdf(textDocument(1), "first.pdf"));
        auto second = f.open(f.harness.pdf(textDocument(1), "second.pdf"));
        QVERIFY(!f.window->isWindowModified());

        // A worker's completion may mark the document: the mark still reaches the title.
        std::thread([&] { second->document->markDirty(); }).join();
        QTRY_VERIFY_WITH_TIMEOUT(f.window->isWindowModified(), 2000);
        second->document->markClean();
        QTRY_VERIFY_WITH_TIMEOUT(!f.window->isWindowModified(), 2000);

        // Only the shown document counts, and switching tabs follows the other one's flag.
        first->document->markDirty();
        f.settle(50);
        QVERIFY(!f.window->isWindowModified());
        f.tabs().activate(*first);
        QTRY_VERIFY_WITH_TIMEOUT(f.window->isWindowModified(), 2000);
        f.tabs().activate(*second);
        QTRY_VERIFY_WITH_TIMEOUT(!f.window->isWindowModified(), 2000);
        first->document->markClean();
    }

    void unsavedChangesAskBeforeATabCloses() {
        Fixture f;
        auto tab = f.open(f.harness.pdf(textDocument(2), "notes.pdf"));
        f.window->closeTab(tab); // clean: no question
        QVERIFY(f.questions->asked.empty());
        QVERIFY(f.tabs().tabs().empty());

        tab = f.open(f.harness.pdf(textDocument(2), "notes.pdf"));
        tab->document->markDirty();
        f.settle(400);
        QVERIFY(f.window->isWindowModified());

        f.questions->unsaved = {Unsaved::cancel};
        QVERIFY(!f.window->closeTab(tab));
        QCOMPARE(f.tabs().tabs().size(), std::size_t(1));
        QCOMPARE(f.questions->asked, std::vector<std::string>({"unsaved notes"}));

        // Save writes the file, then the tab goes.
        const auto before = std::filesystem::last_write_time(tab->document->url);
        f.questions->unsaved = {Unsaved::save};
        QVERIFY(f.window->closeTab(tab));
        QVERIFY(f.tabs().tabs().empty());
        QVERIFY(!tab->document->isDirty);
        QVERIFY(std::filesystem::last_write_time(tab->document->url) != before);

        tab = f.open(f.harness.pdf(textDocument(2), "scratch.pdf"));
        tab->document->markDirty();
        f.questions->unsaved = {Unsaved::discard};
        QVERIFY(f.window->closeTab(tab));
        QVERIFY(f.tabs().tabs().empty());
    }

    void quittingAsksForEachUnsavedTabAndCancelKeepsTheWindow() {
        Fixture f;
        auto first = f.open(f.harness.pdf(textDocument(1), "one.pdf"));
        f.open(f.harness.pdf(textDocument(1), "two.pdf"));
        auto third = f.open(f.harness.pdf(textDocument(1), "three.pdf"));
        first->document->markDirty();
        third->document->markDirty();

        f.questions->unsaved = {Unsaved::discard, Unsaved::cancel};
        QVERIFY(!f.window->close());
        QVERIFY(f.window->isVisible());
        QCOMPARE(f.questions->asked, std::vector<std::string>({"unsaved one", "unsaved three"}));
        QCOMPARE(f.tabs().activeTab(), third); // the tab asked about is shown

        f.questions->asked.clear();
        f.questions->unsaved = {Unsaved::discard, Unsaved::discard};
        QVERIFY(f.window->close());
        QCOMPARE(f.questions->asked.size(), std::size_t(2));
    }

    void aSaveOverAFileChangedOnDiskAsksToReloadOrSaveACopy() {
        Fixture f;
        const auto path = f.harness.pdf(textDocument(3), "shared.pdf");
        auto tab = f.open(path);
        tab->document->markDirty();
        // Another program writes the file meanwhile.
        const auto theirs = std::filesystem::last_write_time(path) + std::chrono::seconds(5);
        std::filesystem::last_write_time(path, theirs);

        // Cancel: nothing written, the changes stay unsaved.
        QVERIFY(!f.window->save(tab));
        QCOMPARE(f.questions->asked, std::vector<std::string>({"changed shared"}));
        QVERIFY(tab->document->isDirty);
        QCOMPARE(std::filesystem::last_write_time(path), theirs);

        // A copy: written elsewhere, the other program's file untouched.
        const auto copy = f.harness.dir / "shared copy.pdf";
        f.questions->onDisk = {OnDisk::saveCopy};
        f.questions->copyPath = copy;
        QVERIFY(f.window->save(tab));
        QVERIFY(!tab->document->isDirty);
        QCOMPARE(std::filesystem::last_write_time(path), theirs);
        auto reopened = pdfkit::Document::open(copy);
        QVERIFY(reopened);
        QCOMPARE(reopened->pageCount(), 3);

        // A copy over the changed file itself is refused.
        tab->document->markDirty();
        f.questions->onDisk = {OnDisk::saveCopy};
        f.questions->copyPath = path;
        QVERIFY(!f.window->save(tab));
        QCOMPARE(std::filesystem::last_write_time(path), theirs);
        QVERIFY(!f.harness.user->alerts().empty());

        // Reload: the tab is the file as it is now, at the same page.
        tab->currentPage = 2;
        f.questions->onDisk = {OnDisk::reload};
        QVERIFY(!f.window->save(tab));
        QVERIFY(uitest::waitUntil([&] {
            f.harness.loop->runPending();
            auto now = f.tabs().activeTab();
            return now && now != tab;
        }));
        auto fresh = f.tabs().activeTab();
        QCOMPARE(f.tabs().tabs().size(), std::size_t(1));
        QVERIFY(!fresh->document->isDirty);
        QCOMPARE(fresh->currentPage(), 2);
    }

    void aDocumentReopensWhereItWasLeft() {
        Fixture f;
        const auto path = f.harness.pdf(textDocument(6), "manual.pdf");
        auto tab = f.open(path);
        f.settle();
        tab->layout = LayoutMode::single;
        tab->zoom = 1.75;
        tab->currentPage = 4;
        QVERIFY(f.window->closeTab(tab));

        tab = f.open(path);
        f.settle();
        QCOMPARE(tab->currentPage(), 4);
        QCOMPARE(tab->zoom(), 1.75);
        QCOMPARE(tab->layout(), LayoutMode::single);

        // A damaged state file is as good as none; a page past the end is not used.
        QVERIFY(f.window->closeTab(tab));
        ui::ViewStateStore store(f.harness.app().brainStore()->directory());
        QVERIFY(!store.fileFor("a/b"));
        const auto fingerprint = *BrainFingerprint::compute(path);
        QCOMPARE(*store.load(fingerprint), (ui::ViewState{4, 1.75, LayoutMode::single}));
        std::ofstream(*store.fileFor(fingerprint)) << "{\"page\": 2, \"zoom\": 1e308";
        QVERIFY(!store.load(fingerprint));
        store.save(fingerprint, ui::ViewState{99, 1.0, LayoutMode::continuous});
        tab = f.open(path);
        f.settle();
        QCOMPARE(tab->currentPage(), 0);
    }

    void openRecentKeepsTheLastTenNewestFirst() {
        Fixture f;
        std::vector<std::filesystem::path> files;
        for (int i = 0; i < 12; ++i) {
            files.push_back(f.harness.pdf(textDocument(1), "f" + std::to_string(i) + ".pdf"));
        }
        ui::RecentFiles recent(f.harness.dir / "recent.json");
        for (const auto& file : files) {
            recent.add(file);
        }
        recent.add(files[5]); // again: moves to the top, once
        QCOMPARE(recent.files().size(), std::size_t(10));
        QCOMPARE(recent.files()[0], files[5]);
        QCOMPARE(recent.files()[1], files[11]);
        QCOMPARE(std::count(recent.files().begin(), recent.files().end(), files[5]), 1);
        // Read back as written.
        QCOMPARE(ui::RecentFiles(f.harness.dir / "recent.json").files(), recent.files());
    }

    void droppedPdfFilesOpenAndOtherFilesAreRefused() {
        Fixture f;
        const auto pdf = f.harness.pdf(textDocument(1), "dropped.pdf");
        const auto text = f.harness.dir / "notes.txt";
        std::ofstream(text) << "not a PDF";

        QMimeData onlyText;
        onlyText.setUrls({QUrl::fromLocalFile(QString::fromStdString(text.string()))});
        QDragEnterEvent refused(QPoint(10, 10), Qt::CopyAction, &onlyText, Qt::LeftButton,
                                Qt::NoModifier);
        QCoreApplication::sendEvent(f.window.get(), &refused);
        QVERIFY(!refused.isAccepted());

        QMimeData both;
        both.setUrls({QUrl::fromLocalFile(QString::fromStdString(text.string())),
                      QUrl::fromLocalFile(QString::fromStdString(pdf.string()))});
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &both, Qt::LeftButton,
                              Qt::NoModifier);
        QCoreApplication::sendEvent(f.window.get(), &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &both, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(f.window.get(), &drop);
        QVERIFY(uitest::waitUntil([&] {
            f.harness.loop->runPending();
            return f.tabs().tabs().size() == 1;
        }));
        QCOMPARE(f.tabs().activeTab()->document->name, std::string("dropped"));
    }

    void theContentsPanelShowsTheOutlineAndGoesToAnEntry() {
        Fixture f;
        f.window->state().showContents = true;
        auto tab = f.open(f.harness.pdf(linkedDocument(), "linked.pdf"));
        auto* panel = f.window->content()->contentsPanel();
        QVERIFY(uitest::waitUntil([&] { return panel->loaded(); }));
        QVERIFY(panel->isVisible());
        QTreeWidget* tree = panel->tree();
        QCOMPARE(tree->topLevelItemCount(), 3);
        QCOMPARE(tree->topLevelItem(0)->text(0), QString("Chapter 1"));
        QCOMPARE(tree->topLevelItem(0)->child(0)->text(0), QString("Section 1.1"));
        QCOMPARE(tree->topLevelItem(2)->text(0), QString("Website"));

        panel->choose(tree->topLevelItem(1)); // Chapter 2, page 3
        QCOMPARE(tab->currentPage(), 2);
        panel->choose(tree->topLevelItem(0)->child(0));
        QCOMPARE(tab->currentPage(), 1);
        panel->choose(tree->topLevelItem(2)); // a web address is no place in the document
        QCOMPARE(tab->currentPage(), 1);

        // Search outranks the contents; a document without an outline says so.
        f.window->state().showSearch = true;
        QVERIFY(!panel->isVisible());
        f.window->state().showSearch = false;
        f.open(f.harness.pdf(textDocument(1), "plain.pdf"));
        QVERIFY(uitest::waitUntil([&] { return panel->loaded(); }));
        QCOMPARE(panel->body()->currentIndex(), 2);
    }
};

QTEST_MAIN(DocumentLifeTest)
#include "DocumentLifeTest.moc"
