#pragma once

#include "core/Color.h"
#include "extraction/ExtractedHighlight.h"

#include <optional>
#include <set>
#include <string>
#include <vector>

namespace ombrix::ui {

// Which highlights of the sidebar are selected, by colour or by hand. Plain state of the sidebar;
// GUI thread only.
class HighlightSelection {
public:
    // Equal in device RGB when every component differs by less than 0.1 (alpha aside).
    static bool sameColour(const Color& a, const Color& b);

    // The same colour again clears the selection; another selects every entry whose
    // nearest palette colour is the chip's.
    void selectByColour(const Color& colour, const std::vector<ExtractedHighlight>& entries);
    void selectAll(const std::vector<ExtractedHighlight>& entries);
    void toggle(const std::string& id);
    void clear();
    // Forgets ids no longer listed.
    void keepOnly(const std::vector<ExtractedHighlight>& entries);

    const std::set<std::string>& selectedIDs() const { return selectedIDs_; }
    const std::optional<Color>& selectedBulkColor() const { return selectedBulkColor_; }
    bool isSelected(const std::string& id) const { return selectedIDs_.contains(id); }

private:
    std::set<std::string> selectedIDs_;
    std::optional<Color> selectedBulkColor_;
};

} // namespace ombrix::ui
