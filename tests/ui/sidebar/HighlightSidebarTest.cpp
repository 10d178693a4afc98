#include "ui/sidebar/HighlightSidebar.h"

#include "annotations/HighlightNote.h"
#include "core/UserInteraction.h"
#include "document/ActiveViews.h"
#include "document/PDFKitBridge.h"
#include "extraction/BacklinkHighlightManager.h"
#include "extraction/HighlightRegionActions.h"
#include "pdfkit/Document.h"
#include "pdfkit/HeadlessViewPort.h"
#include "pdfkit/Page.h"
#include "support/Fixtures.h"
#include "support/FormulaServer.h"
#include "support/TempDir.h"
#include "tabs/TabSession.h"
#include "ui/platform/QtMainQueue.h"
#include "ui/platform/QtUserInteraction.h"
#include "ui/sidebar/CommentSidebar.h"
#include "ui/sidebar/HTMLRenderView.h"
#include "ui/sidebar/HighlightRow.h"
#include "ui/support/Person.h"
#include "ui/support/UiTestSupport.h"
#include "ui/web/WebViews.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QToolButton>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QtTest>
#include <filesystem>
#include <httplib.h>
#include <thread>

using namespace ombrix;
using namespace ombrix::testing;
using namespace ombrix::ui;
namespace fs = std::filesystem;

namespace {

const Rect kTableArea{60, 570, 420, 150};
const TextRun kFormula{"E = mc", 250, 400, 20};
const Rect kFormulaArea = textBounds(kFormula).insetBy(-30, -20);
const Rect kBlankArea{100, 150, 200, 60};
const Color kYellow = Color::rgb(255, 208, 0);
const Color kRed = Color::rgb(234, 82, 82);

// The table fixture's page with a formula and an empty area, each under a highlight.
FixtureDocument markedDocument() {
    FixtureDocument doc = tableDocument();
    doc.pages[0].runs.push_back(kFormula);
    for (auto [rect, colour] : {std::pair{kTableArea, kYellow}, std::pair{kFormulaArea, kRed},
                                std::pair{kBlankArea, kYellow}}) {
        FixtureAnnotation highlight;
        highlight.subtype = "Highlight";
        highlight.rect = rect;
        highlight.color = colour;
        doc.pages[0].annotations.push_back(highlight);
    }
    return doc;
}

class Canvas final : public CanvasTarget {
public:
    explicit Canvas(std::shared_ptr<pdfkit::ViewPort> view) : view_(std::move(view)) {}
    std::shared_ptr<pdfkit::ViewPort> pdfView() const override { return view_; }
    void setNeedsDisplay() override { ++redraws; }
    int redraws = 0;

private:
    std::shared_ptr<pdfkit::ViewPort> view_;
};

// The longest the event loop went without running a 2 ms timer, while it ran.
class StallProbe : public QObject {
public:
    StallProbe() {
        timer_.setTimerType(Qt::PreciseTimer);
        connect(&timer_, &QTimer::timeout, this,
                [this] { longest = std::max(longest, clock_.restart()); });
        clock_.start();
        timer_.start(2);
    }
    qint64 longest = 0;

private:
    QTimer timer_;
    QElapsedTimer clock_;
};

QString shotsDir() {
    const QString dir = qEnvironmentVariable("OMBRIX_SHOTS_DIR");
    if (!dir.isEmpty()) {
        QDir().mkpath(dir);
    }
    return dir;
}

// The text of a result view's web page.
QString pageText(HTMLRenderView* view) {
    auto* web = qobject_cast<QWebEngineView*>(view->content());
    if (!web) {
        return "(not a web view: " + WebViews::loadError() + ")";
    }
    QWebEnginePage* page = web->page();
    QString text;
    bool done = false;
    page->toPlainText([&](const QString& t) {
        text = t;
        done = true;
    });
    uitest::waitUntil([&] { return done; }, 5000);
    return text;
}

} // namespace

class HighlightSidebarTest : public QObject {
    Q_OBJECT
public:
    // The web module starts the engine after the application exists.
    static void initMain() { QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts); }

