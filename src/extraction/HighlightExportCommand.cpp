#include "extraction/HighlightExportCommand.h"

#include "core/UserInteraction.h"

namespace ombrix {

HighlightExportOutcome exportHighlights(const TabSession* activeTab, UserInteraction& ui) {
    auto outcome = prepareHighlightExport(activeTab);
    switch (outcome.kind) {
    case HighlightExportOutcome::Kind::noDocument:
        ui.beep();
        break;
    case HighlightExportOutcome::Kind::noHighlights:
        ui.showAlert(outcome.alertTitle, outcome.alertMessage);
        break;
    case HighlightExportOutcome::Kind::copied:
        ui.copyToClipboard(outcome.markdown);
        ui.showAlert(outcome.alertTitle, outcome.alertMessage);
        break;
    }
    return outcome;
}

} // namespace ombrix
