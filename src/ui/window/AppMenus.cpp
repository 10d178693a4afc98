#include "ui/window/AppMenus.h"

#include "app/AppContainer.h"
#include "app/MenuModel.h"
#include "contracts/ContractRegistry.h"
#include "core/NotificationCenter.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <map>

namespace ombrix::ui::AppMenus {

namespace {

constexpr unsigned kCommand = static_cast<unsigned>(KeyModifier::command);
constexpr unsigned kShift = static_cast<unsigned>(KeyModifier::shift);
constexpr unsigned kOption = static_cast<unsigned>(KeyModifier::option);
constexpr unsigned kControl = static_cast<unsigned>(KeyModifier::control);

MenuItem divider() {
    return MenuItem{};
}

MenuItem item(std::string title, std::string key, unsigned modifiers,
              std::function<void()> action) {
    return MenuItem{std::move(title), std::move(key), modifiers, std::move(action), nullptr};
}

// "Find…" and "Find..." are the same command.
QString normalisedTitle(const std::string& title) {
    QString text = QString::fromStdString(title);
    text.replace(QString::fromUtf8("\u2026"), "...");
    return text;
}

} // namespace

std::shared_ptr<Menu> buildModel(AppContainer& container, Commands commands) {
    auto dispatch = [&container](ActionID action) {
        return [&container, action] {
            try {
                container.registry().dispatch(action, "Menu", {});
            } catch (const std::exception&) {
                // Menu commands that cannot run now do nothing.
            }
        };
    };
    auto post = [](const char* name) {
        return [name] { NotificationCenter::defaultCenter().post(name); };
    };
    auto bar = std::make_shared<Menu>();

    auto file = std::make_shared<Menu>("File");
    file->append(item("Open PDF\u2026", "o", kCommand, dispatch(ActionID::docOpen)));
    file->append(item("Save", "s", kCommand, dispatch(ActionID::docSave)));
    file->append(divider());
    file->append(item("Close Tab", "w", kCommand, commands.closeTab));
    file->append(divider());
    file->append(item("Quit", "q", kCommand, commands.quit));
    bar->append(MenuItem{"File", "", 0, nullptr, file});

    auto edit = std::make_shared<Menu>("Edit");
    // Undo and redo have no contract: they reach the undo manager directly.
    edit->append(item("Undo", "z", kCommand, [&container] { container.undo(); }));
    edit->append(item("Redo", "z", kCommand | kShift, [&container] { container.redo(); }));
    edit->append(divider());
    edit->append(item("Find\u2026", "f", kCommand, post("FindCommandTriggered")));
    edit->append(divider());
    edit->append(item("Highlight", "h", kCommand, commands.highlightSelection));
    edit->append(item("Add Note", "n", kCommand | kShift, commands.addNote));
    edit->append(item("Add Free Text", "t", kCommand | kShift, commands.addFreeText));
    bar->append(MenuItem{"Edit", "", 0, nullptr, edit});

    auto view = std::make_shared<Menu>("View");
    view->append(item("Zoom In", "+", kCommand, dispatch(ActionID::viewZoomIn)));
    view->append(item("Zoom Out", "-", kCommand, dispatch(ActionID::viewZoomOut)));
    view->append(item("Fit to Window", "0", kCommand, dispatch(ActionID::viewZoomFit)));
    view->append(divider());
    view->append(item("Single Page", "", 0, dispatch(ActionID::layoutSingle)));
    view->append(item("Two Pages", "", 0, dispatch(ActionID::layoutTwo)));
    view->append(item("Continuous", "", 0, dispatch(ActionID::layoutContinuous)));
    view->append(divider());
    view->append(item("Next Page", "down", kCommand, dispatch(ActionID::viewNextPage)));
    view->append(item("Previous Page", "up", kCommand, dispatch(ActionID::viewPrevPage)));
    view->append(divider());
    view->append(
        item("Show Highlight Sidebar", "h", kCommand | kShift, post("ShowHighlightSidebar")));
    bar->append(MenuItem{"View", "", 0, nullptr, view});

    auto help = std::make_shared<Menu>("Help");
    help->append(item("Ombrix PDF Help", "?", kCommand, commands.showHelp));
    bar->append(MenuItem{"Help", "", 0, nullptr, help});
    return bar;
}

QList<QKeySequence> shortcutsFor(const MenuItem& item) {
    QList<QKeySequence> shortcuts;
    if (item.keyEquivalent.empty()) {
        return shortcuts;
    }
    QString text;
    if (item.modifiers & kCommand) {
        text += "Ctrl+";
    }
    if (item.modifiers & kControl) {
        text += "Meta+";
    }
    if (item.modifiers & kOption) {
        text += "Alt+";
    }
    if (item.modifiers & kShift) {
        text += "Shift+";
    }
    const QString key = QString::fromStdString(item.keyEquivalent);
    if (key == "down" || key == "up") {
        text += key == "down" ? "Down" : "Up";
    } else {
        text += key.toUpper();
    }
    if (key == "?") {
        shortcuts << QKeySequence(Qt::Key_F1); // help is F1 here
    }
    shortcuts << QKeySequence(text, QKeySequence::PortableText);
    if (key == "+") {
        shortcuts << QKeySequence(Qt::CTRL | Qt::Key_Equal); // "+" needs Shift on most layouts
    }
    return shortcuts;
}

void mirror(const Menu& model, QMenuBar& bar) {
    bar.clear();
    std::map<QString, QString> owners; // shortcut → normalised title of the item that has it
    for (const MenuItem& top : model.items()) {
        if (!top.submenu) {
            continue;
        }
        QMenu* menu = bar.addMenu(QString::fromStdString(top.title));
        menu->setObjectName(QString::fromStdString(top.title));
        for (const MenuItem& entry : top.submenu->items()) {
            if (entry.title.empty()) {
                menu->addSeparator();
                continue;
            }
            const QList<QKeySequence> shortcuts = shortcutsFor(entry);
            const QString title = normalisedTitle(entry.title);
            if (!shortcuts.isEmpty()) {
                auto owner = owners.find(shortcuts.front().toString());
                if (owner != owners.end() && owner->second == title) {
                    continue; // the same command again: the first item keeps the shortcut
                }
            }
            QAction* action = menu->addAction(QString::fromStdString(entry.title));
            action->setShortcuts(shortcuts);
            for (const QKeySequence& shortcut : shortcuts) {
                owners.emplace(shortcut.toString(), title);
            }
            if (entry.action) {
                QObject::connect(action, &QAction::triggered, action,
                                 [run = entry.action] { run(); });
            } else {
                action->setEnabled(false);
            }
        }
    }
}

} // namespace ombrix::ui::AppMenus
