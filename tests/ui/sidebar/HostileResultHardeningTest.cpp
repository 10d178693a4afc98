// Result cards and the formula window showing what a hostile file or server put there: the
// pages must show only our markup, stay where they are, run none of it and fetch nothing.
#include "core/UserInteraction.h"
#include "ui/math/MathViewWindow.h"
#include "ui/math/WebContent.h"
#include "ui/sidebar/HTMLRenderView.h"
#include "ui/sidebar/HighlightRow.h"
#include "ui/support/UiTestSupport.h"
#include "ui/web/WebViews.h"

#include <QApplication>
#include <QDir>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineView>
#include <QtTest>

using namespace ombrix;
using namespace ombrix::ui;

namespace {

QString shotsDir() {
    const QString dir = qEnvironmentVariable("OMBRIX_SHOTS_DIR");
    if (!dir.isEmpty()) {
        QDir().mkpath(dir);
    }
    return dir;
}

QWebEnginePage* pageOf(QWidget* view) {
    auto* web = qobject_cast<QWebEngineView*>(view);
    return web ? web->page() : nullptr;
}

// The answer of a script run in the page: in a world of our own, which runs where the
// page's script is off and shares its DOM, or in the page's own world.
QString evaluate(QWebEnginePage* page, const QString& script, bool pageWorld = false) {
    QString answer = "(no answer)";
    bool done = false;
    page->runJavaScript(
        script, pageWorld ? QWebEngineScript::MainWorld : QWebEngineScript::ApplicationWorld,
        [&](const QVariant& v) {
            answer = v.toString();
            done = true;
        });
    uitest::waitUntil([&] { return done; }, 5000);
    return answer;
}

// A result as a hostile file stores it: its style hides the table and restyles the page,
// its refresh would blank the card, and it names pictures and links elsewhere.
const std::string kHostileResult =
    "<style>body { background: #ff0000 !important; } table { display: none; }</style>"
    "<meta http-equiv=\"refresh\" content=\"0;url=about:blank\">"
    "<table style=\"border-collapse: collapse; width: 100%;\">"
    "<tr><th style=\"border:1px solid #ddd;padding:8px;background:#f2f2f2;\">Item</th>"
    "<th style=\"border:1px solid #ddd;padding:8px;background:#f2f2f2;\">Price</th></tr>"
    "<tr><td style=\"border:1px solid #ddd;padding:8px;\">Apples</td>"
    "<td style=\"border:1px solid #ddd;padding:8px;background:url(http://127.0.0.1:9/p)\">"
    "12.40<img src=\"http://127.0.0.1:9/i.png\" onerror=\"document.title='ran'\"></td></tr>"
    "</table><a href=\"http://127.0.0.1:9/\">link</a>";

// The count the page's DOM gives for a selector.
int count(QWebEnginePage* page, const QString& selector) {
    return evaluate(page, "String(document.querySelectorAll('" + selector + "').length)").toInt();
}

} // namespace

class HostileResultHardeningTest : public QObject {
    Q_OBJECT
public:
    static void initMain() { QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts); }

private slots:
    void resultCardShowsOnlyOurTable();
    void resultPageStaysWhereItIs();
    void formulaPageRunsNothingOfTheServers();
    void withoutLocalMathJaxTheLatexIsText();
};

void HostileResultHardeningTest::resultCardShowsOnlyOurTable() {
    ExtractedHighlight h;
    h.id = "1";
    h.text = "Price list";
    h.pageNumber = 3;
    h.color = Color{1, 0.85, 0, 1};
    h.resultData = kHostileResult;
    QWidget frame;
    frame.resize(320, 330);
    auto* row = new HighlightRow(h, {}, &frame);
    row->setGeometry(10, 10, 300, 310);
    frame.show();
    QVERIFY(row->resultView());
    QVERIFY2(row->resultView()->showsWebPage(), qPrintable(WebViews::loadError()));
    QVERIFY(uitest::waitUntil([&] { return row->resultView()->isLoaded(); }, 20000));
    QWebEnginePage* page = pageOf(row->resultView()->content());
    QVERIFY(page);

    // One style element, ours; no refresh, picture or link; the table visible with its cells.
    QCOMPARE(count(page, "style"), 1);
    QCOMPARE(count(page, "meta[http-equiv]"), 0);
    QCOMPARE(count(page, "img, a, script, [onerror]"), 0);
    QCOMPARE(count(page, "th"), 2);
    QCOMPARE(count(page, "td"), 2);
    QCOMPARE(evaluate(page, "getComputedStyle(document.querySelector('table')).display"),
             QString("table"));
    QCOMPARE(evaluate(page, "getComputedStyle(document.body).backgroundColor"),
             QString("rgba(0, 0, 0, 0)"));
    // Our cell style stays; one that names a picture elsewhere goes.
    QCOMPARE(evaluate(page, "document.querySelectorAll('td')[0].getAttribute('style')"),
             QString("border:1px solid #ddd;padding:8px;"));
    QCOMPARE(evaluate(page, "String(document.querySelectorAll('td')[1].hasAttribute('style'))"),
             QString("false"));
    // Still there a while later: no refresh took the card away.
    QTest::qWait(1500);
    QCOMPARE(page->url().scheme(), QString("data"));
    QCOMPARE(count(page, "td"), 2);

    if (const QString dir = shotsDir(); !dir.isEmpty()) {
        frame.grab().save(dir + "/result-card-hostile.png");
    }
}

