#include "handlers/LayoutHandler.h"

#include "document/ActiveViews.h"
#include "pdfkit/ViewPort.h"
#include "search/LayoutEngine.h"
#include "tabs/TabManager.h"

#include <optional>

namespace ombrix {

LayoutHandler::LayoutHandler(std::shared_ptr<TabManager> tabManager,
                             std::shared_ptr<LayoutEngine> layoutEngine,
                             std::shared_ptr<const ActiveViews> views)
    : tabManager_(std::move(tabManager)),
      layoutEngine_(layoutEngine ? std::move(layoutEngine) : std::make_shared<LayoutEngine>()),
      views_(std::move(views)) {}

Outcome LayoutHandler::handle(const DispatchContext& context) {
    auto tab = tabManager_->activeTab();
    auto view = views_ ? views_->pdfView : nullptr;
    if (!tab || !view) {
        return Outcome::done();
    }
    std::optional<LayoutMode> mode;
    switch (context.action) {
    case ActionID::layoutSingle:
        mode = LayoutMode::single;
        break;
    case ActionID::layoutTwo:
        mode = LayoutMode::twoUp;
        break;
    case ActionID::layoutContinuous:
        mode = LayoutMode::continuous;
        break;
    default:
        return Outcome::done();
    }
    tab->layout = *mode;
    // The engine's table is this handler's: single page vertical without breaks, two up
    // horizontal without breaks, continuous vertical with breaks.
    layoutEngine_->apply(*mode, *view);
    return Outcome::done();
}

} // namespace ombrix
