#include "search/LayoutEngine.h"

#include "pdfkit/ViewPort.h"

namespace ombrix {

namespace {

struct ViewSettings {
    pdfkit::DisplayMode mode;
    pdfkit::DisplayDirection direction;
    bool pageBreaks;
};

ViewSettings settingsFor(LayoutMode mode) {
    using pdfkit::DisplayDirection;
    using pdfkit::DisplayMode;
    switch (mode) {
    case LayoutMode::single:
        return {DisplayMode::singlePage, DisplayDirection::vertical, false};
    case LayoutMode::continuous:
        return {DisplayMode::singlePageContinuous, DisplayDirection::vertical, true};
    case LayoutMode::twoUp:
        return {DisplayMode::twoUp, DisplayDirection::horizontal, false};
    case LayoutMode::twoUpContinuous:
        return {DisplayMode::twoUpContinuous, DisplayDirection::vertical, true};
    }
    return {DisplayMode::singlePageContinuous, DisplayDirection::vertical, true};
}

} // namespace

void LayoutEngine::apply(LayoutMode mode, pdfkit::ViewPort& view) const {
    const ViewSettings settings = settingsFor(mode);
    view.setDisplayMode(settings.mode);
    view.setDisplayDirection(settings.direction);
    view.setDisplaysPageBreaks(settings.pageBreaks);
}

} // namespace ombrix
