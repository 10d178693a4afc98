#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "core/Color.h"
#include "core/Geometry.h"

#include <memory>
#include <optional>
#include <string>

namespace ombrix {

namespace pdfkit {
class Annotation;
}

// One collected highlight: the text under a markup annotation with the note or the
// extraction result stored in the annotation's contents.
struct ExtractedHighlight {
    std::string id; // identity within the running process only; never stored
    std::string text;
    Rect bounds; // page space
    Color color;
    std::optional<std::string> comment;
    std::optional<std::string> resultData; // an HTML table or formula text
    int pageNumber = 0;                    // 1-based
    // The annotation the entry was read from: edits act on this very object, never on
    // another that merely overlaps it. None for entries not read from a page.
    std::shared_ptr<pdfkit::Annotation> annotation;

    bool operator==(const ExtractedHighlight&) const = default;
};

// The colour of an annotation that carries none.
inline constexpr Color kDefaultHighlightColor{1, 1, 0, 1};

} // namespace ombrix

OMBRIX_API_END
