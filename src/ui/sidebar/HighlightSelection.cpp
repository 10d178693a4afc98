#include "ui/sidebar/HighlightSelection.h"

#include "extraction/BacklinkHighlightManager.h"

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
    for (const auto& entry : entries) {
        if (sameColour(entry.color, colour)) {
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

void HighlightSelection::applyBulkColour(const Color& colour, BacklinkHighlightManager& manager,
                                         TabSession& tab) {
    // A copy: each update republishes the list.
    const auto entries = manager.extractedHighlights.get();
    for (const auto& entry : entries) {
        if (selectedIDs_.contains(entry.id)) {
            ExtractedHighlight recoloured = entry;
            recoloured.color = colour;
            manager.saveToAnnotation(recoloured, tab);
            manager.updateHighlight(recoloured);
        }
    }
}

} // namespace ombrix::ui
