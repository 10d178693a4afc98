#include "ui/math/MathViewWindow.h"

#include "core/UserInteraction.h"
#include "extraction/FormulaRecognizer.h"
#include "pdfkit/Document.h"
#include "pdfkit/Page.h"
#include "ui/math/WebContent.h"
#include "ui/support/UiTestSupport.h"
#include "ui/web/WebViews.h"

#include <QApplication>
#include <QDir>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QWebEnginePage>
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

// What the page shows, read from its DOM.
QString evaluate(QWebEnginePage* page, const QString& script) {
    QString answer;
    bool done = false;
    page->runJavaScript(script, [&](const QVariant& v) {
        answer = v.toString();
        done = true;
    });
    uitest::waitUntil([&] { return done; }, 5000);
    return answer;
}

} // namespace

class MathViewWindowTest : public QObject {
    Q_OBJECT
public:
    // The web module starts the engine after the application exists.
    static void initMain() { QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts); }

private slots:
    void showsTheMathMLOfAFormulaReadFromThePage();
    void routesTheBundleToTheLocalCopyAndBlocksTheRest();
    void typesetsOfflineFromTheLocalCopy();
};

void MathViewWindowTest::routesTheBundleToTheLocalCopyAndBlocksTheRest() {
    const QUrl bundle(QString(WebContent::kMathJaxCDN) + "es5/tex-mml-chtml.js");
    const QUrl font(QString(WebContent::kMathJaxCDN) +
                    "es5/output/chtml/fonts/woff-v2/MathJax_Main-Regular.woff?v=1");
    QCOMPARE(WebContent::route(bundle, "/opt/mj"),
             QUrl("ombrix-mathjax://mathjax/es5/tex-mml-chtml.js"));
    QCOMPARE(WebContent::route(font, "/opt/mj").path(),
             QString("/es5/output/chtml/fonts/woff-v2/MathJax_Main-Regular.woff"));
    // No local copy: the network is never the fallback.
    QVERIFY(WebContent::route(bundle, "").isEmpty());
    // A picture or a link inside a result page reaches nobody.
    QVERIFY(WebContent::route(QUrl("http://127.0.0.1:8080/track.png"), "/opt/mj").isEmpty());
    QVERIFY(WebContent::route(QUrl("https://cdn.jsdelivr.net/npm/other@1/x.js"), "").isEmpty());
    QCOMPARE(WebContent::route(QUrl("data:text/html,x"), ""), QUrl("data:text/html,x"));
}

void MathViewWindowTest::typesetsOfflineFromTheLocalCopy() {
    if (WebContent::localMathJaxDir().isEmpty()) {
        QSKIP("no local MathJax 3 copy (scripts/install-deps installs one)");
    }
    auto user = std::make_shared<HeadlessUserInteraction>();
    const std::string latex = "\\begin{array}{l} E = mc^2 \\\\ a < b \\end{array}";
    auto* window = new MathViewWindow(latex, std::nullopt, user);
    QPointer<MathViewWindow> guard(window);
    QVERIFY2(window->typesets(), qPrintable(WebViews::loadError()));
    QSignalSpy typeset(window, &MathViewWindow::typesetFinished);
    window->present();
    QCOMPARE(window->windowTitle(), QString("Math View"));
    QCOMPARE(window->size(), QSize(600, 500));
    QVERIFY(typeset.wait(20000) || !typeset.isEmpty());
    QCOMPARE(typeset.first().first().toBool(), true);
    // MathJax drew the formula (its own elements), without the array lines; the raw text
    // keeps them.
    const QString drawn = evaluate(qobject_cast<QWebEngineView*>(window->formulaView())->page(),
                                   "document.querySelectorAll('mjx-container mjx-mi').length");
    QVERIFY2(drawn.toInt() >= 4, qPrintable(drawn));
    QCOMPARE(window->rawLatex()->toPlainText(), QString::fromStdString(latex));
    QVERIFY(!window->copyMathMLButton()->isEnabled());
    window->copyLatexButton()->click();
    QCOMPARE(user->clipboardText(), latex);

    if (const QString dir = shotsDir(); !dir.isEmpty()) {
        QTest::qWait(300);
        window->grab().save(dir + "/formula-window-offline.png");
    }
    window->close();
    QTRY_VERIFY(guard.isNull());
}

void MathViewWindowTest::showsTheMathMLOfAFormulaReadFromThePage() {
    if (WebContent::localMathJaxDir().isEmpty()) {
        QSKIP("no local MathJax 3 copy (scripts/install-deps installs one)");
    }
    // The quadratic formula of the typeset corpus, read back from its page.
    auto doc = pdfkit::Document::open(std::filesystem::path(OMBRIX_SOURCE_DIR) / "tests" / "data" /
                                      "formulas" / "pdflatex-cm.pdf");
    QVERIFY(doc);
    auto page = doc->page(22);
    auto read = FormulaRecognizer::recognize(*page, page->mediaBox());
    QVERIFY(read && read->mathml);
    QCOMPARE(read->latex, std::string("x=\\frac{-b\\pm\\sqrt{b^2-4ac}}{2a}"));

    auto user = std::make_shared<HeadlessUserInteraction>();
    auto* window = new MathViewWindow(read->latex, read->mathml, user);
    QPointer<MathViewWindow> guard(window);
    QVERIFY2(window->typesets(), qPrintable(WebViews::loadError()));
    QSignalSpy typeset(window, &MathViewWindow::typesetFinished);
    window->present();
    QVERIFY(typeset.wait(20000) || !typeset.isEmpty());
    QCOMPARE(typeset.first().first().toBool(), true);
    // MathJax drew the MathML: a fraction holding a root.
    auto* view = qobject_cast<QWebEngineView*>(window->formulaView());
    const QString drawn = evaluate(
        view->page(), "document.querySelectorAll('mjx-container mjx-mfrac mjx-msqrt').length");
    QVERIFY2(drawn.toInt() == 1, qPrintable(drawn));
    QVERIFY(window->copyMathMLButton()->isEnabled());
    window->copyMathMLButton()->click();
    QCOMPARE(user->clipboardText(), *read->mathml);
    window->copyLatexButton()->click();
    QCOMPARE(user->clipboardText(), read->latex);

    if (const QString dir = shotsDir(); !dir.isEmpty()) {
        QTest::qWait(300);
        window->grab().save(dir + "/formula-window-from-page.png");
    }
    window->close();
    QTRY_VERIFY(guard.isNull());
}

QTEST_MAIN(MathViewWindowTest)
#include "MathViewWindowTest.moc"
