#pragma once

#include <QKeySequence>
#include <QList>
#include <filesystem>
#include <functional>
#include <memory>

class QMenuBar;

namespace ombrix {
class AppContainer;
class Menu;
struct MenuItem;
} // namespace ombrix

namespace ombrix::ui {

// The menu bar as the core models it, and its mirror in Qt. An item with an empty title
// is a divider. Key equivalents are a character or "up"/"down", with Command read as
// Ctrl. GUI thread only.
namespace AppMenus {

// What the menu commands do beyond dispatching.
struct Commands {
    std::function<void()> showHelp;
    std::function<void()> closeTab;
    std::function<void()> quit;
    // Markup of the page view: highlight the text selection, a new sticky note, free text.
    std::function<void()> highlightSelection;
    std::function<void()> addNote;
    std::function<void()> addFreeText;
};

// File, Edit, View and Help with the application's commands. Dispatches go through the
// container's registry from "Menu" with no parameters; their failures are dropped.
std::shared_ptr<Menu> buildModel(AppContainer& container, Commands commands);

// The shortcuts of one item: its key equivalent, and on this platform also Ctrl+= for
// Ctrl++ and F1 for help.
QList<QKeySequence> shortcutsFor(const MenuItem& item);

// Fills `bar` from the model. A shortcut is bound once: an item repeating the shortcut
// of an earlier item that does the same thing under another spelling of its title
// ("Find..." after "Find…") is left out, so Qt never sees an ambiguous pair.
void mirror(const Menu& model, QMenuBar& bar);

} // namespace AppMenus

} // namespace ombrix::ui
