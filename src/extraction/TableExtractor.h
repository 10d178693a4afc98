#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "core/Geometry.h"
#include "core/HtmlEscape.h"
#include "core/Image.h"
#include "core/Logging.h"
#include "extraction/TableLayout.h"
#include "extraction/TextRecognizer.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace ombrix::pdfkit {
class Page;
}

namespace ombrix {

// One word of the page's own text with its style.
struct FontRun {
    std::string text;
    Rect bounds;
    bool isBold = false;
    bool isItalic = false;
    std::string fontName;
};

// A font family name and style derived from a PDF base font name.
struct ResolvedFont {
    std::string name;
    bool isBold = false;
    bool isItalic = false;
    bool operator==(const ResolvedFont&) const = default;
};

// A recognised word moved into page space.
struct PDFWord {
    std::string text;
    Rect bounds;
};

// Font resource name → resolved font, in the order the page declares and then uses them.
using PageFontMap = std::vector<std::pair<std::string, ResolvedFont>>;

// Turns a page-space region into a table. The words are the page's own where the region
// has a text layer; a region without usable text (a scan, glyphs without Unicode) is drawn
// at 4× without annotations and recognised. Styles come from the page's text and fonts,
// lines from the table geometry engine, columns from the gaps down the table and the
// page's rules.
class TableExtractor {
public:
    // Receives a non-empty result, as HTML and as tab-separated plain text, after clearing.
    using ClipboardWriter = std::function<void(const std::string& html, const std::string& text)>;

    explicit TableExtractor(ClipboardWriter clipboard = {},
                            Logging logging = Logging(Logging::kSubsystem, Logging::kCategory));

    // The HTML table, or "" when none could be built (the clipboard is then untouched).
    // Throws ombrix::Error when the region cannot be drawn for the recogniser or the
    // recogniser cannot be loaded.
    std::string extractTable(pdfkit::Page& page, const Rect& region) const;
    // The table itself, for other forms; nothing when none could be built. Leaves the
    // clipboard alone. Throws like extractTable.
    std::optional<TableGrid> extractGrid(pdfkit::Page& page, const Rect& region) const;

private:
    ClipboardWriter clipboard_;
    Logging logging_;
};

namespace table {

inline constexpr const char* kFallbackFont = "sans-serif";

ResolvedFont resolveFont(const std::string& baseFont);
PageFontMap pageFontMap(const pdfkit::Page& page);
std::optional<ResolvedFont> defaultFont(const PageFontMap& fonts);
std::vector<FontRun> collectFontRuns(const pdfkit::Page& page, const Rect& region,
                                     const PageFontMap& fonts);

// Nothing when the region is less than a quarter point wide or high.
std::optional<Image> renderRegion(const pdfkit::Page& page, const Rect& region);

std::vector<PDFWord> toPageWords(const std::vector<RecognizedWord>& words, int rotation,
                                 const Rect& region, const Rect& mediaBox);
// Normalised boxes (like RecognizedWord's) of the page's words in the region that no
// recognised word touches: read again one by one, so a lone "3" is not lost.
std::vector<Rect> missedWordBoxes(const std::vector<PDFWord>& words,
                                  const std::vector<FontRun>& runs, const Rect& region);
std::optional<FontRun> matchFontRun(const PDFWord& word, const std::vector<FontRun>& runs);
std::string restoreLeadingPeriod(const std::string& word, const std::string& pageText);
// The page's own text for a recognised word when the page has a word of as many characters
// in the same place (each one's centre inside the other): recognition misreads some glyphs
// ("40" in Computer Modern as "AO"), the text layer does not. Else the recognised text.
std::string pageSpelling(const PDFWord& word, const FontRun& run);
bool isRuleArtifact(const std::string& word, const std::vector<FontRun>& runs);
// Styled words, leaving out the rule artifacts.
std::vector<FormattedWord> formatWords(const std::vector<PDFWord>& words,
                                       const std::vector<FontRun>& runs,
                                       const std::string& pageText);

// Rows of word positions, the region's top line first.
std::vector<std::vector<int>> tableRows(const std::vector<FormattedWord>& words,
                                        const Rect& region);
std::vector<double> clusterPositions(const std::vector<double>& sorted, double tolerance);
using ombrix::escapeHTML;
// The words of the page's text layer in the region (centre inside), with their styles;
// nothing when the region has no usable text there (none, or mostly glyphs without Unicode).
std::vector<FormattedWord> textLayerWords(const std::vector<FontRun>& runs, const Rect& region);
// A page-space rectangle as seen on the page turned by its rotation (y still up); the same
// table reads left to right there.
Rect toReadingSpace(const Rect& r, int rotation);
std::string buildHTMLTable(const std::vector<std::vector<int>>& rows,
                           const std::vector<FormattedWord>& words);

// Rows of the table made of data cells (<td>), not header cells.
int dataRowCount(const std::string& html);
// The informative text of the success alert.
std::string successMessage(const std::string& html);

} // namespace table

} // namespace ombrix

OMBRIX_API_END
