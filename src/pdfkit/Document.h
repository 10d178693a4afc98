#pragma once

#include "pdfkit/Page.h"
#include "pdfkit/Selection.h"

#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace ombrix::pdfkit {

class PageRenderer;

enum class DocumentAttribute { title, author, subject, keywords };

// An open PDF file. Edited on one thread (the main thread); PageRenderer renders its
// pages on others. MuPDF errors never escape: they become empty results or
// ombrix::Error (domain "PDFKit") where a caller must know.
class Document : public std::enable_shared_from_this<Document> {
public:
    // Nothing when the file is missing, not a readable PDF, or encrypted.
    static std::shared_ptr<Document> open(const std::filesystem::path& path);
    virtual ~Document() = default;

    virtual int pageCount() const = 0;
    virtual std::shared_ptr<Page> page(int index) const = 0; // nullptr when out of range
    virtual std::optional<int> indexOf(const Page& page) const = 0;

    virtual std::optional<std::string> attribute(DocumentAttribute key) const = 0;
    virtual const std::filesystem::path& documentURL() const = 0;

    // The complete document, every annotation change included. Writing replaces the file
    // atomically: on failure the file at `path` is untouched and ombrix::Error carries
    // the engine's message.
    virtual void write(const std::filesystem::path& path) = 0;
    virtual std::string dataRepresentation() const = 0; // throws ombrix::Error on failure

    // Every occurrence in document order. Whitespace in the needle matches any run of
    // whitespace, line and page breaks included, so an occurrence may span two pages.
    virtual std::vector<Selection> find(const std::string& needle, bool caseInsensitive) const = 0;

    virtual PageRenderer& renderer() = 0;

    // Held by every operation on the document; a caller making several changes that
    // must appear together to renderers may hold it across them.
    virtual std::recursive_mutex& mutex() const = 0;
};

} // namespace ombrix::pdfkit
