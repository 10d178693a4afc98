#include "handlers/AppHandler.h"

#include "core/UserInteraction.h"

namespace ombrix {

AppHandler::AppHandler(Logging logging, std::shared_ptr<UserInteraction> userInteraction)
    : logging_(std::move(logging)), userInteraction_(std::move(userInteraction)) {}

Outcome AppHandler::handle(const DispatchContext& context) {
    switch (context.action) {
    case ActionID::appQuit:
        if (userInteraction_) {
            userInteraction_->requestTermination();
        }
        break;
    case ActionID::appAbout:
        logging_.info("About OmbrixPdf clicked");
        break;
    case ActionID::appPreferences:
        logging_.info("Preferences clicked");
        break;
    default:
        break;
    }
    return Outcome::done();
}

} // namespace ombrix
