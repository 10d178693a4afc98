#include "handlers/DocumentHandler.h"

#include "core/Error.h"
#include "core/UserInteraction.h"
#include "document/BrainLoader.h"
#include "document/PDFKitBridge.h"
#include "document/PDFRenderService.h"
#include "tabs/TabManager.h"

#include <filesystem>

namespace ombrix {

DocumentHandler::DocumentHandler(std::shared_ptr<BrainLoader> brainLoader,
                                 std::shared_ptr<TabManager> tabManager,
                                 std::shared_ptr<PDFRenderService> renderService, Logging logging,
                                 std::shared_ptr<PDFKitBridge> bridge,
                                 std::shared_ptr<UserInteraction> userInteraction)
    : brainLoader_(std::move(brainLoader)), tabManager_(std::move(tabManager)),
      renderService_(std::move(renderService)), logging_(std::move(logging)),
      bridge_(std::move(bridge)), userInteraction_(std::move(userInteraction)) {}

Outcome DocumentHandler::handle(const DispatchContext& context) {
    switch (context.action) {
    case ActionID::docOpen:
        open(context);
        return Outcome::done();
    case ActionID::docSave:
        return save();
    default:
        return Outcome::done();
    }
}

void DocumentHandler::open(const DispatchContext& context) {
    auto url = context.value<std::filesystem::path>("url");
    if (!url && userInteraction_) {
        url = userInteraction_->chooseOnePDF();
    }
    if (!url || url->empty()) {
        return;
    }
    if (desktop_.open) {
        desktop_.open(*url);
        return;
    }

    auto document = brainLoader_->load(*url).document;
    auto tab = tabManager_->openDocument(document);
    try {
        tab->renderedImage = renderService_->renderPage(*document, 0, kFirstPageSize);
    } catch (const std::exception& e) {
        tab->errorMessage = "Render failed: " + describe(e);
    }
}

Outcome DocumentHandler::save() {
    auto tab = tabManager_->activeTab();
    if (!tab || !bridge_ || !PDFKitBridge::engineDocument(*tab->document)) {
        return Outcome::done();
    }
    if (desktop_.save) {
        desktop_.save(tab);
        return Outcome::done();
    }
    return saveTab(tab);
}

Outcome DocumentHandler::saveTab(const std::shared_ptr<TabSession>& tab) {
    if (!tab || !bridge_) {
        return Outcome::failed("Nothing to save.");
    }
    PDFDocument& document = *tab->document;
    // The bridge serialises the whole document and replaces the file atomically, so a
    // failure at any step, serialising included, leaves the file as it was.
    try {
        bridge_->saveAnnotations(document);
    } catch (const Error& e) {
        logging_.error("❌ Failed to save PDF: " + e.description());
        return Outcome::failed("Failed to save PDF: " + e.description(), e.code());
    } catch (const std::exception& e) {
        logging_.error("❌ Failed to save PDF: " + describe(e));
        return Outcome::failed("Failed to save PDF: " + describe(e));
    }
    document.markClean();
    logging_.info("✅ PDF successfully saved to " + document.url.filename().string());
    return Outcome::done();
}

} // namespace ombrix
