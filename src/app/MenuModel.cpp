#include "app/MenuModel.h"

#include <algorithm>

namespace ombrix {

MenuItem* Menu::item(const std::string& title) {
    auto it = std::find_if(items_.begin(), items_.end(),
                           [&](const MenuItem& i) { return i.title == title; });
    return it == items_.end() ? nullptr : &*it;
}

bool Menu::removeFirst(const std::string& title) {
    auto it = std::find_if(items_.begin(), items_.end(),
                           [&](const MenuItem& i) { return i.title == title; });
    if (it == items_.end()) {
        return false;
    }
    items_.erase(it);
    return true;
}

} // namespace ombrix
