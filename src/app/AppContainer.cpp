#include "app/AppContainer.h"

#include "annotations/AnnotationService.h"
#include "annotations/AppUndoManager.h"
#include "annotations/MarkupController.h"
#include "app/DependencyGraph.h"
#include "app/PreferencesStore.h"
#include "contracts/ContractBuilder.h"
#include "contracts/ContractGroups.h"
#include "contracts/ContractRegistry.h"
#include "contracts/ContractValidator.h"
#include "core/EventBus.h"
#include "core/Executor.h"
#include "core/NetworkMonitor.h"
#include "core/StandardPaths.h"
#include "core/TaskQueue.h"
#include "core/UserInteraction.h"
#include "document/BrainLoader.h"
#include "document/BrainStore.h"
#include "document/PDFKitBridge.h"
#include "document/PDFRenderService.h"
#include "handlers/AppHandler.h"
#include "handlers/DocumentHandler.h"
#include "handlers/LayoutHandler.h"
#include "handlers/MarkupHandler.h"
#include "handlers/SearchHandler.h"
#include "handlers/TextHandler.h"
#include "handlers/ViewHandler.h"
#include "pdfkit/ViewPort.h"
#include "search/LayoutEngine.h"
#include "search/SearchService.h"
#include "tabs/TabManager.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace ombrix {

namespace {

std::mutex& sharedMutex() {
    static std::mutex mutex;
    return mutex;
}
AppContainer*& sharedInstance() {
    static AppContainer* instance = nullptr;
    return instance;
}
AppContainer::Options& sharedOptions() {
    static AppContainer::Options options;
    return options;
}

} // namespace

AppContainer& AppContainer::shared() {
    std::lock_guard lock(sharedMutex());
    AppContainer*& instance = sharedInstance();
    if (!instance) {
        // Never destroyed: services live as long as the process, and nothing at exit
        // may find one of them gone.
        instance = new AppContainer(std::move(sharedOptions()));
    }
    return *instance;
}

bool AppContainer::configureShared(Options options) {
    std::lock_guard lock(sharedMutex());
    if (sharedInstance()) {
        return false;
    }
    sharedOptions() = std::move(options);
    return true;
}

AppContainer::AppContainer(Options options)
    : options_(std::move(options)),
      userInteraction_(options_.userInteraction ? options_.userInteraction
                                                : std::make_shared<HeadlessUserInteraction>()),
      clock_(options_.clock ? options_.clock : systemClock()),
      views_(std::make_shared<ActiveViews>()), alive_(std::make_shared<int>(0)) {}

AppContainer::~AppContainer() {
    alive_.reset();
}

Executor& AppContainer::mainQueue() const {
    return options_.mainQueue ? *options_.mainQueue : ombrix::mainQueue();
}

// ---- Start and stop ----

void AppContainer::bootstrap() {
    if (isBootstrapped_) {
        return;
    }
    logging().info("Bootstrapping L8 (Text) …");
    if (!DependencyGraph::validate()) {
        std::fputs("DependencyGraph: the build order must hold 8 distinct names\n", stderr);
        std::abort();
    }

    eventBus();
    taskQueue();
    settings();
    bridge();
    renderService();
    brainStore();
    tabManager();
    brainLoader();
    annotationService();
    undoManager();
    searchService();
    layoutEngine();

    ContractBuilder builder(registry());
    AppContracts::registerWith(builder);
    DocumentContracts::registerWith(builder);
    ViewContracts::registerWith(builder);
    MarkupContracts::registerWith(builder);
    SearchContracts::registerWith(builder);
    LayoutContracts::registerWith(builder);
    TextContracts::registerWith(builder);

    auto handlers = options_.handlers ? options_.handlers(*this) : defaultHandlers();
    for (auto& handler : handlers) {
        builder.registerHandler(std::move(handler));
    }
    builder.finish();
    ContractValidator::validate(registry());

    networkMonitor();
    isBootstrapped_ = true;
    logging().info("L8 bootstrapped: " + std::to_string(registry().contractCount()) +
                   " contracts, " + std::to_string(registry().handlerCount()) + " handlers");
}

void AppContainer::shutdown() {
    logging().info("Shutting down …");
    isBootstrapped_ = false;
}

std::vector<std::shared_ptr<ActionHandler>> AppContainer::defaultHandlers() {
    return {appHandler(),    documentHandler(), viewHandler(), markupHandler(),
            searchHandler(), layoutHandler(),   textHandler()};
}

