#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "contracts/ActionHandler.h"
#include "core/Logging.h"

#include <memory>

namespace ombrix {

class TabManager;

// "viewer": zoom and page stepping on the active tab.
class ViewHandler final : public ActionHandler {
public:
    // This handler's own zoom rules; the tab's zoom operations use a different step.
    static constexpr double kZoomStep = 0.1;
    static constexpr double kMinZoom = 0.25;
    static constexpr double kMaxZoom = 4.0;

    ViewHandler(std::shared_ptr<TabManager> tabManager, Logging logging);

    std::string targetName() const override { return "viewer"; }
    Outcome handle(const DispatchContext& context) override;

    const std::shared_ptr<TabManager>& tabManager() const { return tabManager_; }

private:
    std::shared_ptr<TabManager> tabManager_;
    Logging logging_;
};

} // namespace ombrix

OMBRIX_API_END
