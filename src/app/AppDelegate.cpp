#include "app/AppDelegate.h"

#include "app/AppContainer.h"
#include "app/AppLifecycle.h"
#include "app/MenuModel.h"
#include "contracts/ContractRegistry.h"
#include "core/Executor.h"
#include "core/NotificationCenter.h"
#include "core/UserInteraction.h"

namespace ombrix {

AppDelegate::AppDelegate(AppContainer& container, std::shared_ptr<Menu> mainMenu)
    : container_(container), mainMenu_(std::move(mainMenu)) {}

void AppDelegate::applicationDidFinishLaunching() {
    try {
        AppLifecycle(container_).start();
    } catch (const std::exception& e) {
        container_.logging().error("Launch failed", e);
        if (const auto& ui = container_.userInteraction()) {
            ui->requestTermination();
        }
        return;
    }
    installFindItem();
}

void AppDelegate::applicationWillTerminate() {
    AppLifecycle(container_).stop();
}

void AppDelegate::applicationOpenURLs(const std::vector<std::filesystem::path>& urls) {
    for (const auto& url : urls) {
        container_.mainQueue().post([&container = container_, url] {
            try {
                container.registry().dispatch(ActionID::docOpen, "Finder", {{"url", url}});
            } catch (const std::exception& e) {
                container.logging().error("Failed to open PDF from Finder", e);
            }
        });
    }
}

void AppDelegate::triggerFind() {
    NotificationCenter::defaultCenter().post(kFindNotification);
}

void AppDelegate::undo() {
    container_.undo();
}

void AppDelegate::redo() {
    container_.redo();
}

void AppDelegate::installFindItem() {
    if (!mainMenu_) {
        return;
    }
    MenuItem* edit = mainMenu_->item("Edit");
    if (!edit || !edit->submenu) {
        return;
    }
    edit->submenu->removeFirst(kFindItemTitle);
    edit->submenu->append(MenuItem{kFindItemTitle, "f", static_cast<unsigned>(KeyModifier::command),
                                   [this] { triggerFind(); }, nullptr});
}

} // namespace ombrix
