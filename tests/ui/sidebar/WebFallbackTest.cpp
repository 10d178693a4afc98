// Without the web module (the tests point OMBRIX_WEB_MODULE at a missing file): table
// results still show, as rich text that loads nothing, and the formula window shows the
// LaTeX with a clear line; nothing maps the web engine.
#include "core/UserInteraction.h"
#include "ui/math/MathViewWindow.h"
#include "ui/sidebar/HTMLRenderView.h"
#include "ui/web/WebViews.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBrowser>
#include <QtTest>
#include <atomic>
#include <httplib.h>
#include <thread>

using namespace ombrix;
using namespace ombrix::ui;

namespace {

// Counts every request made to it on the loopback interface.
struct Watcher {
    httplib::Server server;
    std::atomic<int> hits{0};
    std::thread serving;
    int port = 0;
    Watcher() {
        server.Get(".*", [this](const httplib::Request&, httplib::Response& res) {
            ++hits;
            res.set_content("x", "image/png");
        });
        port = server.bind_to_any_port("127.0.0.1");
        serving = std::thread([this] { server.listen_after_bind(); });
    }
    ~Watcher() {
        server.stop();
        serving.join();
    }
};

bool engineMapped() {
    QFile maps("/proc/self/maps");
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains("libQt6WebEngine");
}

} // namespace

class WebFallbackTest : public QObject {
    Q_OBJECT
private slots:
    void aTableShowsAsRichTextThatLoadsNothing();
    void theFormulaWindowShowsTheLatexAndSaysWhy();
};

void WebFallbackTest::aTableShowsAsRichTextThatLoadsNothing() {
    QVERIFY(!engineMapped());
    Watcher watcher;
    const QString at = QString("http://127.0.0.1:%1/").arg(watcher.port);

    QWidget row;
    auto* view = new HTMLRenderView(&row);
    QVERIFY(!view->showsWebPage());
    QVERIFY(WebViews::loadError().contains("libombrix_web.so"));
    auto* browser = qobject_cast<QTextBrowser*>(view->content());
    QVERIFY(browser);
    QVERIFY(!browser->toolTip().isEmpty());
    view->setHtml("<table><tr><th>Fruit</th><th>Price</th></tr><tr><td>Apples</td>"
                  "<td id='cell'>12.40</td></tr></table><img src='" +
                  at + "seen.png'><img src='file:///etc/hostname'><script>fetch('" + at +
                  "fetched');</script>");
    row.show();
    QVERIFY(view->isLoaded());
    QCOMPARE(view->size(), QSize(280, 150));
    const QString shown = browser->document()->toPlainText().simplified();
    QVERIFY2(shown.startsWith("Fruit Price Apples 12.40") && !shown.contains("fetch"),
             qPrintable(shown));
    QTest::qWait(200);
    QCOMPARE(watcher.hits.load(), 0);
    // Links inside the page are not followed.
    QVERIFY(!browser->openLinks() && !browser->openExternalLinks());
    QVERIFY(!engineMapped());
}

void WebFallbackTest::theFormulaWindowShowsTheLatexAndSaysWhy() {
    auto user = std::make_shared<HeadlessUserInteraction>();
    const std::string latex = "E = mc^2";
    auto* window = new MathViewWindow(latex, std::nullopt, user);
    QPointer<MathViewWindow> guard(window);
    window->present();
    QVERIFY(!window->typesets());
    auto* why = qobject_cast<QLabel*>(window->formulaView());
    QVERIFY(why);
    QVERIFY(why->text().contains("libombrix_web.so"));
    QVERIFY(why->isVisible());
    QCOMPARE(window->rawLatex()->toPlainText(), QString::fromStdString(latex));
    window->copyLatexButton()->click();
    QCOMPARE(user->clipboardText(), latex);
    QVERIFY(!engineMapped());
    window->close();
    QTRY_VERIFY(guard.isNull());
}

QTEST_MAIN(WebFallbackTest)
#include "WebFallbackTest.moc"