private slots:
    void init();
    void cleanup();
    void chipsSelectByColourAndTheSameChipTwiceClears();
    void rowsShowTextCommentsAndResultsAsTheyAre();
    void bulkRecolourCommentAndDeleteReachTheFile();
    void tableActionEndToEnd();
    void formulaActionSucceedsFailsAndCancels();
    void theMathChoiceReadsThePageFirstWithoutTheServer();
    void aFormulaResultReadsBackAsAResultAfterReopening();
    void cropWritesBesideTheDocument();
    void commentListShowsTheTabsRecords();
    void aResultFromTheFileRunsNoScriptAndReachesNobody();

private:
    ExtractedHighlight entryOver(const Rect& area) const;
    std::shared_ptr<pdfkit::Annotation> annotationOver(const Rect& area) const;
    void waitIdle(qint64* longestStall = nullptr);

    std::unique_ptr<TempDir> dir;
    std::unique_ptr<FormulaServer> server;
    fs::path file;
    std::shared_ptr<TabSession> tab;
    std::shared_ptr<QtUserInteraction> ui;
    std::shared_ptr<BacklinkHighlightManager> manager;
    std::shared_ptr<Canvas> canvas;
    std::shared_ptr<HighlightRegionActions> actions;
    std::unique_ptr<HighlightSidebar> sidebar;
};

void HighlightSidebarTest::init() {
    QtMainQueue::install();
    dir = std::make_unique<TempDir>();
    server = std::make_unique<FormulaServer>();
    file = writePdf(markedDocument(), dir->path() / "Report.pdf");
    tab = std::make_shared<TabSession>(PDFKitBridge().open(file));
    auto view = std::make_shared<pdfkit::HeadlessViewPort>();
    view->setDocument(PDFKitBridge::engineDocument(*tab->document));
    canvas = std::make_shared<Canvas>(view);
    auto views = std::make_shared<ActiveViews>();
    views->pdfView = view;
    views->canvas = canvas;
    ui = std::make_shared<QtUserInteraction>();
    manager = std::make_shared<BacklinkHighlightManager>();
    HighlightRegionActions::Services services;
    services.manager = manager;
    services.userInteraction = ui;
    services.views = views;
    services.mathExtractor = std::make_shared<MathOCRExtractor>(server->url());
    services.background = true;
    services.formulaSource = FormulaSource::server; // the formula fixture is plain text
    actions = std::make_shared<HighlightRegionActions>(services);
    sidebar = std::make_unique<HighlightSidebar>(
        HighlightSidebar::Services{manager, ui, views, actions, nullptr, {}});
    sidebar->resize(300, 720);
    sidebar->setSession(tab);
    sidebar->show();
    QVERIFY(QTest::qWaitForWindowExposed(sidebar.get()));
    QTest::qWait(200); // the web engine starts once the sidebar is up
}

void HighlightSidebarTest::cleanup() {
    sidebar.reset();
    actions.reset();
    server.reset();
    tab.reset();
    dir.reset();
}

ExtractedHighlight HighlightSidebarTest::entryOver(const Rect& area) const {
    for (const auto& e : manager->extractedHighlights.get()) {
        if (area.contains(Point{e.bounds.midX(), e.bounds.midY()})) {
            return e;
        }
    }
    qFatal("no highlight there");
}

std::shared_ptr<pdfkit::Annotation> HighlightSidebarTest::annotationOver(const Rect& area) const {
    for (const auto& a : PDFKitBridge::engineDocument(*tab->document)->page(0)->annotations()) {
        if (area.contains(Point{a->bounds().midX(), a->bounds().midY()})) {
            return a;
        }
    }
    return nullptr;
}

// Runs the event loop until no action runs, measuring the longest stall meanwhile.
void HighlightSidebarTest::waitIdle(qint64* longestStall) {
    StallProbe probe;
    QVERIFY(uitest::waitUntil([&] { return !actions->extractingID.get(); }, 60000));
    if (longestStall) {
        *longestStall = probe.longest;
    }
}

