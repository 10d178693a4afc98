#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "contracts/ActionHandler.h"

#include <memory>

namespace ombrix {

struct ActiveViews;
class LayoutEngine;
class TabManager;

// "layout": sets the active tab's layout and the on-screen PDF view's display mode,
// direction and page breaks. Does nothing while no PDF view is on screen.
class LayoutHandler final : public ActionHandler {
public:
    LayoutHandler(std::shared_ptr<TabManager> tabManager,
                  std::shared_ptr<LayoutEngine> layoutEngine,
                  std::shared_ptr<const ActiveViews> views);

    std::string targetName() const override { return "layout"; }
    Outcome handle(const DispatchContext& context) override;

    const std::shared_ptr<TabManager>& tabManager() const { return tabManager_; }
    const std::shared_ptr<LayoutEngine>& layoutEngine() const { return layoutEngine_; }

private:
    std::shared_ptr<TabManager> tabManager_;
    std::shared_ptr<LayoutEngine> layoutEngine_;
    std::shared_ptr<const ActiveViews> views_;
};

} // namespace ombrix

OMBRIX_API_END
