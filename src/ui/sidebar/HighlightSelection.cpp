#include "ui/sidebar/HighlightSelection.h"

#include "annotations/MarkupController.h"

#include <cmath>

namespace ombrix::ui {

bool HighlightSelection::sameColour(const Color& a, const Color& b) {
    return std::abs(a.red - b.red) < 0.1 && std::abs(a.green - b.green) < 0.1 &&
           std::abs(a.blue - b.blue) < 0.1;
}

void HighlightSelection::selectByColour(const Color& colour,
                                        const std::vector<ExtractedHighlight>& entries) {
    if (selectedBulkColor_ && sameColour(*selectedBulkColor_, colour)) {
        clear();
        return;
    }
    selectedBulkColor_ = colour;
    selectedIDs_.clear();
    // Every entry counts as the palette colour nearest to its own, so a colour written by
    // another reader, or lightened by the file's opacity, still finds its chip.
    const std::string chip = MarkupController::nearestPaletteEntry(colour).id;
    for (const auto& entry : entries) {
        if (MarkupController::nearestPaletteEntry(entry.color).id == chip) {
            selectedIDs_.insert(entry.id);
        }
    }
}

void HighlightSelection::selectAll(const std::vector<ExtractedHighlight>& entries) {
    selectedBulkColor_.reset();
    selectedIDs_.clear();
    for (const auto& entry : entries) {
        selectedIDs_.insert(entry.id);
    }
}

void HighlightSelection::toggle(const std::string& id) {
    selectedBulkColor_.reset();
    if (!selectedIDs_.erase(id)) {
        selectedIDs_.insert(id);
    }
}

void HighlightSelection::clear() {
    selectedBulkColor_.reset();
    selectedIDs_.clear();
}

void HighlightSelection::keepOnly(const std::vector<ExtractedHighlight>& entries) {
    std::set<std::string> listed;
    for (const auto& entry : entries) {
        listed.insert(entry.id);
    }
    std::erase_if(selectedIDs_, [&](const std::string& id) { return !listed.contains(id); });
}

} // namespace ombrix::ui