void HighlightSidebarTest::chipsSelectByColourAndTheSameChipTwiceClears() {
    QCOMPARE(sidebar->countLabel()->text(), QString("3"));
    QCOMPARE(sidebar->colourChips().size(), std::size_t(5));
    QToolButton* yellow = sidebar->colourChips()[0];
    QToolButton* red = sidebar->colourChips()[1];

    QTest::mouseClick(yellow, Qt::LeftButton);
    const std::set<std::string> yellows{entryOver(kTableArea).id, entryOver(kBlankArea).id};
    QCOMPARE(sidebar->selection().selectedIDs(), yellows);
    QVERIFY(sidebar->row(entryOver(kTableArea).id)->isSelected());
    QVERIFY(!sidebar->row(entryOver(kFormulaArea).id)->isSelected());
    QVERIFY(sidebar->changeButton()->isEnabled());

    QTest::mouseClick(red, Qt::LeftButton);
    QCOMPARE(sidebar->selection().selectedIDs(), std::set<std::string>{entryOver(kFormulaArea).id});
    QTest::mouseClick(red, Qt::LeftButton);
    QVERIFY(sidebar->selection().selectedIDs().empty());
    QVERIFY(!sidebar->selection().selectedBulkColor());
    QVERIFY(!sidebar->changeButton()->isEnabled());

    // Within 0.1 on every component is the same colour; 0.1 away is not.
    QVERIFY(HighlightSelection::sameColour(Color{1, 0.8, 0, 1}, Color{0.91, 0.88, 0.09, 0.3}));
    QVERIFY(!HighlightSelection::sameColour(Color{1, 0.8, 0, 1}, Color{1, 0.7, 0, 1}));

    QTest::mouseClick(sidebar->selectAllButton(), Qt::LeftButton);
    QCOMPARE(sidebar->selection().selectedIDs().size(), std::size_t(3));
}

void HighlightSidebarTest::rowsShowTextCommentsAndResultsAsTheyAre() {
    auto formula = entryOver(kFormulaArea);
    QCOMPARE(sidebar->row(formula.id)->textLabel()->text(), QString("E = mc"));
    QVERIFY(sidebar->row(formula.id)->commentSymbol()->isHidden());
    QCOMPARE(sidebar->row(formula.id)->findChild<QLabel*>("pageLabel")->text(), QString("Page 1"));

    // A LaTeX result: "View Math", no web view.
    formula.resultData = "\\frac{a}{b}";
    formula.comment = "check the sign";
    manager->updateHighlight(formula);
    HighlightRow* row = sidebar->row(formula.id);
    QVERIFY(row->viewMathButton()->isVisibleTo(row));
    QVERIFY(!row->resultView());
    QVERIFY(row->commentSymbol()->isVisibleTo(row));

    // An empty text.
    auto blank = entryOver(kBlankArea);
    blank.text.clear();
    manager->updateHighlight(blank);
    QCOMPARE(sidebar->row(blank.id)->textLabel()->text(), QString("(No text extracted)"));
    QCOMPARE(sidebar->row(blank.id)->textLabel()->foregroundRole(), QPalette::PlaceholderText);

    // "View Math" opens the formula window with the LaTeX.
    QTest::mouseClick(row->viewMathButton(), Qt::LeftButton);
    QVERIFY(sidebar->mathWindow());
    QCOMPARE(sidebar->mathWindow()->windowTitle(), QString("Math View"));
    sidebar->mathWindow()->close();

    // No highlights at all.
    manager->extractedHighlights = std::vector<ExtractedHighlight>{};
    QVERIFY(sidebar->emptyState()->isVisible());
    QCOMPARE(sidebar->countLabel()->text(), QString("0"));
}

void HighlightSidebarTest::bulkRecolourCommentAndDeleteReachTheFile() {
    QTest::mouseClick(sidebar->colourChips()[0], Qt::LeftButton); // the two yellow ones
    QTest::mouseClick(sidebar->changeButton(), Qt::LeftButton);
    QVERIFY(sidebar->changePopover()->isVisible());
    auto* toBlue = sidebar->changePopover()->findChild<QToolButton*>("toBlue");
    QTest::mouseClick(toBlue, Qt::LeftButton);
    QVERIFY(!sidebar->changePopover()->isVisible());
    const Color blue = sidebar->availableColors()[2];
    QVERIFY(HighlightSelection::sameColour(entryOver(kTableArea).color, blue));
    QVERIFY(HighlightSelection::sameColour(entryOver(kBlankArea).color, blue));
    QVERIFY(HighlightSelection::sameColour(entryOver(kFormulaArea).color, kRed));
    QVERIFY(HighlightSelection::sameColour(*annotationOver(kTableArea)->color(), blue));
    QVERIFY(tab->document->isDirty);

    const auto id = entryOver(kFormulaArea).id;
    QTest::mouseClick(sidebar->row(id)->findChild<QToolButton*>("editCommentButton"),
                      Qt::LeftButton);
    QCOMPARE(sidebar->commentTargetID(), id);
    QTest::keyClicks(sidebar->row(id)->commentEditor(), "sign flipped");
    QTest::mouseClick(sidebar->row(id)->findChild<QPushButton*>("saveCommentButton"),
                      Qt::LeftButton);
    QVERIFY(!sidebar->commentTargetID());
    QCOMPARE(entryOver(kFormulaArea).comment, std::string("sign flipped"));
    QCOMPARE(annotationOver(kFormulaArea)->contents(), std::string("sign flipped"));
    QVERIFY(sidebar->row(id)->commentSymbol()->isVisibleTo(sidebar->row(id)));

    sidebar->deleteHighlight(entryOver(kBlankArea).id);
    QVERIFY(uitest::waitUntil([&] { return manager->extractedHighlights.get().size() == 2; }));
    QVERIFY(!annotationOver(kBlankArea));
    QCOMPARE(sidebar->rows().size(), std::size_t(2));
}

