#include "contracts/ActionID.h"

#include "contracts/DecodingError.h"

#include <algorithm>
#include <array>
#include <nlohmann/json.hpp>
#include <ostream>
#include <utility>

namespace ombrix {

namespace {
// Indexed by the enum's underlying value, so it must follow the declaration order.
constexpr std::array<std::string_view, 31> kActionIdNames = {
    "doc.open",          "doc.new",          "doc.save",          "doc.saveAs",
    "doc.close",         "doc.print",        "edit.undo",         "edit.redo",
    "edit.cut",          "edit.copy",        "edit.paste",        "edit.find",
    "view.zoomIn",       "view.zoomOut",     "view.zoomFit",      "view.nextPage",
    "view.prevPage",     "view.showSidebar", "layout.single",     "layout.two",
    "layout.continuous", "markup.highlight", "markup.underline",  "markup.strikeout",
    "text.add",          "text.edit",        "comment.addSticky", "comment.delete",
    "app.quit",          "app.about",        "app.preferences",
};
static_assert(kActionIdNames.size() == static_cast<std::size_t>(ActionID::appPreferences) + 1);
} // namespace

std::string_view rawValue(ActionID id) {
    auto index = static_cast<std::size_t>(id);
    return index < kActionIdNames.size() ? kActionIdNames[index] : std::string_view{};
}

std::optional<ActionID> parseActionID(std::string_view raw) {
    for (std::size_t i = 0; i < kActionIdNames.size(); ++i) {
        if (kActionIdNames[i] == raw) {
            return static_cast<ActionID>(i);
        }
    }
    return std::nullopt;
}

const std::vector<ActionID>& allActionIDs() {
    static const std::vector<ActionID> all = [] {
        std::vector<ActionID> ids;
        for (std::size_t i = 0; i < kActionIdNames.size(); ++i) {
            ids.push_back(static_cast<ActionID>(i));
        }
        return ids;
    }();
    return all;
}

void sortByRawValue(std::vector<ActionID>& ids) {
    std::sort(ids.begin(), ids.end(), ActionIDRawLess{});
}

std::vector<ActionID> sortedByRawValue(std::vector<ActionID> ids) {
    sortByRawValue(ids);
    return ids;
}

std::ostream& operator<<(std::ostream& out, ActionID id) {
    return out << rawValue(id);
}

void to_json(nlohmann::json& j, ActionID id) {
    j = std::string(rawValue(id));
}

void from_json(const nlohmann::json& j, ActionID& id) {
    if (!j.is_string()) {
        throw DecodingError::wrongTypeOf("action id", "a string");
    }
    const auto& raw = j.get_ref<const std::string&>();
    auto parsed = parseActionID(raw);
    if (!parsed) {
        throw DecodingError::unknown("action id", raw);
    }
    id = *parsed;
}

} // namespace ombrix
