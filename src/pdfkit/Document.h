#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "core/Image.h"
#include "pdfkit/CancelToken.h"
#include "pdfkit/Link.h"
#include "pdfkit/Page.h"
#include "pdfkit/Selection.h"
#include "pdfkit/TextLayout.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace ombrix::pdfkit {

class PageRenderer;

enum class DocumentAttribute { title, author, subject, keywords };

class Document;

// Why a file did or did not open.
enum class OpenStatus {
    opened,
    openedWithRepairs, // damaged, and MuPDF rebuilt what it could
    needsPassword,     // the document is there, locked: authenticate() opens it
    missing,
    permissionDenied,
    notRegularFile, // a directory, FIFO, device...: refused before anything is read
    notPDF,
    damaged, // a PDF beyond repair
};

struct OpenResult {
    OpenStatus status = OpenStatus::missing;
    std::shared_ptr<Document> document; // for opened, openedWithRepairs, needsPassword
    std::string message;                // a reason a user can read; empty when opened
};

// An open PDF file. Edited on one thread (the main thread); PageRenderer renders its
// pages on others. MuPDF errors never escape: they become empty results or
// ombrix::Error (domain "PDFKit") where a caller must know.
class Document : public std::enable_shared_from_this<Document> {
public:
    // Opens a file and says why when it cannot. Call from one thread at a time per file.
    static OpenResult openFile(const std::filesystem::path& path);
    // The document when it opened (with or without repairs); nullptr otherwise, locked
    // documents included.
    static std::shared_ptr<Document> open(const std::filesystem::path& path);
    virtual ~Document() = default;

    // A locked document has no pages until authenticate() succeeds (main thread).
    virtual bool isLocked() const = 0;
    virtual bool authenticate(const std::string& password) = 0; // true when now unlocked
    // Why annotations of this document may not be added, changed or removed, in words for
    // the user; nothing when they may. An encrypted file that does not grant annotating
    // to its user password refuses (MuPDF would write the change all the same).
    virtual std::optional<std::string> markupRefusal() const = 0;

    virtual int pageCount() const = 0;
    // How many pages hold their parsed content now: however many were visited, at most
    // kMostLoadedPages do, so memory does not grow with the pages seen. Any thread.
    virtual std::size_t loadedPageCount() const = 0;
    static constexpr std::size_t kMostLoadedPages = 16;
    virtual std::shared_ptr<Page> page(int index) const = 0; // nullptr when out of range
    virtual std::optional<int> indexOf(const Page& page) const = 0;

    // Deletes a page with the links, outline entries, named destinations and open action
    // that lead to it; the pages after it move up one and keep their labels. The page
    // object handed out for it belongs to no document any more. Throws ombrix::Error
    // (domain "PDFKit") saying why when there is no such page, it is the only one, or
    // MuPDF fails; after a failure inside MuPDF the document refuses to be written. Main
    // thread, with nothing rendering the document (a structural edit, as the command
    // line makes it).
    virtual void deletePage(int index) = 0;

    virtual std::optional<std::string> attribute(DocumentAttribute key) const = 0;
    virtual const std::filesystem::path& documentURL() const = 0;

    // The complete document, every annotation change included. Writing replaces the file
    // atomically: on failure the file at `path` is untouched and ombrix::Error carries
    // the engine's message.
    virtual void write(const std::filesystem::path& path) = 0;
    virtual std::string dataRepresentation() const = 0; // throws ombrix::Error on failure
    // A one-page PDF of `image` (as encodeImagePDF makes it) protected as this document
    // is: an encrypted document's image is encrypted the same way with the same passwords,
    // checked by opening it again with the password that unlocked this one. Throws
    // ombrix::Error (domain "PDFKit") rather than hand back a file less protected than
    // the document. Main thread.
    // `page` is the page's size in points (as encodeImagePDF).
    virtual std::string imagePDF(const Image& image,
                                 const std::optional<Size>& page = std::nullopt) const = 0;

    // Every occurrence in document order. Whitespace in the needle matches any run of
    // whitespace, line and page breaks included, so an occurrence may span two pages.
    // Nothing when `token` is cancelled before the search ends (it stops soon after).
    virtual std::vector<Selection> find(const std::string& needle, bool caseInsensitive,
                                        const CancelToken* token = nullptr) const = 0;
    // The same search as it goes, from any thread: `found` gets each occurrence once it
    // is complete, `pagesRead` the number of pages read so far after each page. Once
    // `token` is cancelled no further page is read and nothing more is found.
    struct FindProgress {
        std::function<void(Selection)> found;
        std::function<void(int pagesRead)> pagesRead;
        const CancelToken* token = nullptr;
    };
    virtual void find(const std::string& needle, bool caseInsensitive,
                      const FindProgress& progress) const = 0;

    virtual PageRenderer& renderer() = 0;

    // The pages, in ascending order, whose content has been found damaged (see
    // Page::contentDamaged) whenever their text was read: after a search, every damaged
    // page of the document. Any thread.
    virtual std::vector<int> damagedPages() const = 0;

    // Every page's display size (crop box, turned by /Rotate) in one pass; cheap after the
    // first call. Main thread.
    virtual std::vector<Size> displaySizes() const = 0;
    // The page's structured text for hit-testing and selection, from any thread; recent
    // pages' layouts are kept. nullptr when the page does not exist or `token` was
    // cancelled.
    virtual std::shared_ptr<const TextLayout>
    textLayout(int pageIndex, const CancelToken* token = nullptr) const = 0;
    virtual std::vector<Link> links(int pageIndex) const = 0; // any thread
    virtual std::vector<OutlineItem> outline() const = 0;     // any thread

    // Held by every operation on the document; a caller making several changes that
    // must appear together to renderers may hold it across them.
    virtual std::recursive_mutex& mutex() const = 0;
};

} // namespace ombrix::pdfkit

OMBRIX_API_END
