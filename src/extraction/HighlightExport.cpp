#include "extraction/HighlightExport.h"

#include "tabs/TabSession.h"

namespace ombrix {

HighlightExportOutcome prepareHighlightExport(const TabSession* activeTab) {
    HighlightExportOutcome outcome;
    if (!activeTab || !activeTab->document) {
        return outcome;
    }
    const auto highlights = HighlightExtractor::collectDocumentHighlights(*activeTab->document);
    if (highlights.empty()) {
        outcome.kind = HighlightExportOutcome::Kind::noHighlights;
        outcome.alertTitle = "No Highlights Found";
        outcome.alertMessage = "This PDF doesn't contain any highlighted text.";
        return outcome;
    }
    outcome.kind = HighlightExportOutcome::Kind::copied;
    outcome.count = HighlightExtractor::totalCount(highlights);
    outcome.markdown = HighlightExtractor::markdownDigest(highlights, activeTab->document->name);
    outcome.alertTitle = "Highlights Extracted";
    outcome.alertMessage = std::to_string(outcome.count) +
                           " highlights have been copied to the clipboard in Markdown format.";
    return outcome;
}

} // namespace ombrix
