#pragma once

#include "core/Signal.h"

#include <string>

namespace ombrix::ui {

// What the window itself remembers across tabs: the search text and which side panel and
// canvas mode are on. The views observe it and redraw; GUI thread only.
class WindowState {
public:
    Observable<std::string> searchText;
    Observable<bool> showSearch{false};
    Observable<bool> showSidebar{false};
    // The document's contents (its outline) in the side area, below search in rank.
    Observable<bool> showContents{false};
    Observable<bool> isTextMode{false};
    Observable<bool> isShapeMode{false};
    // The help sheet is shown while it is true.
    Observable<bool> showHelp{false};

    // The two canvas modes exclude each other: turning one on turns the other off.
    void toggleTextMode();
    void toggleShapeMode();
};

} // namespace ombrix::ui
