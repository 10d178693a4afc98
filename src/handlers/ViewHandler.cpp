#include "handlers/ViewHandler.h"

#include "tabs/TabManager.h"

#include <algorithm>

namespace ombrix {

ViewHandler::ViewHandler(std::shared_ptr<TabManager> tabManager, Logging logging)
    : tabManager_(std::move(tabManager)), logging_(std::move(logging)) {}

Outcome ViewHandler::handle(const DispatchContext& context) {
    auto tab = tabManager_->activeTab();
    if (!tab) {
        return Outcome::done();
    }
    const double zoom = tab->zoom.get();
    const int page = tab->currentPage.get();
    switch (context.action) {
    case ActionID::viewZoomIn:
        tab->zoom = std::min(zoom + kZoomStep, kMaxZoom);
        break;
    case ActionID::viewZoomOut:
        tab->zoom = std::max(zoom - kZoomStep, kMinZoom);
        break;
    case ActionID::viewZoomFit:
        tab->zoom = 1.0;
        break;
    case ActionID::viewNextPage:
        if (page < tab->document->pageCount - 1) {
            tab->currentPage = page + 1;
        }
        break;
    case ActionID::viewPrevPage:
        if (page >= 1) {
            tab->currentPage = page - 1;
        }
        break;
    default:
        logging_.debug("ViewHandler: unhandled " + std::string(rawValue(context.action)));
        break;
    }
    return Outcome::done();
}

} // namespace ombrix
