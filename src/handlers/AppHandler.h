#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "contracts/ActionHandler.h"
#include "core/Logging.h"

#include <memory>

namespace ombrix {

class UserInteraction;

// "app": quitting, and the about and preferences commands, which only log for now.
class AppHandler final : public ActionHandler {
public:
    AppHandler(Logging logging, std::shared_ptr<UserInteraction> userInteraction);

    std::string targetName() const override { return "app"; }
    Outcome handle(const DispatchContext& context) override;

private:
    Logging logging_;
    std::shared_ptr<UserInteraction> userInteraction_;
};

} // namespace ombrix

OMBRIX_API_END
