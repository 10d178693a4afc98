#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace ombrix {

class Menu;

// Modifier keys of a key equivalent, as bits. Command is Ctrl on Linux.
enum class KeyModifier : unsigned { none = 0, command = 1, shift = 2, option = 4, control = 8 };

// One entry of the menu bar model the desktop app mirrors into its own menus.
struct MenuItem {
    std::string title;
    std::string keyEquivalent; // "" for none
    unsigned modifiers = 0;    // KeyModifier bits
    std::function<void()> action;
    std::shared_ptr<Menu> submenu;
};

class Menu {
public:
    explicit Menu(std::string title = {}) : title_(std::move(title)) {}

    const std::string& title() const { return title_; }
    const std::vector<MenuItem>& items() const { return items_; }
    std::vector<MenuItem>& items() { return items_; }

    // The first item titled exactly so, or nullptr.
    MenuItem* item(const std::string& title);
    void append(MenuItem item) { items_.push_back(std::move(item)); }
    // Removes the first item titled exactly so; false when there is none.
    bool removeFirst(const std::string& title);

private:
    std::string title_;
    std::vector<MenuItem> items_;
};

} // namespace ombrix

OMBRIX_API_END