void HostileResultHardeningTest::resultPageStaysWhereItIs() {
    // The page itself refuses to move: a link or a form sent where the card came from would
    // replace the card with an error page. (A refresh never gets this far: the card's HTML
    // holds none.)
    WebViewFactory* web = WebViews::factory();
    QVERIFY2(web, qPrintable(WebViews::loadError()));
    QWidget holder;
    int loads = 0;
    QWidget* view = web->makeResultView(&holder, [&](bool) { ++loads; });
    holder.resize(300, 200);
    view->resize(300, 200);
    holder.show();
    web->setPage(view, "<!DOCTYPE html><html><body><p id=\"here\">here</p>"
                       "<a id=\"link\" href=\"http://127.0.0.1:9/away\">away</a>"
                       "<form id=\"f\" action=\"http://127.0.0.1:9/posted\"></form></body></html>");
    QVERIFY(uitest::waitUntil([&] { return loads >= 1; }, 20000));
    QWebEnginePage* page = pageOf(view);
    QCOMPARE(count(page, "#here"), 1);
    evaluate(page, "document.getElementById('link').click(); 'x'");
    QTest::qWait(800);
    QCOMPARE(count(page, "#here"), 1);
    evaluate(page, "document.getElementById('f').submit(); 'x'");
    QTest::qWait(800);
    QCOMPARE(count(page, "#here"), 1);
    QCOMPARE(page->url().scheme(), QString("data"));
}

void HostileResultHardeningTest::formulaPageRunsNothingOfTheServers() {
    if (WebContent::localMathJaxDir().isEmpty()) {
        QSKIP("no local MathJax 3 copy (scripts/install-deps installs one)");
    }
    auto user = std::make_shared<HeadlessUserInteraction>();
    // MathML whose picture runs script once inserted, and a link that would run it on a click.
    const std::string mathml = "<math><mi href=\"javascript:window.ran=1\">x</mi><mo>+</mo>"
                               "<mtext><img xmlns=\"http://www.w3.org/1999/xhtml\" src=\"x\" "
                               "onerror=\"window.ran=2\"/></mtext><mi>y</mi></math>";
    auto* window = new MathViewWindow("x + y", mathml, user);
    QPointer<MathViewWindow> guard(window);
    QSignalSpy typeset(window, &MathViewWindow::typesetFinished);
    window->present();
    QVERIFY(typeset.wait(20000) || !typeset.isEmpty());
    QCOMPARE(typeset.first().first().toBool(), true);
    QWebEnginePage* page = pageOf(window->formulaView());
    QCOMPARE(evaluate(page, "String(window.ran)", true), QString("undefined"));
    QCOMPARE(count(page, "img, [href], [onerror]"), 0);
    QVERIFY(count(page, "mjx-container mjx-mi") >= 2);
    if (const QString dir = shotsDir(); !dir.isEmpty()) {
        QTest::qWait(300);
        window->grab().save(dir + "/formula-hostile-mathml.png");
    }
    window->close();
    QTRY_VERIFY(guard.isNull());

    // LaTeX from the server typeset by MathJax: its link has no target, and nothing runs.
    auto* latex = new MathViewWindow("a \\href{javascript:window.ran=3}{=} b", std::nullopt, user);
    QPointer<MathViewWindow> latexGuard(latex);
    QSignalSpy latexTypeset(latex, &MathViewWindow::typesetFinished);
    latex->present();
    QVERIFY(latexTypeset.wait(20000) || !latexTypeset.isEmpty());
    page = pageOf(latex->formulaView());
    QCOMPARE(count(page, "[href]"), 0);
    evaluate(page, "document.querySelectorAll('mjx-container *').forEach(e => e.click()); 'x'");
    QTest::qWait(200);
    QCOMPARE(evaluate(page, "String(window.ran)", true), QString("undefined"));
    latex->close();
    QTRY_VERIFY(latexGuard.isNull());
}

void HostileResultHardeningTest::withoutLocalMathJaxTheLatexIsText() {
    // Nothing fetches the public bundle, with or without a copy here.
    const QUrl bundle(QString(WebContent::kMathJaxCDN) + "es5/tex-mml-chtml.js");
    QVERIFY(WebContent::route(bundle, "").isEmpty());
    QVERIFY(WebContent::route(QUrl("https://cdn.jsdelivr.net/npm/mathjax@3.2.2/es5/x.js"), "")
                .isEmpty());

    qputenv(WebContent::kMathJaxDirVariable, "/nonexistent/mathjax");
    QVERIFY(WebContent::localMathJaxDir().isEmpty());
    auto user = std::make_shared<HeadlessUserInteraction>();
    const std::string latex = "\\frac{a}{b} </pre><img src=x onerror=\"window.ran=1\">";
    auto* window = new MathViewWindow(latex, std::string("<math><mi>x</mi></math>"), user);
    QPointer<MathViewWindow> guard(window);
    QSignalSpy typeset(window, &MathViewWindow::typesetFinished);
    window->present();
    QVERIFY(typeset.wait(20000) || !typeset.isEmpty());
    qunsetenv(WebContent::kMathJaxDirVariable);
    QCOMPARE(typeset.first().first().toBool(), false);
    QWebEnginePage* page = pageOf(window->formulaView());
    QCOMPARE(count(page, "script, img, math"), 0);
    QCOMPARE(evaluate(page, "document.querySelector('pre.latex').textContent"),
             QString::fromStdString(latex));
    QCOMPARE(evaluate(page, "String(window.ran)", true), QString("undefined"));
    QCOMPARE(window->rawLatex()->toPlainText(), QString::fromStdString(latex));
    if (const QString dir = shotsDir(); !dir.isEmpty()) {
        QTest::qWait(300);
        window->grab().save(dir + "/formula-without-mathjax.png");
    }
    window->close();
    QTRY_VERIFY(guard.isNull());
}

QTEST_MAIN(HostileResultHardeningTest)
#include "HostileResultHardeningTest.moc"