void HighlightSidebarTest::tableActionEndToEnd() {
    uitest::Person person;
    const auto id = entryOver(kTableArea).id;
    HighlightRow* row = sidebar->row(id);
    QTest::mouseClick(row->tableButton(), Qt::LeftButton);
    // Busy here, the other rows wait but stay.
    QCOMPARE(actions->extractingID.get(), id);
    QVERIFY(row->busyIndicator()->isVisibleTo(row));
    QVERIFY(!row->cancelButton()->isVisibleTo(row));
    QVERIFY(!sidebar->row(entryOver(kFormulaArea).id)->tableButton()->isEnabled());
    qint64 stall = 0;
    waitIdle(&stall);
    qInfo("longest GUI stall during the table action: %lld ms", stall);
    QVERIFY(uitest::waitUntil([&] { return !person.alerts.empty(); }));
    QVERIFY2(person.alerts[0].contains("Table Extracted"), qPrintable(person.alerts[0]));
    QVERIFY(!person.warnings[0]);

    const std::string html = entryOver(kTableArea).resultData.value_or("");
    QVERIFY(html.starts_with("<table"));
    QCOMPARE(QApplication::clipboard()->mimeData()->html(), QString::fromStdString(html));
    // Pasted as text: cells by tab, rows by line, no markup.
    const QString pasted = QApplication::clipboard()->text();
    QVERIFY2(pasted.contains('\t') && pasted.contains('\n') && !pasted.contains('<'),
             qPrintable(pasted));
    QCOMPARE(annotationOver(kTableArea)->privateText(note::kResultKey), html);
    QVERIFY(!annotationOver(kTableArea)->contents());

    row = sidebar->row(id);
    QVERIFY(!row->busyIndicator()->isVisibleTo(row));
    QVERIFY(row->resultView());
    QCOMPARE(row->resultView()->size(), QSize(280, 150));
    QVERIFY(uitest::waitUntil([&] { return row->resultView()->isLoaded(); }, 20000));
    const QString shown = pageText(row->resultView());
    QVERIFY2(shown.contains("Apples") && shown.contains("12.40"), qPrintable(shown));

    // No table in an empty area: a warning, nothing stored.
    const auto blank = entryOver(kBlankArea);
    sidebar->runTable(blank.id);
    waitIdle();
    QVERIFY(uitest::waitUntil([&] { return person.alerts.size() == 2; }));
    QVERIFY(person.alerts[1].contains("No Table Found"));
    QVERIFY(person.warnings[1]);
    QCOMPARE(entryOver(kBlankArea), blank);

    if (const QString shots = shotsDir(); !shots.isEmpty()) {
        auto formula = entryOver(kFormulaArea);
        formula.resultData = "\\sum_{i=1}^{n} x_i^2";
        formula.comment = "variance numerator";
        manager->updateHighlight(formula);
        sidebar->resize(300, 900);
        QTest::qWait(300);
        sidebar->grab().save(shots + "/sidebar-table-and-formula.png");
    }
}

