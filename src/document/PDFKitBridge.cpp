#include "document/PDFKitBridge.h"

#include "core/AtomicFile.h"
#include "core/Error.h"
#include "core/Uuid.h"
#include "document/BrainFingerprint.h"
#include "document/BridgeError.h"
#include "pdfkit/Annotation.h"
#include "pdfkit/Document.h"
#include "pdfkit/Page.h"
#include "pdfkit/PageRenderer.h"

#include <algorithm>
#include <cmath>
#include <sys/stat.h>
namespace ombrix {

namespace {

constexpr const char* kTextFontFamily = "Helvetica";

bool isOnPage(const pdfkit::Page& page, const std::shared_ptr<pdfkit::Annotation>& annotation) {
    if (!annotation) {
        return false;
    }
    auto onPage = page.annotations();
    return std::any_of(onPage.begin(), onPage.end(),
                       [&](const auto& a) { return a.get() == annotation.get(); });
}

std::shared_ptr<pdfkit::Page> pageOf(const PDFDocument& document, int pageIndex) {
    auto engine = PDFKitBridge::engineDocument(document);
    return engine ? engine->page(pageIndex) : nullptr;
}

} // namespace

std::shared_ptr<pdfkit::Document> PDFKitBridge::engineDocument(const PDFDocument& document) {
    return document.handle;
}

namespace {

std::string notRegularReason(const std::filesystem::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return "it is not a regular file";
    }
    const char* kind = S_ISDIR(st.st_mode)                          ? "a folder"
                       : S_ISFIFO(st.st_mode)                       ? "a FIFO"
                       : S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode) ? "a device"
                       : S_ISSOCK(st.st_mode)                       ? "a socket"
                                                                    : "something";
    return std::string("it is ") + kind + ", not a regular file";
}

} // namespace

std::shared_ptr<PDFDocument> PDFKitBridge::open(const std::filesystem::path& url) {
    using pdfkit::OpenStatus;
    // The kit refuses what is not a plain readable file before anything reads it.
    pdfkit::OpenResult result = pdfkit::Document::openFile(url);
    switch (result.status) {
    case OpenStatus::opened:
    case OpenStatus::openedWithRepairs:
        break;
    case OpenStatus::needsPassword:
        if (!password_) {
            throw BridgeError::cannotOpen(url, "it needs a password");
        }
        if (!result.document || !result.document->authenticate(*password_)) {
            throw BridgeError::cannotOpen(url, "wrong password");
        }
        break;
    case OpenStatus::missing:
        throw BridgeError::cannotOpen(url, "it does not exist");
    case OpenStatus::permissionDenied:
        throw BridgeError::cannotOpen(url, "permission denied");
    case OpenStatus::notRegularFile:
        throw BridgeError::cannotOpenPath(url, notRegularReason(url));
    case OpenStatus::notPDF:
        throw BridgeError::cannotOpen(url, "it is not a PDF");
    case OpenStatus::damaged:
        throw BridgeError::cannotOpen(url, "it is damaged beyond repair");
    }
    if (!result.document) {
        throw BridgeError::cannotOpen(url);
    }
    return makeDocument(std::move(result.document), url);
}

std::shared_ptr<PDFDocument> PDFKitBridge::makeDocument(std::shared_ptr<pdfkit::Document> engine,
                                                        const std::filesystem::path& url) {
    const int count = engine->pageCount();
    if (count < 1) {
        throw BridgeError::emptyDocument();
    }

    // The page as shown: its crop box, unrotated, and the rotation to apply.
    engine->displaySizes(); // reads every page's geometry in one pass
    std::vector<PageGeometry> sizes;
    sizes.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        if (auto page = engine->page(i)) {
            Rect box = page->cropBox().standardized();
            sizes.push_back(PageGeometry{box.width, box.height, page->rotation()});
        } else {
            sizes.push_back(PageGeometry::usLetter);
        }
    }

    PDFMetadata metadata;
    metadata.title = engine->attribute(pdfkit::DocumentAttribute::title);
    metadata.author = engine->attribute(pdfkit::DocumentAttribute::author);
    metadata.subject = engine->attribute(pdfkit::DocumentAttribute::subject);
    metadata.keywords = engine->attribute(pdfkit::DocumentAttribute::keywords);

    auto fingerprint = BrainFingerprint::compute(url);
    return std::make_shared<PDFDocument>(
        Uuid::random(), url, documentName(url), count, std::move(sizes), std::move(metadata), false,
        fingerprint ? *fingerprint : BrainFingerprint::fallback(), engine);
}

