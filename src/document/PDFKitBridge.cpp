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