void HighlightSidebarTest::theMathChoiceReadsThePageFirstWithoutTheServer() {
    uitest::Person person;
    QComboBox* box = sidebar->formulaSourceBox();
    QVERIFY(box);
    QCOMPARE(box->currentText(), QString("Server only"));
    box->setCurrentIndex(0);
    Q_EMIT box->activated(0);
    QCOMPARE(box->currentText(), QString("Page first"));
    QVERIFY(actions->formulaSource() == FormulaSource::automatic);

    const auto formula = entryOver(kFormulaArea);
    server->answer(200, R"({"latex":"from the server"})");
    sidebar->runMath(formula.id);
    waitIdle();
    QVERIFY(uitest::waitUntil([&] { return !actions->extractingID.get(); }));
    QCOMPARE(server->requests(), 0);
    const auto result = entryOver(kFormulaArea).resultData;
    QVERIFY(result && result->find("mc") != std::string::npos);
    QVERIFY(person.alerts.empty());
    // The window gets the MathML the page gave.
    const auto mathml = actions->mathMLOf(entryOver(kFormulaArea), tab);
    QVERIFY(mathml && mathml->rfind("<math", 0) == 0);

    sidebar->setFormulaSource(FormulaSource::server);
    QCOMPARE(box->currentText(), QString("Server only"));
}

void HighlightSidebarTest::formulaActionSucceedsFailsAndCancels() {
    uitest::Person person;
    const auto formula = entryOver(kFormulaArea);
    server->answer(200, R"({"latex":"E = mc^2"})");
    QTest::mouseClick(sidebar->row(formula.id)->mathButton(), Qt::LeftButton);
    HighlightRow* row = sidebar->row(formula.id);
    QVERIFY(row->busyIndicator()->isVisibleTo(row));
    QVERIFY(row->cancelButton()->isVisibleTo(row));
    qint64 stall = 0;
    waitIdle(&stall);
    qInfo("longest GUI stall during the formula action: %lld ms", stall);
    QCOMPARE(entryOver(kFormulaArea).resultData, std::string("E = mc^2"));
    QCOMPARE(annotationOver(kFormulaArea)->privateText(note::kResultKey), std::string("E = mc^2"));
    row = sidebar->row(formula.id);
    QVERIFY(row->viewMathButton()->isVisibleTo(row));
    QVERIFY(person.alerts.empty());

    server->answer(422, "{}");
    sidebar->runMath(formula.id);
    waitIdle();
    QVERIFY(uitest::waitUntil([&] { return !person.alerts.empty(); }));
    QCOMPARE(person.alerts[0], QString("Math Extraction Error: Server returned status 422."));
    QCOMPARE(entryOver(kFormulaArea).resultData, std::string("E = mc^2"));

    server->holdAnswers();
    server->answer(200, R"({"latex":"never shown"})");
    sidebar->runMath(formula.id);
    QVERIFY(uitest::waitUntil([&] { return server->requests() == 3; }, 20000));
    row = sidebar->row(formula.id);
    QTest::mouseClick(row->cancelButton(), Qt::LeftButton);
    QVERIFY(!actions->extractingID.get());
    QVERIFY(!row->busyIndicator()->isVisibleTo(row));
    QVERIFY(row->tableButton()->isEnabled());
    server->releaseSlowAnswers();
    QTest::qWait(300);
    QCOMPARE(person.alerts.size(), std::size_t(1));
    QCOMPARE(entryOver(kFormulaArea).resultData, std::string("E = mc^2"));
}

