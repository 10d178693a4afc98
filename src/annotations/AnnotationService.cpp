#include "annotations/AnnotationService.h"

#include "annotations/PageMarkupCommand.h"
#include "core/Uuid.h"
#include "document/PDFDocument.h"
#include "document/PDFKitBridge.h"
#include "pdfkit/Annotation.h"
#include "pdfkit/Document.h"
#include "pdfkit/Page.h"

namespace ombrix {

namespace {

constexpr const char* kTextFontFamily = "Helvetica";

std::shared_ptr<pdfkit::Page> pageOf(const PDFDocument& document, int pageIndex) {
    auto engine = PDFKitBridge::engineDocument(document);
    return engine ? engine->page(pageIndex) : nullptr;
}

} // namespace

void AnnotationService::applyAppearance(pdfkit::Annotation& annotation, AnnotationType type,
                                        const AnnotationAppearance& appearance,
                                        const std::optional<std::string>& content) {
    if (isMarkupType(type)) {
        annotation.setColor(appearance.color.withAlpha(appearance.opacity));
        if (type == AnnotationType::underline) {
            annotation.setFontColor(appearance.color);
        }
    } else if (isShapeType(type)) {
        annotation.setColor(appearance.color);
        annotation.setInteriorColor(appearance.interiorColor ? *appearance.interiorColor
                                                             : appearance.color.withAlpha(0.2));
        annotation.setBorder(pdfkit::Border{appearance.borderWidth});
    } else if (isTextType(type)) {
        annotation.setColor(SystemColors::clear);
        annotation.setFontColor(appearance.color);
        annotation.setFont(pdfkit::Font{kTextFontFamily, appearance.fontSize});
    } else {
        annotation.setColor(appearance.color);
    }
    if (content) {
        annotation.setContents(*content);
    }
    if (appearance.author) {
        annotation.setUserName(*appearance.author);
    }
}

AnnotationRecord AnnotationService::recordOf(const std::shared_ptr<pdfkit::Annotation>& annotation,
                                             int pageIndex) {
    AnnotationType type = annotationTypeFrom(annotation->type());
    AnnotationAppearance appearance = AnnotationRecord::defaultAppearance(type);
    // No colour reads as the clear colour, as a free text annotation without /C.
    appearance.color = annotation->color().value_or(SystemColors::clear);
    appearance.opacity = 1.0;
    auto font = annotation->font();
    appearance.fontSize = font ? font->size : 14.0;
    appearance.author = annotation->userName();
    if (type == AnnotationType::square || type == AnnotationType::circle ||
        type == AnnotationType::line) {
        appearance.interiorColor = annotation->interiorColor();
        auto border = annotation->border();
        appearance.borderWidth = border ? border->lineWidth : 1.0;
    }
    AnnotationRecord record(Uuid::random(), pageIndex, type, annotation->bounds(),
                            annotation->contents(), appearance, annotation);
    record.region = annotation->isRegion();
    return record;
}

std::vector<AnnotationRecord> AnnotationService::records(const PDFDocument& document) {
    std::vector<AnnotationRecord> records;
    auto engine = PDFKitBridge::engineDocument(document);
    if (!engine) {
        return records;
    }
    const int count = engine->pageCount();
    for (int i = 0; i < count; ++i) {
        auto page = engine->page(i);
        if (!page) {
            continue;
        }
        for (const auto& annotation : page->annotations()) {
            if (annotation) {
                records.push_back(recordOf(annotation, i));
            }
        }
    }
    return records;
}

std::shared_ptr<pdfkit::Annotation> AnnotationService::addToPage(const PDFDocument& document,
                                                                 const AnnotationRecord& record) {
    auto page = pageOf(document, record.pageIndex);
    if (!page) {
        return nullptr;
    }
    auto annotation = pdfkit::Annotation::create(record.bounds, annotationSubtype(record.type));
    if (!annotation) {
        return nullptr;
    }
    applyAppearance(*annotation, record.type, record.appearance, record.content);
    if (record.region) {
        annotation->setRegion(true);
    }
    page->addAnnotation(annotation);
    return annotation;
}

void AnnotationService::updateOnPage(const PDFDocument& document, const AnnotationRecord& record) {
    auto page = pageOf(document, record.pageIndex);
    if (!page || !isOnPage(*page, record.pdfAnnotationRef)) {
        return;
    }
    record.pdfAnnotationRef->setBounds(record.bounds);
    applyAppearance(*record.pdfAnnotationRef, record.type, record.appearance, record.content);
}

void AnnotationService::removeFromPage(const PDFDocument& document,
                                       const AnnotationRecord& record) {
    auto page = pageOf(document, record.pageIndex);
    if (!page || !isOnPage(*page, record.pdfAnnotationRef)) {
        return;
    }
    page->removeAnnotation(record.pdfAnnotationRef);
}

AnnotationService::AnnotationService(std::shared_ptr<PDFKitBridge> bridge)
    : bridge_(std::move(bridge)) {}

std::vector<AnnotationRecord> AnnotationService::loadAll(const PDFDocument& document) const {
    return records(document);
}

AnnotationRecord AnnotationService::addHighlight(PDFDocument& document, int pageIndex,
                                                 const Rect& bounds) {
    AnnotationRecord record(Uuid::random(), pageIndex, AnnotationType::highlight, bounds,
                            std::nullopt, AnnotationAppearance::defaultHighlight());
    record.region = true; // a rectangle of the page, not lines of text
    record.pdfAnnotationRef = addToPage(document, record);
    document.markDirty();
    return record;
}

void AnnotationService::save(PDFDocument& document) {
    bridge_->saveAnnotations(document);
    document.markClean();
}

std::shared_ptr<pdfkit::Annotation>
AnnotationService::realise(const PDFDocument& document, const AnnotationRecord& record) const {
    return addToPage(document, record);
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
        applyAppearance(*annotation, record.type, appearance, record.content);
    }
    if (record.region) {
        annotation->setRegion(true);
    }
    return annotation;
}

} // namespace ombrix