void AppContainer::undo() {
    (void)markupHandler()->handle(DispatchContext{ActionID::editUndo, "Menu", {}});
}

void AppContainer::redo() {
    (void)markupHandler()->handle(DispatchContext{ActionID::editRedo, "Menu", {}});
}

// ---- Services ----

Logging& AppContainer::logging() {
    if (!logging_) {
        logging_.emplace(Logging::kSubsystem, Logging::kCategory,
                         options_.logSink ? options_.logSink : defaultLogSink());
        noteCreated("logging");
    }
    return *logging_;
}

std::shared_ptr<EventBus> AppContainer::eventBus() {
    if (!eventBus_) {
        eventBus_ = std::make_shared<EventBus>();
        noteCreated("eventBus");
    }
    return eventBus_;
}

std::shared_ptr<TaskQueue> AppContainer::taskQueue() {
    if (!taskQueue_) {
        auto queue = std::make_shared<TaskQueue>("com.ombrix.main");
        // Runs on the queue's thread: holds its own copy of the logging facade.
        queue->setFailureHandler([log = logging()](const std::exception_ptr& error) {
            log.error("Background task failed", error);
        });
        taskQueue_ = std::move(queue);
        noteCreated("taskQueue");
    }
    return taskQueue_;
}

AppSettings& AppContainer::settings() {
    if (!settings_) {
        settings_ = AppSettings::load(PreferencesStore(options_.preferencesFile
                                                           ? *options_.preferencesFile
                                                           : PreferencesStore::standardPath()));
        noteCreated("settings");
    }
    return *settings_;
}

void AppContainer::saveSettings() {
    PreferencesStore store(options_.preferencesFile ? *options_.preferencesFile
                                                    : PreferencesStore::standardPath());
    settings().save(store);
}

std::shared_ptr<PDFKitBridge> AppContainer::bridge() {
    if (!bridge_) {
        bridge_ = std::make_shared<PDFKitBridge>();
        noteCreated("bridge");
    }
    return bridge_;
}

std::shared_ptr<PDFRenderService> AppContainer::renderService() {
    if (!renderService_) {
        renderService_ = std::make_shared<PDFRenderService>(bridge());
        noteCreated("renderService");
    }
    return renderService_;
}

std::shared_ptr<BrainStore> AppContainer::brainStore() {
    if (!brainStore_) {
        std::filesystem::path support =
            options_.supportDirectory ? *options_.supportDirectory : std::filesystem::path();
        if (support.empty()) {
            // Falls back to ~/.local/share itself when XDG_DATA_HOME is unusable.
            support = applicationSupportDirectory();
        }
        brainStore_ = std::make_shared<BrainStore>(support / "OmbrixPdf" / "Brains");
        noteCreated("brainStore");
    }
    return brainStore_;
}

std::shared_ptr<TabManager> AppContainer::tabManager() {
    if (!tabManager_) {
        auto manager = std::make_shared<TabManager>();
        // Both reach back lazily: making the tab manager must not make the annotation
        // service, and a render cache that was never made holds nothing to drop.
        std::weak_ptr<int> alive = alive_;
        manager->setAnnotationLoader([this, alive](const PDFDocument& document) {
            if (alive.expired()) {
                return std::vector<AnnotationRecord>{};
            }
            return annotationService()->loadAll(document);
        });
        manager->setDocumentClosedHandler([this, alive](const PDFDocument& document) {
            if (!alive.expired() && renderService_) {
                renderService_->removeDocument(document.id);
            }
        });
        tabManager_ = std::move(manager);
        noteCreated("tabManager");
    }
    return tabManager_;
}

std::shared_ptr<BrainLoader> AppContainer::brainLoader() {
    if (!brainLoader_) {
        auto store = brainStore();
        auto engine = bridge();
        brainLoader_ =
            std::make_shared<BrainLoader>(std::move(store), std::move(engine), logging(), clock_);
        noteCreated("brainLoader");
    }
    return brainLoader_;
}

std::shared_ptr<AnnotationService> AppContainer::annotationService() {
    if (!annotationService_) {
        annotationService_ = std::make_shared<AnnotationService>(bridge());
        noteCreated("annotationService");
    }
    return annotationService_;
}