void HighlightSidebarTest::aFormulaResultReadsBackAsAResultAfterReopening() {
    // A formula's LaTeX carries no marker of its own.
    server->answer(200, R"({"latex":"x^{2} + y^{2}"})");
    sidebar->runMath(entryOver(kFormulaArea).id);
    waitIdle();
    QCOMPARE(entryOver(kFormulaArea).resultData, std::string("x^{2} + y^{2}"));
    auto blank = entryOver(kBlankArea);
    sidebar->row(blank.id)->findChild<QToolButton*>("editCommentButton")->click();
    QTest::keyClicks(sidebar->row(blank.id)->commentEditor(), "look here");
    sidebar->row(blank.id)->findChild<QPushButton*>("saveCommentButton")->click();
    PDFKitBridge().saveAnnotations(*tab->document);

    tab = std::make_shared<TabSession>(PDFKitBridge().open(file));
    sidebar->setSession(tab);
    QVERIFY(uitest::waitUntil([&] { return manager->extractedHighlights.get().size() == 3; }));
    const auto formula = entryOver(kFormulaArea);
    QCOMPARE(formula.resultData, std::string("x^{2} + y^{2}"));
    QVERIFY(!formula.comment);
    // Kept as our own entry: other readers show no LaTeX as a comment.
    QCOMPARE(annotationOver(kFormulaArea)->privateText(note::kResultKey),
             std::string("x^{2} + y^{2}"));
    QVERIFY(!annotationOver(kFormulaArea)->contents());
    HighlightRow* row = sidebar->row(formula.id);
    QVERIFY(row->viewMathButton()->isVisibleTo(row));
    QVERIFY(!row->resultView());
    QTest::mouseClick(row->viewMathButton(), Qt::LeftButton);
    QVERIFY(sidebar->mathWindow());
    sidebar->mathWindow()->close();

    const auto comment = entryOver(kBlankArea);
    QCOMPARE(comment.comment, std::string("look here"));
    QVERIFY(!comment.resultData);
    QVERIFY(sidebar->row(comment.id)->commentSymbol()->isVisibleTo(sidebar->row(comment.id)));
    QVERIFY(!sidebar->row(comment.id)->viewMathButton()->isVisibleTo(sidebar->row(comment.id)));
}

void HighlightSidebarTest::cropWritesBesideTheDocument() {
    uitest::Person person;
    const auto before = fs::last_write_time(file);
    QTest::mouseClick(sidebar->row(entryOver(kFormulaArea).id)->cropButton(), Qt::LeftButton);
    waitIdle();
    const fs::path crop = dir->path() / "Report_page1_seq001.pdf";
    QVERIFY(fs::exists(crop));
    auto cropped = pdfkit::Document::open(crop);
    QVERIFY(cropped && cropped->pageCount() == 1);
    QVERIFY(!tab->document->isDirty);
    QVERIFY(fs::last_write_time(file) == before);
    // The user is told where it went.
    QVERIFY(uitest::waitUntil([&] { return !person.alerts.empty(); }));
    QVERIFY2(person.alerts[0].startsWith("Crop Saved: ") &&
                 person.alerts[0].contains(QString::fromStdString(crop.string())),
             qPrintable(person.alerts[0]));
}

void HighlightSidebarTest::commentListShowsTheTabsRecords() {
    AnnotationRecord note(Uuid::random(), 0, AnnotationType::highlight, kTableArea,
                          std::string("Prices rose"));
    AnnotationRecord bare(Uuid::random(), 1, AnnotationType::square, kBlankArea);
    tab->annotations = std::vector<AnnotationRecord>{note, bare};
    CommentSidebar list;
    list.setSession(tab);
    QCOMPARE(list.count(), 2);
    QCOMPARE(list.item(0)->text(), QString("Prices rose\nPage 1"));
    QCOMPARE(list.item(1)->text(), QString("Square\nPage 2"));
    QVERIFY(list.width() >= 250);
}

// A result comes from the file's annotation: whatever it holds stays inside the page.
void HighlightSidebarTest::aResultFromTheFileRunsNoScriptAndReachesNobody() {
    httplib::Server watcher;
    std::atomic<int> hits{0};
    watcher.Get(".*", [&](const httplib::Request&, httplib::Response& res) {
        ++hits;
        res.set_content("x", "image/png");
    });
    const int port = watcher.bind_to_any_port("127.0.0.1");
    std::thread serving([&] { watcher.listen_after_bind(); });
    const QString at = QString("http://127.0.0.1:%1/").arg(port);

    auto table = entryOver(kTableArea);
    table.resultData = ("<table><tr><td id='cell'>kept</td></tr></table><img src='" + at +
                        "seen.png'><script>document.getElementById('cell').textContent = "
                        "'changed'; fetch('" +
                        at + "fetched');</script>")
                           .toStdString();
    manager->updateHighlight(table);
    HighlightRow* row = sidebar->row(table.id);
    QVERIFY(row->resultView());
    QVERIFY(uitest::waitUntil([&] { return row->resultView()->isLoaded(); }, 20000));
    QTest::qWait(300);
    QCOMPARE(pageText(row->resultView()).trimmed(), QString("kept"));
    QCOMPARE(hits.load(), 0);
    watcher.stop();
    serving.join();
}

QTEST_MAIN(HighlightSidebarTest)
#include "HighlightSidebarTest.moc"
