// Run as root with the web engine's sandbox on, Chromium ends the whole process the moment
// a web view starts, and unsaved changes go with it. The views must see that coming and
// show results as rich text instead. This program runs itself again as the child that
// opens a table result, with the sandbox variables the test environment sets taken away.
#include "ui/sidebar/HTMLRenderView.h"
#include "ui/web/WebViews.h"

#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QTextBrowser>
#include <QTextDocument>
#include <QtTest>
#include <cstdio>
#include <unistd.h>

using namespace ombrix::ui;

namespace {

constexpr const char* kChildVariable = "OMBRIX_WEB_ROOT_CHILD";

bool engineMapped() {
    QFile maps("/proc/self/maps");
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains("libQt6WebEngine");
}

// The child: a table result shown the way the sidebar shows it. It says what it showed
// and exits, when it survives at all.
int showTableResult() {
    QWidget row;
    auto* view = new HTMLRenderView(&row);
    view->setHtml("<table><tr><th>Fruit</th></tr><tr><td>Apples</td></tr></table>");
    row.show();
    // Long enough for an engine that was started to come up, or to end the process.
    for (int turn = 0; turn < 200 && !view->isLoaded(); ++turn) {
        QTest::qWait(50);
    }
    QCoreApplication::processEvents();
    const auto* browser = qobject_cast<QTextBrowser*>(view->content());
    std::printf("%s\n%s\n%s\n", view->showsWebPage() ? "web page" : "rich text",
                browser ? qPrintable(browser->document()->toPlainText().simplified()) : "",
                qPrintable(view->content()->toolTip()));
    std::printf("%s\n", engineMapped() ? "engine mapped" : "engine not mapped");
    return view->showsWebPage() ? 1 : 0;
}

} // namespace

class WebRootTrustTest : public QObject {
    Q_OBJECT
private slots:
    void onlyTheUserTurnsTheSandboxOff();
    void asRootTheTableShowsAsRichTextAndTheProgramLives();
};

void WebRootTrustTest::onlyTheUserTurnsTheSandboxOff() {
    const QStringList plain{"ombrix-pdf", "file.pdf"};
    // Root with the sandbox on: refused, saying why.
    const QString why = WebViews::startRefusal(0, {}, {}, plain);
    QVERIFY(why.contains("root"));
    QVERIFY(why.contains("QTWEBENGINE_DISABLE_SANDBOX"));
    QVERIFY(!WebViews::startRefusal(0, "0", "--disable-gpu", plain).isEmpty());
    QVERIFY(!WebViews::startRefusal(0, {}, "--no-sandboxing", plain).isEmpty());
    // An argument for the program itself is not one for the engine.
    QVERIFY(!WebViews::startRefusal(0, {}, {}, {"ombrix-pdf", "--no-sandbox"}).isEmpty());

    // The user's own ways of running it without the sandbox.
    QVERIFY(WebViews::startRefusal(0, "1", {}, plain).isEmpty());
    QVERIFY(WebViews::startRefusal(0, {}, "--disable-gpu  --no-sandbox", plain).isEmpty());
    QVERIFY(WebViews::startRefusal(0, {}, {}, {"ombrix-pdf", "--webEngineArgs", "--no-sandbox"})
                .isEmpty());
    // Anyone else runs it with the sandbox.
    QVERIFY(WebViews::startRefusal(1000, {}, {}, plain).isEmpty());
}

void WebRootTrustTest::asRootTheTableShowsAsRichTextAndTheProgramLives() {
    if (geteuid() != 0) {
        QSKIP("the engine refuses its sandbox only to root");
    }
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("QTWEBENGINE_DISABLE_SANDBOX");
    environment.remove("QTWEBENGINE_CHROMIUM_FLAGS");
    environment.insert(kChildVariable, "1");
    // The real module, as an installed program finds it.
    QVERIFY2(QFile::exists(environment.value(WebViews::kModuleVariable)),
             qPrintable(environment.value(WebViews::kModuleVariable)));
    QProcess child;
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(), {});
    QVERIFY(child.waitForFinished(100000));
    const QString out = QString::fromLocal8Bit(child.readAllStandardOutput());
    const QString err = QString::fromLocal8Bit(child.readAllStandardError());
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QVERIFY2(child.exitCode() == 0, qPrintable(out + err));
    const QStringList lines = out.split('\n');
    QVERIFY2(lines.size() >= 4, qPrintable(out));
    QCOMPARE(lines[0], QString("rich text"));
    QVERIFY2(lines[1].startsWith("Fruit Apples"), qPrintable(lines[1]));
    QVERIFY2(lines[2].contains("root"), qPrintable(lines[2]));
    QCOMPARE(lines[3], QString("engine not mapped"));
    // Logged, saying why.
    QVERIFY2(err.contains("cannot run as root"), qPrintable(err));
}

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (qEnvironmentVariableIsSet(kChildVariable)) {
        return showTableResult();
    }
    WebRootTrustTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "WebRootTrustTest.moc"
