#include "annotations/AnnotationService.h"

#include "core/Uuid.h"
#include "document/PDFDocument.h"
#include "document/PDFKitBridge.h"
#include "pdfkit/Annotation.h"

namespace ombrix {

AnnotationService::AnnotationService(std::shared_ptr<PDFKitBridge> bridge)
    : bridge_(std::move(bridge)) {}

std::vector<AnnotationRecord> AnnotationService::loadAll(const PDFDocument& document) const {
    return bridge_->loadAnnotations(document);
}

AnnotationRecord AnnotationService::addHighlight(PDFDocument& document, int pageIndex,
                                                 const Rect& bounds) {
    AnnotationRecord record(Uuid::random(), pageIndex, AnnotationType::highlight, bounds,
                            std::nullopt, AnnotationAppearance::defaultHighlight());
    record.region = true; // a rectangle of the page, not lines of text
    record.pdfAnnotationRef = bridge_->addAnnotation(document, record);
    document.markDirty();
    return record;
}

void AnnotationService::save(PDFDocument& document) {
    bridge_->saveAnnotations(document);
    document.markClean();
}

std::shared_ptr<pdfkit::Annotation>
AnnotationService::realise(const PDFDocument& document, const AnnotationRecord& record) const {
    return bridge_->addAnnotation(document, record);
}

std::shared_ptr<pdfkit::Annotation>
AnnotationService::makeEngineAnnotation(const AnnotationRecord& record, ShapeBorder border) {
    auto annotation = pdfkit::Annotation::create(record.bounds, annotationSubtype(record.type));
    if (!annotation) {
        return nullptr;
    }
    const auto& appearance = record.appearance;
    if (border == ShapeBorder::leave && isShapeType(record.type)) {
        // Colours as the bridge sets them, the engine's own default border kept.
        annotation->setColor(appearance.color);
        annotation->setInteriorColor(appearance.interiorColor ? *appearance.interiorColor
                                                              : appearance.color.withAlpha(0.2));
        if (record.content) {
            annotation->setContents(*record.content);
        }
        if (appearance.author) {
            annotation->setUserName(*appearance.author);
        }
    } else {
        PDFKitBridge::applyAppearance(*annotation, record.type, appearance, record.content);
    }
    if (record.region) {
        annotation->setRegion(true);
    }
    return annotation;
}

} // namespace ombrix
