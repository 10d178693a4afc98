#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "extraction/HighlightExport.h"

namespace ombrix {

class TabSession;
class UserInteraction;

// The toolbar's export: beeps without an active tab; otherwise puts the digest of its
// document on the clipboard as plain text and says how many highlights went there, or
// says that there are none. Returns what it did. Main thread.
HighlightExportOutcome exportHighlights(const TabSession* activeTab, UserInteraction& ui);

} // namespace ombrix

OMBRIX_API_END
