#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "document/PDFBridge.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ombrix {

namespace pdfkit {
class Annotation;
class Document;
} // namespace pdfkit

// The engine bridge over the PDF kit. Holds no documents; a document's `handle` holds its
// std::shared_ptr<pdfkit::Document>. Called from the main thread.
class PDFKitBridge : public PDFBridge {
public:
    // `password` unlocks encrypted files on open(); without one they fail, saying so.
    explicit PDFKitBridge(std::optional<std::string> password = std::nullopt)
        : password_(std::move(password)) {}
    void setPassword(std::optional<std::string> password) { password_ = std::move(password); }

    static constexpr const char* kErrorDomain = "PDFKitBridge";
    static constexpr int kNoDocument = -1;  // "No underlying PDFKit document"
    static constexpr int kNoFileURL = -2;   // "PDFDocument has no file URL"
    static constexpr int kWriteFailed = -3; // the engine's own message
    // The file changed on disk since it was opened (the engine's message); nothing written.
    static constexpr int kChangedOnDisk = -4;

    // Throws BridgeError::cannotOpen naming why: missing, permission denied, not a regular
    // file (refused before reading), not a PDF, damaged beyond repair, needs a password,
    // wrong password.
    std::shared_ptr<PDFDocument> open(const std::filesystem::path& url) override;
    void close(PDFDocument& document) override;
    Image renderPage(const PDFDocument& document, int pageIndex, Size targetSize) override;

    // Writes the whole document back to the file it came from, replacing it atomically.
    // Throws Error in kErrorDomain: kNoDocument, kNoFileURL, kChangedOnDisk or
    // kWriteFailed with the file left as it was.
    virtual void saveAnnotations(const PDFDocument& document);

    // The record of an engine document already open and unlocked (opened elsewhere, e.g.
    // off the main thread). Throws BridgeError::emptyDocument when it has no pages.
    static std::shared_ptr<PDFDocument> makeDocument(std::shared_ptr<pdfkit::Document> engine,
                                                     const std::filesystem::path& url);
    // The PDF kit document inside a document's handle, or nullptr.
    static std::shared_ptr<pdfkit::Document> engineDocument(const PDFDocument& document);
    // Rendering refuses pixel sizes beyond this many pixels (a 1 GiB bitmap).
    static constexpr double kMaxPixels = 268435456.0;

private:
    std::optional<std::string> password_;
};

} // namespace ombrix

OMBRIX_API_END
