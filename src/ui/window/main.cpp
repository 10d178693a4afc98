// The desktop executable: `ombrix-pdf FILE…` shows each file's pages in a window of its own.
#include "app/AppContainer.h"
#include "document/TabManager.h"
#include "document/TabSession.h"
#include "ui/canvas/PDFKitViewRepresentable.h"
#include "ui/platform/FileOpener.h"
#include "ui/platform/QtMainQueue.h"
#include "ui/platform/QtUserInteraction.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>
#include <algorithm>
#include <memory>

namespace {

using namespace ombrix;

// One document on screen: the canvas inside a plain window, its page and zoom kept in
// the document's tab.
class DocumentWindow : public QWidget {
public:
    DocumentWindow(AppContainer& app, std::shared_ptr<PDFDocument> document) {
        setAttribute(Qt::WA_DeleteOnClose);
        setWindowTitle(QString::fromStdString(document->name) + " — Ombrix PDF");
        tab_ = app.tabManager()->openDocument(document);
        description_.document = document;
        description_.zoom = tab_->zoom.get();
        description_.container = &app;
        std::weak_ptr<TabSession> tab = tab_;
        description_.onPageChange = [tab](int index) {
            if (auto t = tab.lock()) {
                t->currentPage = index;
            }
        };
        // The view fits new documents and zooms with Ctrl+wheel; the tab follows it, so
        // the next update does not undo that.
        description_.onScaleChange = [this](double scale) {
            description_.zoom = scale;
            tab_->zoom = scale;
            coordinator_->setDescription(description_);
        };
        coordinator_ = description_.makeCoordinator();
        canvas_ = description_.makeView(*coordinator_, this);
        canvas_->pdfView()->setUserInteraction(app.userInteraction().get());
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(canvas_);
        description_.updateView(*canvas_, *coordinator_);
        canvas_->setFocus();
    }

    ui::PDFCanvasView* canvas() const { return canvas_; }

private:
    std::shared_ptr<TabSession> tab_;
    ui::PDFKitViewRepresentable description_;
    std::unique_ptr<ui::Coordinator> coordinator_;
    ui::PDFCanvasView* canvas_ = nullptr;
};

// Writes the window to a PNG once its visible pages are drawn sharp, then quits.
void screenshotWhenDrawn(DocumentWindow* window, const QString& file) {
    auto* timer = new QTimer(window);
    auto idleTicks = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, window, [window, file, timer, idleTicks] {
        auto& scheduler = window->canvas()->pdfView()->renderScheduler();
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
    QApplication application(argc, argv);
    QApplication::setApplicationName("Ombrix PDF");
    QApplication::setOrganizationName("ombrix-pdf");
    QApplication::setApplicationVersion(OMBRIX_VERSION);

    QCommandLineParser parser;
    parser.setApplicationDescription("Ombrix PDF: read and mark up PDF files.");
    parser.addHelpOption();
    parser.addVersionOption();
    QCommandLineOption screenshot(
        "screenshot", "Write the first window to PNG once its pages are drawn, then quit.", "PNG");
    QCommandLineOption size("size", "The windows' size in logical pixels.", "WxH", "900x1000");
    parser.addOption(screenshot);
    parser.addOption(size);
    parser.addPositionalArgument("files", "PDF files to open.", "[FILE…]");
    parser.process(application);
    const QStringList wh = parser.value(size).split('x');
    const QSize windowSize = wh.size() == 2 ? QSize(wh[0].toInt(), wh[1].toInt()) : QSize();
    if (!windowSize.isValid() || windowSize.isEmpty()) {
        parser.showHelp(2);
    }

    auto queue = ui::QtMainQueue::install();
    auto user = std::make_shared<ui::QtUserInteraction>();
    AppContainer::Options options;
    options.userInteraction = user;
    options.mainQueue = queue;
    AppContainer::configureShared(std::move(options));
    AppContainer& app = AppContainer::shared();
    try {
        app.bootstrap();
    } catch (const std::exception& e) {
        app.logging().error("Launch failed", e);
        return 1;
    }

    std::vector<std::filesystem::path> files;
    for (const QString& file : parser.positionalArguments()) {
        files.emplace_back(file.toStdString());
    }
    if (files.empty()) {
        auto chosen = user->chooseOnePDF();
        if (!chosen) {
            return 0;
        }
        files.push_back(*chosen);
    }

    ui::FileOpener opener(*user, app.logging());
    int windows = 0;
    for (const auto& file : files) {
        opener.open(file, [&](std::shared_ptr<PDFDocument> document) {
            if (document) {
                auto* window = new DocumentWindow(app, std::move(document));
                const QSize screen = window->screen()->availableSize();
                window->resize(std::min(windowSize.width(), screen.width()),
                               std::min(windowSize.height(), screen.height()));
                window->show();
                if (windows++ == 0) {
                    user->setParentWidget(window);
                    if (parser.isSet(screenshot)) {
                        screenshotWhenDrawn(window, parser.value(screenshot));
                    }
                }
            }
            if (opener.pending() == 0 && windows == 0) {
                QApplication::exit(1); // nothing opened: nothing to show
            }
        });
    }
    const int status = QApplication::exec();
    app.shutdown();
    return status;
}
