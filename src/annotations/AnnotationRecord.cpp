#include "annotations/AnnotationRecord.h"

namespace ombrix {

const AnnotationAppearance& AnnotationAppearance::defaultHighlight() {
    static const AnnotationAppearance appearance{SystemColors::yellow, std::nullopt, 0.5, 1.0, 14.0,
                                                 std::nullopt};
    return appearance;
}

const AnnotationAppearance& AnnotationAppearance::defaultShape() {
    static const AnnotationAppearance appearance{
        SystemColors::red, SystemColors::red.withAlpha(0.2), 0.3, 1.0, 14.0, std::nullopt};
    return appearance;
}

const AnnotationAppearance& AnnotationAppearance::defaultText() {
    static const AnnotationAppearance appearance{SystemColors::blue, std::nullopt, 1.0, 1.0, 14.0,
                                                 std::nullopt};
    return appearance;
}

AnnotationRecord::AnnotationRecord(Uuid id, int pageIndex, AnnotationType type, Rect bounds,
                                   std::optional<std::string> content,
                                   std::optional<AnnotationAppearance> appearance,
                                   std::shared_ptr<pdfkit::Annotation> pdfAnnotationRef)
    : id(id), pageIndex(pageIndex), type(type), bounds(bounds), content(std::move(content)),
      appearance(appearance ? std::move(*appearance) : defaultAppearance(type)),
      pdfAnnotationRef(std::move(pdfAnnotationRef)) {}

AnnotationAppearance AnnotationRecord::defaultAppearance(AnnotationType type) {
    if (isShapeType(type)) {
        return AnnotationAppearance::defaultShape();
    }
    if (isTextType(type)) {
        return AnnotationAppearance::defaultText();
    }
    return AnnotationAppearance::defaultHighlight();
}

} // namespace ombrix
