#include "annotations/AnnotationService.h"
#include "contracts/ContractError.h"
#include "core/TaskQueue.h"
#include "document/BrainLoader.h"
#include "document/BrainStore.h"
#include "document/PDFKitBridge.h"
#include "document/PDFRenderService.h"
#include "handlers/DocumentHandler.h"
#include "support/AppHarness.h"

#include <chrono>
#include <gtest/gtest.h>
#include <set>
#include <stdexcept>

namespace {

using namespace ombrix;
namespace fx = ombrix::testing;

const char* const kBootstrapping = "Bootstrapping L8 (Text) …";
const char* const kBootstrapped = "L8 bootstrapped: 18 contracts, 7 handlers";

bool created(const AppContainer& c, const std::string& name) {
    const auto& all = c.createdServices();
    return std::find(all.begin(), all.end(), name) != all.end();
}

TEST(AppContainerTest, BootstrapBuildsEverythingInOrderAndOnlyOnce) {
    fx::AppHarness h;
    h.app().bootstrap();
    h.app().bootstrap();
    EXPECT_TRUE(h.app().isBootstrapped());
    EXPECT_EQ(h.countLines(kBootstrapping), 1u);
    EXPECT_EQ(h.countLines(kBootstrapped), 1u);

    const std::vector<std::string> expected = {
        "logging",         "eventBus",      "taskQueue",     "settings",      "bridge",
        "renderService",   "brainStore",    "tabManager",    "brainLoader",   "annotationService",
        "undoManager",     "searchService", "layoutEngine",  "registry",      "appHandler",
        "documentHandler", "viewHandler",   "markupHandler", "searchHandler", "layoutHandler",
        "textHandler",     "networkMonitor"};
    EXPECT_EQ(h.app().createdServices(), expected);

    const auto& registry = h.app().registry();
    EXPECT_EQ(registry.contractCount(), 18u);
    EXPECT_EQ(registry.handlerCount(), 7u);
    for (const char* target :
         {"app", "document", "viewer", "markup", "search", "layout", "text_edit"}) {
        EXPECT_TRUE(registry.handler(target)) << target;
    }
    EXPECT_EQ(registry.handler("document"), h.app().documentHandler());

    EXPECT_EQ(h.app().brainStore()->directory(), h.dir / "support" / "OmbrixPdf" / "Brains");
    EXPECT_TRUE(std::filesystem::is_directory(h.app().brainStore()->directory()));
}

TEST(AppContainerTest, ShutdownStopsAndASecondStartFailsOnTheFilledRegistry) {
    fx::AppHarness h;
    h.app().bootstrap();
    h.app().shutdown();
    EXPECT_FALSE(h.app().isBootstrapped());
    EXPECT_TRUE(h.logged("Shutting down …"));
    try {
        h.app().bootstrap();
        FAIL() << "bootstrapped twice over one registry";
    } catch (const Error& e) {
        EXPECT_EQ(e.domain(), "ContractBuilder");
        EXPECT_EQ(e.description().rfind("Builder errors:\n", 0), 0u);
    }
    EXPECT_FALSE(h.app().isBootstrapped());
    EXPECT_EQ(h.countLines(kBootstrapping), 2u);
    EXPECT_EQ(h.countLines(kBootstrapped), 1u);
    EXPECT_EQ(h.app().registry().contractCount(), 18u);
}

TEST(AppContainerTest, TheDocumentHandlerBringsItsCollaboratorsAndSharesThem) {
    fx::AppHarness h;
    auto handler = h.app().documentHandler();
    const std::vector<std::string> expected = {"brainStore",     "bridge",     "logging",
                                               "brainLoader",    "tabManager", "renderService",
                                               "documentHandler"};
    EXPECT_EQ(h.app().createdServices(), expected);

    EXPECT_EQ(handler->brainLoader(), h.app().brainLoader());
    EXPECT_EQ(handler->tabManager(), h.app().tabManager());
    EXPECT_EQ(handler->renderService(), h.app().renderService());
    EXPECT_EQ(handler->brainLoader()->store(), h.app().brainStore());
    EXPECT_EQ(h.app().renderService()->bridge(), h.app().bridge());
    EXPECT_EQ(h.app().annotationService()->bridge(), h.app().bridge());
    EXPECT_EQ(h.app().documentHandler(), handler);

    h.app().bootstrap();
    auto names = h.app().createdServices();
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()).size(), names.size());
}