void PDFKitBridge::close(PDFDocument& /*document*/) {
    // The engine document goes with the record's handle.
}

Image PDFKitBridge::renderPage(const PDFDocument& document, int pageIndex, Size targetSize) {
    auto engine = engineDocument(document);
    auto page = engine ? engine->page(pageIndex) : nullptr;
    if (!page) {
        throw BridgeError::pageOutOfRange();
    }
    const Size shown = page->displaySize();
    const double w = shown.width, h = shown.height;
    if (std::isnan(targetSize.width) || std::isnan(targetSize.height)) {
        throw BridgeError::renderFailed();
    }
    const double scale = std::min(targetSize.width / w, targetSize.height / h);
    // A degenerate media box or target gives no sensible bitmap; neither does a size the
    // int conversion or memory cannot hold.
    if (!(w > 0) || !(h > 0) || !std::isfinite(scale) || scale < 0) {
        throw BridgeError::renderFailed();
    }
    const double exactW = std::trunc(w * scale), exactH = std::trunc(h * scale);
    if (!(exactW * exactH <= kMaxPixels) || exactW > kMaxPixels || exactH > kMaxPixels) {
        throw BridgeError::renderFailed();
    }
    const int pixelW = exactW < 2 ? 1 : static_cast<int>(exactW);
    const int pixelH = exactH < 2 ? 1 : static_cast<int>(exactH);

    // The renderer rasterises outside the document's lock, so a render never holds up
    // edits on the main thread; white underneath, annotations drawn, the page as shown
    // (crop box, rotation).
    Image image =
        engine->renderer().renderTile(pageIndex, Rect{0, 0, w, h}, scale, pixelW, pixelH, true);
    if (image.isNull() || image.width() <= 0 || image.height() <= 0) {
        throw BridgeError::renderFailed();
    }
    return image;
}

void PDFKitBridge::applyAppearance(pdfkit::Annotation& annotation, AnnotationType type,
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

AnnotationRecord PDFKitBridge::recordOf(const std::shared_ptr<pdfkit::Annotation>& annotation,
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

std::vector<AnnotationRecord> PDFKitBridge::loadAnnotations(const PDFDocument& document) {
    std::vector<AnnotationRecord> records;
    auto engine = engineDocument(document);
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

std::shared_ptr<pdfkit::Annotation> PDFKitBridge::addAnnotation(const PDFDocument& document,
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

void PDFKitBridge::updateAnnotation(const PDFDocument& document, const AnnotationRecord& record) {
    auto page = pageOf(document, record.pageIndex);
    if (!page || !isOnPage(*page, record.pdfAnnotationRef)) {
        return;
    }
    record.pdfAnnotationRef->setBounds(record.bounds);
    applyAppearance(*record.pdfAnnotationRef, record.type, record.appearance, record.content);
}

void PDFKitBridge::removeAnnotation(const PDFDocument& document, const AnnotationRecord& record) {
    auto page = pageOf(document, record.pageIndex);
    if (!page || !isOnPage(*page, record.pdfAnnotationRef)) {
        return;
    }
    page->removeAnnotation(record.pdfAnnotationRef);
}

void PDFKitBridge::saveAnnotations(const PDFDocument& document) {
    auto engine = engineDocument(document);
    if (!engine) {
        throw Error(kErrorDomain, kNoDocument, "No underlying PDFKit document");
    }
    const auto& url = engine->documentURL();
    if (url.empty()) {
        throw Error(kErrorDomain, kNoFileURL, "PDFDocument has no file URL");
    }
    // A failed write must not pass for a save: the caller keeps the document dirty.
    try {
        engine->write(url);
    } catch (const Error& e) {
        const bool changed = e.code() == ombrix::kChangedOnDisk;
        throw Error(kErrorDomain, changed ? kChangedOnDisk : kWriteFailed, e.description());
    } catch (const std::exception& e) {
        throw Error(kErrorDomain, kWriteFailed, describe(e));
    }
}

} // namespace ombrix
