#pragma once

#include "core/Logging.h"
#include "core/Signal.h"
#include "extraction/ExtractedHighlight.h"
#include "extraction/MathOCRExtractor.h"
#include "extraction/TableExtractor.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace ombrix {

class BacklinkHighlightManager;
class PDFKitBridge;
class TabSession;
class UserInteraction;
struct ActiveViews;

// The sidebar's Table, Math and Crop buttons: each turns the page region under one
// highlight into an HTML table, a formula or a one-page PDF. Main thread only.
class HighlightRegionActions {
public:
    static constexpr const char* kTableExtractedTitle = "Table Extracted";
    static constexpr const char* kNoTableTitle = "No Table Found";
    static constexpr const char* kNoTableMessage =
        "Could not detect a table structure in this area.";
    static constexpr const char* kTableFailedTitle = "Table Extraction Failed";
    static constexpr const char* kMathErrorTitle = "Math Extraction Error";
    static constexpr const char* kMissingViews = "❌ Missing UI components for table extraction";

    struct Services {
        std::shared_ptr<BacklinkHighlightManager> manager;
        std::shared_ptr<UserInteraction> userInteraction;
        std::shared_ptr<const ActiveViews> views;
        std::shared_ptr<PDFKitBridge> bridge;
        std::shared_ptr<MathOCRExtractor> mathExtractor; // null: one for the default server
        std::shared_ptr<Logging> logging;                // null: the general category
    };

    explicit HighlightRegionActions(Services services);
    ~HighlightRegionActions();
    HighlightRegionActions(const HighlightRegionActions&) = delete;
    HighlightRegionActions& operator=(const HighlightRegionActions&) = delete;

    // The highlight whose formula is being recognised, from the request until its answer.
    Observable<std::optional<std::string>> extractingID;
    // Why the last formula request failed; cleared by the next success.
    Observable<std::optional<std::string>> mathError;

    // Sends the trimmed region to the recognition server; the answer (on the main queue)
    // becomes the highlight's result, or the error alert.
    void extractFormula(const ExtractedHighlight& highlight,
                        const std::shared_ptr<TabSession>& tab);

    // The HTML table of the region ("" when none), also on the clipboard; the outcome is
    // reported in an alert.
    std::string extractTable(const ExtractedHighlight& highlight,
                             const std::shared_ptr<TabSession>& tab);

    // Writes the document back, then the region into the next crop file beside it; the
    // file's path, none when the crop could not be made.
    std::optional<std::filesystem::path> crop(const ExtractedHighlight& highlight,
                                              const std::shared_ptr<TabSession>& tab);

    const TableExtractor& tableExtractor() const { return table_; }
    MathOCRExtractor& mathExtractor() const { return *services_.mathExtractor; }

private:
    Services services_;
    TableExtractor table_;
    // Outlives `this` in answers posted to the main queue, which then do nothing.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

} // namespace ombrix
