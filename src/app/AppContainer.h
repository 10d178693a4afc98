#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "app/AppSettings.h"
#include "core/Clock.h"
#include "core/Geometry.h"
#include "core/LogSink.h"
#include "core/Logging.h"
#include "document/ActiveViews.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ombrix {

class ActionHandler;
class AnnotationService;
class AppHandler;
class AppUndoManager;
class MarkupController;
class BrainLoader;
class BrainStore;
class ContractRegistry;
class DocumentHandler;
class EventBus;
class Executor;
class LayoutEngine;
class LayoutHandler;
class MarkupHandler;
class NetworkMonitor;
class PDFKitBridge;
class PDFRenderService;
class SearchHandler;
class SearchService;
class TabManager;
class TaskQueue;
class TextHandler;
class UserInteraction;
class ViewHandler;

namespace pdfkit {
class ViewPort;
}

// The root of the running application: creates each long-lived service on first use and
// keeps it for the life of the container, and starts and stops the action machinery.
// Main thread only. The desktop app and the command-line tool use the process-wide
// shared() container; tests make their own.
class AppContainer {
public:
    struct Options {
        std::shared_ptr<LogSink> logSink; // null: the system log
        // None: the standard settings store file, read on first access to settings().
        std::optional<std::filesystem::path> preferencesFile;
        // None (or empty): the platform's application-support folder; sidecars go in
        // "OmbrixPdf/Brains" below it.
        std::optional<std::filesystem::path> supportDirectory;
        std::shared_ptr<UserInteraction> userInteraction; // null: a headless one
        std::shared_ptr<Executor> mainQueue; // null: the process main queue at each use
        std::shared_ptr<Clock> clock;        // null: the system clock
        // The handlers start-up registers, in order; empty: the seven domain handlers.
        std::function<std::vector<std::shared_ptr<ActionHandler>>(AppContainer&)> handlers;
    };

    // The process-wide container, created on first access and never destroyed.
    static AppContainer& shared();
    // The options shared() will be created with. False, changing nothing, once it exists.
    static bool configureShared(Options options);

    explicit AppContainer(Options options = {});
    ~AppContainer();
    AppContainer(const AppContainer&) = delete;
    AppContainer& operator=(const AppContainer&) = delete;

    bool isBootstrapped() const { return isBootstrapped_; }

    // Builds and validates the contracts and handlers once; a second call does nothing.
    // Throws the builder's or the validator's error, leaving the container not
    // bootstrapped and the services created so far in place.
    void bootstrap();
    // Marks the container stopped. Releases nothing: a later bootstrap() fills the same
    // registry again and fails on the duplicate contracts.
    void shutdown();

    // Undo and redo have no contract; they go straight to the markup handler.
    void undo();
    void redo();

    // What is on screen; the canvas sets both when it creates its view.
    std::shared_ptr<pdfkit::ViewPort> activePDFView() const { return views_->pdfView; }
    void setActivePDFView(std::shared_ptr<pdfkit::ViewPort> view) {
        views_->pdfView = std::move(view);
    }
    std::shared_ptr<CanvasTarget> activePDFCanvas() const { return views_->canvas; }
    void setActivePDFCanvas(std::shared_ptr<CanvasTarget> canvas) {
        views_->canvas = std::move(canvas);
    }
    std::shared_ptr<const ActiveViews> activeViews() const { return views_; }
    // The last rectangle dragged out on the canvas, written by the canvas and the toolbar.
    std::optional<Rect> lastDragBounds;

    // The lazily created services, in declaration order.
    Logging& logging();
    std::shared_ptr<EventBus> eventBus();
    std::shared_ptr<TaskQueue> taskQueue();
    AppSettings& settings();
    // Writes settings() to the store it was read from; gives up silently as save() does.
    void saveSettings();
    std::shared_ptr<PDFKitBridge> bridge();
    std::shared_ptr<PDFRenderService> renderService();
    std::shared_ptr<BrainStore> brainStore();
    std::shared_ptr<TabManager> tabManager();
    std::shared_ptr<BrainLoader> brainLoader();
    std::shared_ptr<AnnotationService> annotationService();
    std::shared_ptr<AppUndoManager> undoManager();
    // The markup rules every view and the command line go through; made on first use.
    std::shared_ptr<MarkupController> markupController();
    std::shared_ptr<SearchService> searchService();
    std::shared_ptr<LayoutEngine> layoutEngine();
    ContractRegistry& registry();
    std::shared_ptr<DocumentHandler> documentHandler();
    std::shared_ptr<ViewHandler> viewHandler();
    std::shared_ptr<MarkupHandler> markupHandler();
    std::shared_ptr<SearchHandler> searchHandler();
    std::shared_ptr<LayoutHandler> layoutHandler();
    std::shared_ptr<TextHandler> textHandler();
    std::shared_ptr<AppHandler> appHandler();
    NetworkMonitor& networkMonitor();

    // Not lazily created: given at construction.
    const std::shared_ptr<UserInteraction>& userInteraction() const { return userInteraction_; }
    // The injected main queue, else the process main queue.
    Executor& mainQueue() const;

    // The services created so far by name, in the order they were created.
    const std::vector<std::string>& createdServices() const { return created_; }

    // The seven domain handlers in registration order: app, document, viewer, markup,
    // search, layout, text_edit.
    std::vector<std::shared_ptr<ActionHandler>> defaultHandlers();

private:
    void noteCreated(const char* name) { created_.emplace_back(name); }

    Options options_;
    std::shared_ptr<UserInteraction> userInteraction_;
    std::shared_ptr<Clock> clock_;
    std::shared_ptr<ActiveViews> views_;
    // Closures handed to services check it before using the container.
    std::shared_ptr<int> alive_;
    bool isBootstrapped_ = false;
    std::vector<std::string> created_;

    std::optional<Logging> logging_;
    std::shared_ptr<EventBus> eventBus_;
    std::shared_ptr<TaskQueue> taskQueue_;
    std::optional<AppSettings> settings_;
    std::shared_ptr<PDFKitBridge> bridge_;
    std::shared_ptr<PDFRenderService> renderService_;
    std::shared_ptr<BrainStore> brainStore_;
    std::shared_ptr<TabManager> tabManager_;
    std::shared_ptr<BrainLoader> brainLoader_;
    std::shared_ptr<AnnotationService> annotationService_;
    std::shared_ptr<AppUndoManager> undoManager_;
    std::shared_ptr<MarkupController> markupController_;
    std::shared_ptr<SearchService> searchService_;
    std::shared_ptr<LayoutEngine> layoutEngine_;
    std::unique_ptr<ContractRegistry> registry_;
    std::shared_ptr<DocumentHandler> documentHandler_;
    std::shared_ptr<ViewHandler> viewHandler_;
    std::shared_ptr<MarkupHandler> markupHandler_;
    std::shared_ptr<SearchHandler> searchHandler_;
    std::shared_ptr<LayoutHandler> layoutHandler_;
    std::shared_ptr<TextHandler> textHandler_;
    std::shared_ptr<AppHandler> appHandler_;
    NetworkMonitor* networkMonitor_ = nullptr;
};

} // namespace ombrix

OMBRIX_API_END