TEST(AppContainerTest, AStartWithoutOneHandlerFailsValidationAndStaysDown) {
    AppContainer::Options options;
    options.handlers = [](AppContainer& c) {
        auto all = c.defaultHandlers();
        all.pop_back(); // no text_edit handler
        return all;
    };
    fx::AppHarness h(std::move(options));
    try {
        h.app().bootstrap();
        FAIL() << "started without a text handler";
    } catch (const ContractError& e) {
        EXPECT_EQ(e.kind(), ContractError::Kind::unregisteredTarget);
        EXPECT_NE(e.description().find("text_edit"), std::string::npos) << e.description();
    }
    EXPECT_FALSE(h.app().isBootstrapped());
    EXPECT_FALSE(h.logged(kBootstrapped));
    EXPECT_FALSE(created(h.app(), "networkMonitor"));
    EXPECT_EQ(h.app().registry().handlerCount(), 6u);
}

TEST(AppContainerTest, TabsLoadAnnotationsLazilyAndClosingForgetsTheRenders) {
    fx::AppHarness h;
    h.app().tabManager();
    EXPECT_FALSE(created(h.app(), "annotationService"));

    h.app().documentHandler()->handle(DispatchContext{
        ActionID::docOpen, "Menu", {{"url", h.pdf(fx::everyAnnotationDocument(), "a.pdf")}}});
    EXPECT_TRUE(created(h.app(), "annotationService"));
    auto tab = h.activeTab();
    ASSERT_TRUE(tab);
    EXPECT_FALSE(tab->annotations.get().empty());
    EXPECT_EQ(h.app().renderService()->cachedCount(), 1u);

    h.app().tabManager()->closeTab(*tab);
    EXPECT_EQ(h.app().renderService()->cachedCount(), 0u);
}

TEST(AppContainerTest, ATabManagerOutlivingItsContainerLoadsNothing) {
    std::shared_ptr<TabManager> tabs;
    std::shared_ptr<PDFDocument> document;
    {
        fx::AppHarness h;
        tabs = h.app().tabManager();
        document = h.app().bridge()->open(h.pdf(fx::everyAnnotationDocument(), "a.pdf"));
    }
    auto tab = tabs->openDocument(document);
    EXPECT_TRUE(tab->annotations.get().empty());
    EXPECT_NO_THROW(tabs->closeTab(*tab));
}

TEST(AppContainerTest, FailedBackgroundTasksAreLogged) {
    fx::AppHarness h;
    auto queue = h.app().taskQueue();
    EXPECT_EQ(queue->label(), "com.ombrix.main");
    queue->enqueue([] { throw std::runtime_error("disk gone"); });
    ASSERT_TRUE(queue->waitUntilIdle(std::chrono::seconds(30)));
    EXPECT_TRUE(h.logged("Background task failed: disk gone"));
}

TEST(AppContainerTest, TheSharedContainerTakesItsOptionsOnlyBeforeItExists) {
    // Nothing else in this program touches the shared container.
    AppContainer::Options options;
    auto sink = std::make_shared<MemorySink>();
    options.logSink = sink;
    EXPECT_TRUE(AppContainer::configureShared(options));
    AppContainer& shared = AppContainer::shared();
    EXPECT_EQ(&AppContainer::shared(), &shared);
    EXPECT_FALSE(AppContainer::configureShared({}));
    shared.logging().info("hello");
    EXPECT_EQ(sink->lines(), std::vector<std::string>{"hello"});
}

} // namespace