std::shared_ptr<AppUndoManager> AppContainer::undoManager() {
    if (!undoManager_) {
        undoManager_ = std::make_shared<AppUndoManager>();
        noteCreated("undoManager");
    }
    return undoManager_;
}

std::shared_ptr<MarkupController> AppContainer::markupController() {
    if (!markupController_) {
        markupController_ = std::make_shared<MarkupController>(undoManager(), userInteraction());
    }
    return markupController_;
}

std::shared_ptr<SearchService> AppContainer::searchService() {
    if (!searchService_) {
        searchService_ = std::make_shared<SearchService>();
        noteCreated("searchService");
    }
    return searchService_;
}

std::shared_ptr<LayoutEngine> AppContainer::layoutEngine() {
    if (!layoutEngine_) {
        layoutEngine_ = std::make_shared<LayoutEngine>();
        noteCreated("layoutEngine");
    }
    return layoutEngine_;
}

ContractRegistry& AppContainer::registry() {
    if (!registry_) {
        registry_ = std::make_unique<ContractRegistry>();
        noteCreated("registry");
    }
    return *registry_;
}

std::shared_ptr<DocumentHandler> AppContainer::documentHandler() {
    if (!documentHandler_) {
        auto loader = brainLoader();
        auto tabs = tabManager();
        auto renderer = renderService();
        documentHandler_ = std::make_shared<DocumentHandler>(std::move(loader), std::move(tabs),
                                                             std::move(renderer), logging(),
                                                             bridge(), userInteraction_);
        noteCreated("documentHandler");
    }
    return documentHandler_;
}

std::shared_ptr<ViewHandler> AppContainer::viewHandler() {
    if (!viewHandler_) {
        auto tabs = tabManager();
        viewHandler_ = std::make_shared<ViewHandler>(std::move(tabs), logging());
        noteCreated("viewHandler");
    }
    return viewHandler_;
}

std::shared_ptr<MarkupHandler> AppContainer::markupHandler() {
    if (!markupHandler_) {
        auto tabs = tabManager();
        auto annotations = annotationService();
        auto undo = undoManager();
        // Redraws run later on the main queue and look the views up then.
        std::weak_ptr<ActiveViews> views = views_;
        RedrawTargets redraw{[views] {
                                 if (auto v = views.lock(); v && v->pdfView) {
                                     v->pdfView->setNeedsDisplay();
                                 }
                             },
                             [views] {
                                 if (auto v = views.lock(); v && v->canvas) {
                                     v->canvas->setNeedsDisplay();
                                 }
                             }};
        markupHandler_ =
            std::make_shared<MarkupHandler>(std::move(tabs), std::move(annotations),
                                            std::move(undo), std::move(redraw), markupController());
        noteCreated("markupHandler");
    }
    return markupHandler_;
}

std::shared_ptr<SearchHandler> AppContainer::searchHandler() {
    if (!searchHandler_) {
        auto tabs = tabManager();
        auto search = searchService();
        searchHandler_ = std::make_shared<SearchHandler>(std::move(tabs), std::move(search),
                                                         eventBus(), options_.mainQueue, clock_);
        noteCreated("searchHandler");
    }
    return searchHandler_;
}

std::shared_ptr<LayoutHandler> AppContainer::layoutHandler() {
    if (!layoutHandler_) {
        auto tabs = tabManager();
        auto engine = layoutEngine();
        layoutHandler_ =
            std::make_shared<LayoutHandler>(std::move(tabs), std::move(engine), views_);
        noteCreated("layoutHandler");
    }
    return layoutHandler_;
}

std::shared_ptr<TextHandler> AppContainer::textHandler() {
    if (!textHandler_) {
        auto tabs = tabManager();
        auto undo = undoManager();
        textHandler_ = std::make_shared<TextHandler>(std::move(tabs), std::move(undo), views_,
                                                     markupController());
        noteCreated("textHandler");
    }
    return textHandler_;
}

std::shared_ptr<AppHandler> AppContainer::appHandler() {
    if (!appHandler_) {
        appHandler_ = std::make_shared<AppHandler>(logging(), userInteraction_);
        noteCreated("appHandler");
    }
    return appHandler_;
}

NetworkMonitor& AppContainer::networkMonitor() {
    if (!networkMonitor_) {
        networkMonitor_ = &NetworkMonitor::shared();
        noteCreated("networkMonitor");
    }
    return *networkMonitor_;
}

} // namespace ombrix
