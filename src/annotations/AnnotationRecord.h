#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "annotations/AnnotationType.h"
#include "core/Color.h"
#include "core/Geometry.h"
#include "core/Uuid.h"

#include <memory>
#include <optional>
#include <string>

namespace ombrix {

namespace pdfkit {
class Annotation;
}

struct AnnotationAppearance {
    Color color;
    std::optional<Color> interiorColor;
    double opacity = 1.0;
    double borderWidth = 1.0;
    double fontSize = 14.0;
    std::optional<std::string> author;

    static const AnnotationAppearance& defaultHighlight();
    static const AnnotationAppearance& defaultShape();
    static const AnnotationAppearance& defaultText();

    bool operator==(const AnnotationAppearance&) const = default;
};

// The application's record of one annotation; bounds in page space.
struct AnnotationRecord {
    Uuid id;
    int pageIndex = 0;
    AnnotationType type = AnnotationType::unknown;
    Rect bounds;
    std::optional<std::string> content;
    AnnotationAppearance appearance;
    std::shared_ptr<pdfkit::Annotation> pdfAnnotationRef; // the engine annotation, once realised
    // A highlight of a dragged-out region rather than of lines of text: realised showing
    // exactly its rectangle (pdfkit::Annotation::setRegion).
    bool region = false;

    AnnotationRecord(Uuid id, int pageIndex, AnnotationType type, Rect bounds,
                     std::optional<std::string> content = std::nullopt,
                     std::optional<AnnotationAppearance> appearance = std::nullopt,
                     std::shared_ptr<pdfkit::Annotation> pdfAnnotationRef = nullptr);

    static AnnotationAppearance defaultAppearance(AnnotationType type);
};

} // namespace ombrix

OMBRIX_API_END
