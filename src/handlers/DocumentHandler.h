#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "contracts/ActionHandler.h"
#include "core/Geometry.h"
#include "core/Logging.h"

#include <filesystem>
#include <functional>
#include <memory>

namespace ombrix {

class BrainLoader;
class PDFKitBridge;
class PDFRenderService;
class TabManager;
class TabSession;
class UserInteraction;

// "document": opening a file into a new tab and saving the active tab's document.
class DocumentHandler final : public ActionHandler {
public:
    // The size the first page of a newly opened document is rendered at.
    static constexpr Size kFirstPageSize{1600, 1600};

    DocumentHandler(std::shared_ptr<BrainLoader> brainLoader,
                    std::shared_ptr<TabManager> tabManager,
                    std::shared_ptr<PDFRenderService> renderService, Logging logging,
                    std::shared_ptr<PDFKitBridge> bridge,
                    std::shared_ptr<UserInteraction> userInteraction);

    // Opening and saving as a desktop app does it: `open` takes the file chosen or handed
    // over (it opens off the main thread and asks for passwords), `save` the active tab
    // (it asks the user when a save fails). Without them both run here, synchronously.
    struct Desktop {
        std::function<void(const std::filesystem::path&)> open;
        std::function<void(const std::shared_ptr<TabSession>&)> save;
    };
    void setDesktop(Desktop desktop) { desktop_ = std::move(desktop); }

    std::string targetName() const override { return "document"; }
    // "doc.open" passes on the loader's failure; a save that fails says why in its outcome
    // (the desktop's save tells the user itself).
    Outcome handle(const DispatchContext& context) override;

    // Writes the tab's document over its file and marks it clean: the one save every path
    // (the dispatched action, the desktop's Save and Close dialogs) goes through. A failure
    // is logged and its outcome carries the bridge's error code
    // (PDFKitBridge::kChangedOnDisk: another program changed the file) and the reason.
    Outcome saveTab(const std::shared_ptr<TabSession>& tab);

    const std::shared_ptr<BrainLoader>& brainLoader() const { return brainLoader_; }
    const std::shared_ptr<TabManager>& tabManager() const { return tabManager_; }
    const std::shared_ptr<PDFRenderService>& renderService() const { return renderService_; }
    const Logging& logging() const { return logging_; }

private:
    void open(const DispatchContext& context);
    Outcome save();

    std::shared_ptr<BrainLoader> brainLoader_;
    std::shared_ptr<TabManager> tabManager_;
    std::shared_ptr<PDFRenderService> renderService_;
    Logging logging_;
    std::shared_ptr<PDFKitBridge> bridge_;
    std::shared_ptr<UserInteraction> userInteraction_;
    Desktop desktop_;
};

} // namespace ombrix

OMBRIX_API_END
