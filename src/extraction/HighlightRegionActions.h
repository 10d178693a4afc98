#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "core/Logging.h"
#include "core/Signal.h"
#include "extraction/ExtractedHighlight.h"
#include "extraction/FormulaSource.h"
#include "extraction/MathOCRExtractor.h"
#include "extraction/TableExtractor.h"

#include <atomic>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace ombrix::pdfkit {
class Page;
}

namespace ombrix {

class BacklinkHighlightManager;
class PDFDocument;
class PDFKitBridge;
class SerialQueue;
class TabSession;
class UserInteraction;
enum class AlertStyle;
struct ActiveViews;

// The sidebar's Table, Math and Crop buttons: each turns the page region under one
// highlight into an HTML table, a formula or a one-page PDF. Called on the main thread.
// With `background` set, the drawing, recognition and file writing run on a worker of
// this object's own, one action at a time, and the outcome (write-back, clipboard,
// alert, `done`) arrives on the main queue.
class HighlightRegionActions {
public:
    static constexpr const char* kTableExtractedTitle = "Table Extracted";
    static constexpr const char* kNoTableTitle = "No Table Found";
    static constexpr const char* kNoTableMessage =
        "Could not detect a table structure in this area.";
    static constexpr const char* kTableFailedTitle = "Table Extraction Failed";
    static constexpr const char* kMathErrorTitle = "Math Extraction Error";
    static constexpr const char* kMissingViews = "❌ Missing UI components for table extraction";
    static constexpr const char* kCropSavedTitle = "Crop Saved";
    static constexpr const char* kCropFailedTitle = "Crop Failed";
    static constexpr const char* kShowInFolder = "Show in Folder";

    struct Services {
        std::shared_ptr<BacklinkHighlightManager> manager;
        std::shared_ptr<UserInteraction> userInteraction;
        std::shared_ptr<const ActiveViews> views;
        std::shared_ptr<PDFKitBridge> bridge;
        std::shared_ptr<MathOCRExtractor> mathExtractor; // null: one for the default server
        std::shared_ptr<Logging> logging;                // null: the general category
        bool background = false; // the desktop app: the work leaves the main thread
        // Where formulas are read: the page's own glyphs first (the server only for
        // regions without any), or the server only.
        FormulaSource formulaSource = FormulaSource::automatic;
    };
    using TableDone = std::function<void(const std::string& html)>;
    using CropDone = std::function<void(const std::optional<std::filesystem::path>&)>;

    explicit HighlightRegionActions(Services services);
    ~HighlightRegionActions();
    HighlightRegionActions(const HighlightRegionActions&) = delete;
    HighlightRegionActions& operator=(const HighlightRegionActions&) = delete;

    // The highlight whose action is running, from its start until its outcome arrived.
    // While one runs, starting another only beeps.
    Observable<std::optional<std::string>> extractingID;
    // Why the last formula request failed; cleared by the next success.
    Observable<std::optional<std::string>> mathError;

    // Reads the formula from the page's own glyphs, or (a region without any, or the
    // server-only setting) sends the trimmed region to the recognition server; the answer
    // (on the main queue) becomes the highlight's result, or the error alert.
    void extractFormula(const ExtractedHighlight& highlight,
                        const std::shared_ptr<TabSession>& tab);
    // Stops the formula request in flight: its answer is dropped, no alert is shown.
    void cancelFormula();

    // The HTML table of the region ("" when none), also on the clipboard; the outcome is
    // reported in an alert.
    std::string extractTable(const ExtractedHighlight& highlight,
                             const std::shared_ptr<TabSession>& tab);

    // Writes the region into the next crop file beside the document, leaving the document
    // and its file as they are; an alert says where it went or why it could not be made.
    // The file's path, none when the crop could not be made.
    std::optional<std::filesystem::path> crop(const ExtractedHighlight& highlight,
                                              const std::shared_ptr<TabSession>& tab);

    // The same two actions in the object's mode: on the worker with `background`, else at
    // once. `done` gets what the call above would return; nothing when the action never
    // started (a beep, as above).
    void startTable(const ExtractedHighlight& highlight, const std::shared_ptr<TabSession>& tab,
                    TableDone done = {});
    void startCrop(const ExtractedHighlight& highlight, const std::shared_ptr<TabSession>& tab,
                   CropDone done = {});

    // Where the next formula actions read from (the settings' choice). Main thread.
    void setFormulaSource(FormulaSource source) { services_.formulaSource = source; }
    FormulaSource formulaSource() const { return services_.formulaSource; }

    // The MathML of the highlight's formula result: the one it came with, or for a result
    // of an earlier session the page's own reading when that gives the same LaTeX.
    std::optional<std::string> mathMLOf(const ExtractedHighlight& highlight,
                                        const std::shared_ptr<TabSession>& tab) const;

    const TableExtractor& tableExtractor() const { return table_; }
    MathOCRExtractor& mathExtractor() const { return *services_.mathExtractor; }

private:
    struct TableOutcome {
        std::string html;
        std::string text; // tab-separated
        std::optional<std::string> failure;
    };
    struct CropOutcome {
        std::optional<std::filesystem::path> output;
        std::optional<std::string> failure;
    };
    // The highlight's page; none, after a beep, when the tab has no such page.
    std::shared_ptr<pdfkit::Page> pageOrBeep(const ExtractedHighlight& highlight,
                                             const std::shared_ptr<TabSession>& tab);
    bool begin(const ExtractedHighlight& highlight);
    bool viewsReady();
    TableOutcome computeTable(const pdfkit::Page& page, const Rect& bounds) const;
    std::string finishTable(const ExtractedHighlight& highlight,
                            const std::shared_ptr<TabSession>& tab, const TableOutcome& outcome);
    CropOutcome computeCrop(const pdfkit::Page& page, const Rect& bounds,
                            const PDFDocument& document) const;
    // Says where the crop went (with a button to its folder), or why there is none.
    std::optional<std::filesystem::path> finishCrop(const CropOutcome& outcome);
    // Stores `result` in the listed entry of `highlight` as it is now (a comment or colour
    // changed meanwhile stays) and in its annotation; nothing when the entry has gone.
    void writeBack(const ExtractedHighlight& highlight, const std::shared_ptr<TabSession>& tab,
                   const std::string& result);
    // Runs `job` on the worker (background) or now.
    void run(std::function<void()> job);
    // Runs `job` on the main queue (background) or now; dropped once `this` is gone.
    void toMain(std::function<void()> job);
    // Shows an alert. In the background a result's alert comes a turn after the result:
    // the list update (with a new web view) and the alert's window each cost the GUI
    // thread tens of milliseconds on a loaded machine, and together they went past what
    // a frame may take.
    void alert(const std::string& title, const std::string& message, AlertStyle style);

    Services services_;
    TableExtractor table_;
    std::shared_ptr<std::atomic<bool>> formulaCancel_;
    std::map<std::string, std::string> mathML_; // by highlight id; main thread
    // Outlives `this` in answers posted to the main queue, which then do nothing.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    // Last: destroyed first, finishing its running job while the members above live.
    std::unique_ptr<SerialQueue> worker_;
};

} // namespace ombrix

OMBRIX_API_END
