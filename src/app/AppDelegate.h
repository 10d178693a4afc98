#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include <filesystem>
#include <memory>
#include <vector>

namespace ombrix {

class AppContainer;
class Menu;

// The application's side of the platform events: launch, terminate, files handed over by
// the file manager, and the Find menu command. The desktop app forwards its events here;
// the menu bar it shows is the model given at construction. Main thread only; the
// container must outlive the jobs the delegate schedules.
class AppDelegate {
public:
    static constexpr const char* kFindNotification = "FindCommandTriggered";
    static constexpr const char* kFindItemTitle = "Find...";

    // A null menu bar means there is no menu to install the Find item into.
    explicit AppDelegate(AppContainer& container, std::shared_ptr<Menu> mainMenu = nullptr);

    // Starts the container. On failure logs "Launch failed: <error>" and asks the
    // application to terminate; on success installs the Find item in the Edit menu.
    void applicationDidFinishLaunching();
    void applicationWillTerminate();
    // One main-queue job per file, in the order given, each dispatching "doc.open" from
    // "Finder"; a failed open is logged and otherwise ignored.
    void applicationOpenURLs(const std::vector<std::filesystem::path>& urls);
    // Posts "FindCommandTriggered" to the default notification centre.
    void triggerFind();

    void undo();
    void redo();

    AppContainer& container() const { return container_; }
    const std::shared_ptr<Menu>& mainMenu() const { return mainMenu_; }

private:
    void installFindItem();

    AppContainer& container_;
    std::shared_ptr<Menu> mainMenu_;
};

} // namespace ombrix

OMBRIX_API_END
