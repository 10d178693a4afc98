#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "extraction/HighlightExtractor.h"

#include <cstddef>
#include <string>

namespace ombrix {

class TabSession;

// What the export command tells the user: a beep without a document, else an alert, and
// with highlights found the digest for the clipboard.
struct HighlightExportOutcome {
    enum class Kind { noDocument, noHighlights, copied };
    Kind kind = Kind::noDocument;
    std::string alertTitle;
    std::string alertMessage;
    std::string markdown;  // the clipboard text; empty unless copied
    std::size_t count = 0; // every collected entry, empty-text ones included
};

// The digest of the active tab's document (null: none) and the messages about it.
HighlightExportOutcome prepareHighlightExport(const TabSession* activeTab);

} // namespace ombrix

OMBRIX_API_END
