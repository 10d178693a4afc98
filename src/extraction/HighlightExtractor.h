#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "extraction/ExtractedHighlight.h"

#include <map>
#include <string>
#include <vector>

namespace ombrix {

class PDFDocument;

namespace pdfkit {
class Document;
class Page;
} // namespace pdfkit

// Page number (1-based) → that page's highlights, pages without any left out.
using HighlightsByPage = std::map<int, std::vector<ExtractedHighlight>>;

// The stateless collector behind the Markdown export.
namespace HighlightExtractor {

// The page's markup and square annotations, the topmost first and, at equal height,
// the leftmost first. Entries whose text is empty are kept.
std::vector<ExtractedHighlight> collectPageHighlights(const pdfkit::Page& page, int pageNumber);

HighlightsByPage collectDocumentHighlights(const pdfkit::Document& document);
// Empty when the record holds no PDF kit document.
HighlightsByPage collectDocumentHighlights(const PDFDocument& document);

// The Markdown digest: a heading per page, one callout per entry with text. The title,
// texts, comments and formula results have "&", "<" and ">" escaped; a table result is
// given as table::sanitizeHTML writes it.
std::string markdownDigest(const HighlightsByPage& highlights, const std::string& title);

// "#RRGGBB", each component × 255 truncated; "#FFFF00" for a colour with no RGB value.
std::string colorCode(const Color& color);

// Every entry of every page, empty-text entries included.
std::size_t totalCount(const HighlightsByPage& highlights);

} // namespace HighlightExtractor

} // namespace ombrix

OMBRIX_API_END
