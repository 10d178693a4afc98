// The desktop executable: `ombrix-pdf FILE…` opens each file as a tab of the one window;
// a second launch hands its files to the running instance. Files arrive as "doc.open"
// dispatches from "Finder", which the window opens off the GUI thread.
#include "app/AppContainer.h"
#include "app/AppDelegate.h"
#include "core/AtomicFile.h"
#include "ui/canvas/CustomPDFView.h"
#include "ui/canvas/PDFCanvasView.h"
#include "ui/platform/QtMainQueue.h"
#include "ui/platform/QtUserInteraction.h"
#include "ui/window/MainWindow.h"
#include "ui/window/SessionGuard.h"
#include "ui/window/SingleInstance.h"
#include "ui/window/TabContentView.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QScreen>
#include <QTimer>
#include <algorithm>
#include <memory>

namespace {

using namespace ombrix;

// Writes the window to a PNG once its visible pages are drawn sharp, then quits.
void screenshotWhenDrawn(ui::MainWindow* window, const QString& file) {
    auto* timer = new QTimer(window);
    auto idleTicks = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, window, [window, file, timer, idleTicks] {
        auto& scheduler = window->content()->canvas()->pdfView()->renderScheduler();
        *idleTicks = scheduler.idle() ? *idleTicks + 1 : 0;
        if (*idleTicks < 5) {
            return;
        }
        timer->stop();
        const bool saved = window->grab().save(file, "PNG");
        QApplication::exit(saved ? 0 : 1);
    });
    timer->start(50);
}

} // namespace

int main(int argc, char** argv) {
    ombrix::ignoreFileSizeSignal();
    // The web module starts Qt WebEngine after the application exists, which needs this.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication application(argc, argv);
    QApplication::setApplicationName("Ombrix PDF");
    QApplication::setOrganizationName("ombrix-pdf");
    QApplication::setApplicationVersion(OMBRIX_VERSION);
    QApplication::setDesktopFileName("ombrix-pdf");

    QCommandLineParser parser;
    parser.setApplicationDescription("Ombrix PDF: read and mark up PDF files.");
    parser.addHelpOption();
    parser.addVersionOption();
    QCommandLineOption screenshot(
        "screenshot", "Write the window to PNG once its pages are drawn, then quit.", "PNG");
    QCommandLineOption size("size", "The window's size in logical pixels.", "WxH", "1200x900");
    QCommandLineOption separate("new-instance", "Do not hand the files to a running instance.");
    parser.addOption(screenshot);
    parser.addOption(size);
    parser.addOption(separate);
    parser.addPositionalArgument("files", "PDF files to open.", "[FILE…]");
    parser.process(application);
    const QStringList wh = parser.value(size).split('x');
    const QSize windowSize = wh.size() == 2 ? QSize(wh[0].toInt(), wh[1].toInt()) : QSize();
    if (!windowSize.isValid() || windowSize.isEmpty()) {
        parser.showHelp(2);
    }
    std::vector<std::filesystem::path> files;
    for (const QString& file : parser.positionalArguments()) {
        // An empty argument (an unset shell variable) names no file.
        if (!file.isEmpty()) {
            files.push_back(std::filesystem::absolute(file.toStdString()));
        }
    }

    const bool alone = parser.isSet(separate) || parser.isSet(screenshot);
    ui::SingleInstance instance;
    if (!alone && instance.forward(files)) {
        return 0;
    }

    auto queue = ui::QtMainQueue::install();
    auto user = std::make_shared<ui::QtUserInteraction>();
    AppContainer::Options options;
    options.userInteraction = user;
    options.mainQueue = queue;
    AppContainer::configureShared(std::move(options));
    AppContainer& app = AppContainer::shared();

    ui::MainWindow window(app);
    user->setParentWidget(&window);
    auto menus = window.makeMenuModel();
    AppDelegate delegate(app, menus);
    delegate.applicationDidFinishLaunching();
    if (!app.isBootstrapped()) {
        return 1; // logged as "Launch failed"
    }
    window.installMenus(menus);
    if (!alone) {
        instance.listen([&](const std::vector<std::filesystem::path>& handed) {
            delegate.applicationOpenURLs(handed);
            window.showNormal();
            window.raise();
            window.activateWindow();
        });
    }
    QObject::connect(&application, &QApplication::aboutToQuit, [&] {
        window.rememberPlaces(); // also when the session ends without closing the window
        delegate.applicationWillTerminate();
    });

    const QSize screen = window.screen()->availableSize();
    window.resize(std::min(windowSize.width(), screen.width()),
                  std::min(windowSize.height(), screen.height()));
    window.show();
    delegate.applicationOpenURLs(files);
    ui::guardUnsavedWork(window, !parser.isSet(screenshot));
    if (parser.isSet(screenshot)) {
        screenshotWhenDrawn(&window, parser.value(screenshot));
    }
    return QApplication::exec();
}
