#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "core/Color.h"
#include "core/Geometry.h"
#include "core/Logging.h"
#include "core/Signal.h"
#include "core/Uuid.h"
#include "extraction/ExtractedHighlight.h"

#include <memory>
#include <string>
#include <vector>

namespace ombrix {

class PDFDocument;
class TabSession;

// A short flash drawn over the page, view space.
struct HighlightRect {
    Uuid id;
    Rect rect;
    Color color;
    double duration = 0; // seconds

    bool operator==(const HighlightRect&) const = default;
};

// The highlight list of one window, as the sidebar shows it. Main thread only; every
// change republishes `extractedHighlights` and then renews `refreshTrigger`.
class BacklinkHighlightManager {
public:
    explicit BacklinkHighlightManager(std::shared_ptr<Logging> log = std::make_shared<Logging>(
                                          Logging::kSubsystem, Logging::kCategory));
    BacklinkHighlightManager(const BacklinkHighlightManager&) = delete;
    BacklinkHighlightManager& operator=(const BacklinkHighlightManager&) = delete;

    Observable<std::vector<ExtractedHighlight>> extractedHighlights;
    Observable<std::vector<HighlightRect>> activeHighlights;
    Observable<Uuid> refreshTrigger;

    // Rebuilds the list from the document's annotations, page by page in each page's order.
    // The comment is the contents and the result our private entry; in files written
    // before, contents with a marker or a result flag are the result.
    void refreshHighlights(const PDFDocument& document);

    // Replaces the first entry with the same id; nothing when there is none.
    void updateHighlight(const ExtractedHighlight& highlight);

    // Drops the entry (on the main queue) and deletes its annotation from the page when
    // one matches it.
    void removeHighlight(const ExtractedHighlight& highlight, TabSession& tab);

    // On the main queue: drops the entries of page `pageNumber` over `rect` whose text is
    // `text`, or any text when `text` is empty.
    void dropMatching(const std::string& text, int pageNumber, const Rect& rect);

    // Writes the result (else the comment) and the colour into the highlight's annotation:
    // the one it was read from, else the listed kind over its bounds. The result goes to
    // the private entry, the comment to the contents; a fill is only recoloured, never
    // added.
    void saveToAnnotation(const ExtractedHighlight& highlight, TabSession& tab);

private:
    void publish(std::vector<ExtractedHighlight> list);

    std::shared_ptr<Logging> log_;
    // Outlives `this` in jobs posted to the main queue, which then do nothing.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

} // namespace ombrix

OMBRIX_API_END
