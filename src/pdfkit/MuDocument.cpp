#include "pdfkit/MuDocument.h"

#include "core/AtomicFile.h"
#include "core/Error.h"
#include "pdfkit/ImageCodec.h"
#include "pdfkit/InflationCheck.h"
#include "pdfkit/MuAnnotation.h"
#include "pdfkit/MuImagePage.h"
#include "pdfkit/MuRenderer.h"
#include "pdfkit/MuSave.h"
#include "pdfkit/PageRemoval.h"
#include "pdfkit/PageTree.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <string_view>
#include <system_error>
#include <unistd.h>
#include <unordered_set>

namespace ombrix::pdfkit {

DocCore::~DocCore() {
    if (pdf) {
        fz_context* ctx = mu::context();
        for (pdf_obj* obj : pageObjects) {
            pdf_drop_obj(ctx, obj);
        }
        if (pageTreeLoaded) {
            pdf_drop_page_tree(ctx, pdf);
        }
        pdf_drop_document(ctx, pdf);
    }
}

// ---- Document ----

namespace {

bool hasPage(fz_context* ctx, pdf_document* doc, int index) {
    return mu::pageObject(ctx, doc, index) != nullptr;
}

// MuPDF takes the page count from the tree's /Count, which a damaged or hostile file can
// inflate far beyond its pages. Every page is an object of its own, so the count is
// bounded by the objects, and it ends where the tree stops leading to pages (page 0 is
// known to exist).
int reachablePageCount(fz_context* ctx, pdf_document* doc, int count) {
    int objects = 0;
    mu::attempt(ctx, [&] { objects = pdf_xref_len(ctx, doc); });
    count = std::min(count, std::max(objects, 1));
    if (count <= 1 || hasPage(ctx, doc, count - 1)) {
        return count;
    }
    int lo = 1, hi = count - 1; // page lo - 1 exists, page hi does not
    while (lo < hi) {
        const int mid = lo + (hi - lo) / 2;
        if (hasPage(ctx, doc, mid)) {
            lo = mid + 1;
        } else {
            hi = mid;
        }
    }
    return lo;
}

// The number of pages of an unlocked document, or -1 when it has no usable page tree.
int usablePageCount(fz_context* ctx, pdf_document* doc) {
    int count = -1;
    bool ok = mu::attempt(ctx, [&] {
        // A repaired heap of objects without a catalog and page tree is no document.
        pdf_obj* root = pdf_dict_get(ctx, pdf_trailer(ctx, doc), PDF_NAME(Root));
        if (pdf_is_dict(ctx, root) && pdf_is_dict(ctx, pdf_dict_get(ctx, root, PDF_NAME(Pages)))) {
            count = pdf_count_pages(ctx, doc);
            if (count > 0 && !mu::pageObject(ctx, doc, 0)) {
                count = -1;
            }
        }
    });
    if (!ok || count < 0) {
        return -1;
    }
    return reachablePageCount(ctx, doc, count);
}

// Without an index every page lookup walks the tree, which makes a pass over a large
// document quadratic: our own pages look their objects up in the walk made here, and
// MuPDF's page loading in its page map, loaded when it agrees with the walk on every page.
// Nothing here changes the page tree while the map is loaded.
void indexPages(fz_context* ctx, DocCore& core, int count) {
    const std::vector<pdf_obj*> found = mu::walkPageTree(ctx, core.pdf, count);
    if (found.empty()) {
        return;
    }
    core.pageObjects.reserve(found.size());
    for (pdf_obj* obj : found) {
        core.pageObjects.push_back(pdf_keep_obj(ctx, obj));
    }
    int counted = 0;
    mu::attempt(ctx, [&] { counted = pdf_count_pages(ctx, core.pdf); });
    if (counted != count || !mu::attempt(ctx, [&] { pdf_load_page_tree(ctx, core.pdf); })) {
        return;
    }
    core.pageTreeLoaded = true;
    bool same = core.pdf->map_page_count == count;
    for (int i = 0; same && i < count; ++i) {
        same = core.pdf->fwd_page_map[i] == pdf_to_num(ctx, found[std::size_t(i)]);
    }
    if (!same) {
        pdf_drop_page_tree(ctx, core.pdf);
        core.pageTreeLoaded = false;
    }
}

bool hasPdfHeader(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    char head[1024];
    in.read(head, sizeof head);
    return std::string_view(head, std::size_t(in.gcount())).find("%PDF-") != std::string_view::npos;
}

OpenResult failure(OpenStatus status, const std::filesystem::path& path, const std::string& why) {
    return OpenResult{status, nullptr, path.filename().string() + " " + why};
}

} // namespace

namespace mu {
int pageCountAsOpened(fz_context* ctx, pdf_document* doc) {
    return pdfkit::usablePageCount(ctx, doc);
}
} // namespace mu

OpenResult Document::openFile(const std::filesystem::path& path) {
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (status.type() == std::filesystem::file_type::not_found) {
        return failure(OpenStatus::missing, path, "does not exist.");
    }
    if (ec) {
        if (ec == std::errc::permission_denied) {
            return failure(OpenStatus::permissionDenied, path,
                           "cannot be read: permission denied.");
        }
        return failure(OpenStatus::missing, path, "cannot be found: " + ec.message() + ".");
    }
    // A FIFO would block the open and a directory is no file: neither is read.
    if (status.type() != std::filesystem::file_type::regular) {
        return failure(OpenStatus::notRegularFile, path, "is not a regular file.");
    }
    if (::access(path.c_str(), R_OK) != 0) {
        return failure(OpenStatus::permissionDenied, path, "cannot be read: permission denied.");
    }

    // Taken before MuPDF reads the file: a save later replaces only this version of it.
    const auto stamp = fileStamp(path);
    fz_context* ctx = mu::context();
    const std::string file = path.string();
    const char* name = file.c_str();
    pdf_document* doc = nullptr;
    bool locked = false;
    mu::Failure why;
    bool ok = mu::attempt(
        ctx,
        [&] {
            doc = pdf_open_document(ctx, name);
            locked = pdf_needs_password(ctx, doc);
        },
        &why);
    int count = ok && !locked ? usablePageCount(ctx, doc) : 0;
    if (!ok || count < 0) {
        pdf_drop_document(ctx, doc);
        if (!hasPdfHeader(path)) {
            return failure(OpenStatus::notPDF, path, "is not a PDF file.");
        }
        return failure(OpenStatus::damaged, path, "is damaged beyond repair.");
    }
    bool repaired = false;
    mu::attempt(ctx, [&] { repaired = pdf_was_repaired(ctx, doc); });

    auto core = std::make_shared<DocCore>();
    core->pdf = doc;
    if (!locked) {
        indexPages(ctx, *core, count);
    }
    auto document = std::make_shared<MuDocument>(std::move(core), path, count, locked);
    document->makePages();
    document->rememberFile(stamp);
    if (locked) {
        return OpenResult{OpenStatus::needsPassword, document,
                          path.filename().string() + " is protected by a password."};
    }
    if (repaired) {
        return OpenResult{OpenStatus::openedWithRepairs, document,
                          path.filename().string() + " was damaged and has been repaired."};
    }
    return OpenResult{OpenStatus::opened, document, {}};
}

std::shared_ptr<Document> Document::open(const std::filesystem::path& path) {
    OpenResult result = openFile(path);
    if (result.status == OpenStatus::opened || result.status == OpenStatus::openedWithRepairs) {
        return result.document;
    }
    return nullptr;
}

MuDocument::MuDocument(std::shared_ptr<DocCore> core, std::filesystem::path path, int pageCount,
                       bool locked)
    : core_(std::move(core)), path_(std::move(path)), count_(locked ? 0 : pageCount),
      renderer_(std::make_unique<MuRenderer>(*this)), locked_(locked) {}

MuDocument::~MuDocument() {
    std::lock_guard lock(core_->mutex);
    renderer_.reset();
    pages_.clear();
}

bool MuDocument::authenticate(const std::string& password) {
    std::lock_guard lock(core_->mutex);
    if (!locked_) {
        return true;
    }
    fz_context* ctx = mu::context();
    int accepted = 0;
    mu::attempt(ctx,
                [&] { accepted = pdf_authenticate_password(ctx, core_->pdf, password.c_str()); });
    if (!accepted) {
        return false;
    }
    // Unlocked but without a usable page tree, it is a document with no pages.
    count_ = std::max(usablePageCount(ctx, core_->pdf), 0);
    indexPages(ctx, *core_, count_);
    locked_ = false;
    password_ = password; // a save is read back with it
    makePages();
    return true;
}

std::optional<std::string> MuDocument::markupRefusal() const {
    std::lock_guard lock(core_->mutex);
    if (locked_) {
        return "The document is locked: it opens with its password first.";
    }
    fz_context* ctx = mu::context();
    int annotate = 1;
    mu::attempt(ctx,
                [&] { annotate = pdf_has_permission(ctx, core_->pdf, FZ_PERMISSION_ANNOTATE); });
    if (!annotate) {
        return "The document's security settings do not allow adding or changing annotations.";
    }
    return std::nullopt;
}

void MuDocument::makePages() {
    auto self = std::static_pointer_cast<MuDocument>(shared_from_this());
    pages_.reserve(std::size_t(count_));
    for (int i = 0; i < count_; ++i) {
        pages_.push_back(std::make_shared<MuPage>(core_, self, i));
    }
}

std::shared_ptr<Page> MuDocument::page(int index) const {
    if (index < 0 || index >= int(pages_.size())) {
        return nullptr;
    }
    return pages_[std::size_t(index)];
}

std::optional<int> MuDocument::indexOf(const Page& page) const {
    const int i = page.index();
    if (i >= 0 && i < int(pages_.size()) && pages_[std::size_t(i)].get() == &page) {
        return i;
    }
    return std::nullopt;
}

std::optional<std::string> MuDocument::attribute(DocumentAttribute key) const {
    const char* names[] = {"Title", "Author", "Subject", "Keywords"};
    std::lock_guard lock(core_->mutex);
    fz_context* ctx = mu::context();
    pdf_obj* trailer = nullptr;
    mu::attempt(ctx, [&] { trailer = pdf_trailer(ctx, core_->pdf); });
    pdf_obj* info = mu::get(ctx, trailer, PDF_NAME(Info));
    return mu::text(ctx, mu::get(ctx, info, names[static_cast<int>(key)]));
}

std::string MuDocument::serialize() const {
    std::lock_guard lock(core_->mutex);
    fz_context* ctx = mu::context();
    pdf_write_options options = pdf_default_write_options;
    // Unreferenced objects (removed annotations) are left out, but nothing is
    // renumbered: the open document and the annotations' kept objects stay valid.
    options.do_garbage = 1;
    options.do_compress = 1;
    fz_buffer* buffer = nullptr;
    fz_output* out = nullptr;
    mu::Failure failure;
    bool ok = mu::attempt(
        ctx,
        [&] {
            buffer = fz_new_buffer(ctx, 64 * 1024);
            out = fz_new_output_with_buffer(ctx, buffer);
            pdf_write_document(ctx, core_->pdf, out, &options);
            fz_close_output(ctx, out);
        },
        &failure);
    fz_drop_output(ctx, out);
    if (!ok) {
        fz_drop_buffer(ctx, buffer);
        throw Error("PDFKit", failure.code, failure.message);
    }
    unsigned char* data = nullptr;
    const std::size_t size = fz_buffer_storage(ctx, buffer, &data);
    std::string bytes(reinterpret_cast<const char*>(data), size);
    fz_drop_buffer(ctx, buffer);
    return bytes;
}

void MuDocument::deletePage(int index) {
    std::lock_guard lock(core_->mutex);
    fz_context* ctx = mu::context();
    if (locked_) {
        throw Error("PDFKit", 1, "the document is locked");
    }
    if (index < 0 || index >= pageCount()) {
        throw Error("PDFKit", 1, "there is no page " + std::to_string(std::int64_t(index) + 1));
    }
    // A PDF without pages is no document any reader opens.
    if (pageCount() == 1) {
        throw Error("PDFKit", 1, "the only page of a document cannot be deleted");
    }
    // MuPDF's loaded pages and its page map are by index, and the indexes are about to move.
    for (const auto& page : pages_) {
        page->release(ctx);
    }
    loaded_.clear();
    if (core_->pageTreeLoaded) {
        pdf_drop_page_tree(ctx, core_->pdf);
        core_->pageTreeLoaded = false;
    }
    if (!mu::deletePageAndReferences(ctx, core_->pdf, index)) {
        structureBroken_ = true;
        throw Error("PDFKit", 1, "the page could not be deleted");
    }
    for (pdf_obj* obj : core_->pageObjects) {
        pdf_drop_obj(ctx, obj);
    }
    core_->pageObjects.clear();
    count_ = pageCount() - 1;
    indexPages(ctx, *core_, count_);
    pages_[std::size_t(index)]->renumber(ctx, -1);
    pages_.erase(pages_.begin() + index);
    for (std::size_t i = std::size_t(index); i < pages_.size(); ++i) {
        pages_[i]->renumber(ctx, int(i));
    }
    forgetText(std::nullopt);
    {
        std::lock_guard textLock(textMutex_);
        std::set<int> shifted;
        for (int page : damaged_) {
            if (page != index) {
                shifted.insert(page > index ? page - 1 : page);
            }
        }
        damaged_ = std::move(shifted);
    }
    labels_.reset();
    if (renderer_) {
        renderer_->forget();
    }
}

void MuDocument::forgetText(std::optional<int> page) const {
    std::lock_guard textLock(textMutex_);
    std::erase_if(texts_, [&](const CachedText& entry) { return !page || entry.page == *page; });
}

void MuDocument::write(const std::filesystem::path& path) {
    std::lock_guard lock(core_->mutex);
    fz_context* ctx = mu::context();
    if (structureBroken_) {
        throw Error("PDFKit", 1, "the document could not be changed safely, so it is not written");
    }
    std::error_code ec;
    const auto canonical = [&](const std::filesystem::path& p) {
        return std::filesystem::weakly_canonical(p, ec);
    };
    // Only the document's own file is guarded against changes by others; a copy written
    // elsewhere replaces whatever is there.
    const bool ownFile = canonical(path) == canonical(path_);
    std::optional<FileLock> fileLock;
    if (std::filesystem::exists(path, ec)) {
        try {
            fileLock.emplace(path);
        } catch (const Error&) {
            // A file we may replace but not read: written without the lock.
        }
    }
    mu::SaveCheck check;
    check.password = password_;
    check.shownPages = pageCount();
    for (const auto& page : pages_) {
        if (page->generation() != 0) {
            check.pages.push_back(page->index());
        }
    }
    mu::saveDocument(ctx, core_->pdf, path, saveBase_, ownFile ? stamp_ : std::nullopt, check);
    if (ownFile) {
        stamp_ = fileStamp(path);
    }
}

void MuDocument::rememberFile(std::optional<FileStamp> stamp) {
    stamp_ = stamp;
}

std::string MuDocument::dataRepresentation() const {
    return serialize();
}

std::string MuDocument::imagePDF(const Image& image, const std::optional<Size>& page) const {
    std::lock_guard lock(core_->mutex);
    fz_context* ctx = mu::context();
    pdf_crypt* crypt = core_->pdf->crypt;
    if (!crypt) {
        auto bytes = encodeImagePDF(image, page);
        if (!bytes) {
            throw Error("PDFKit", 1, "Could not make a PDF of the image.");
        }
        return *bytes;
    }
    const auto refuse = [](const std::string& why) {
        throw Error("PDFKit", 1,
                    "Could not encrypt the image's PDF as the document is encrypted (" + why +
                        "); nothing was written.");
    };
    // The file's own encryption dictionary is what keeps method and passwords, owner
    // password included, which we never learn: the image is written from the file.
    if (!stamp_ || fileStamp(path_) != stamp_) {
        refuse(path_.string() + " changed on disk since it was opened");
    }
    const std::string file = path_.string();
    const char* name = file.c_str();
    const char* password = password_.c_str();
    pdf_document* shell = nullptr;
    bool unlocked = false;
    mu::attempt(ctx, [&] {
        shell = pdf_open_document(ctx, name);
        unlocked = pdf_authenticate_password(ctx, shell, password) != 0;
    });
    std::optional<std::string> bytes;
    if (unlocked && shell->crypt) {
        bytes = mu::writeImagePage(ctx, shell, image, page);
    }
    pdf_drop_document(ctx, shell);
    if (!bytes) {
        refuse("the encrypted file could not be written");
    }

    // Read back: locked, opened by the same password, one page, the same method.
    const char* method = "";
    int revision = 0;
    mu::attempt(ctx, [&] {
        method = pdf_crypt_method(ctx, crypt);
        revision = pdf_crypt_revision(ctx, crypt);
    });
    const auto* data = reinterpret_cast<const unsigned char*>(bytes->data());
    const std::size_t size = bytes->size();
    fz_stream* stream = nullptr;
    pdf_document* back = nullptr;
    bool same = false;
    mu::attempt(ctx, [&] {
        stream = fz_open_memory(ctx, data, size);
        back = pdf_open_document_with_stream(ctx, stream);
        same = pdf_needs_password(ctx, back) &&
               pdf_authenticate_password(ctx, back, password) != 0 && back->crypt &&
               std::strcmp(method, pdf_crypt_method(ctx, back->crypt)) == 0 &&
               revision == pdf_crypt_revision(ctx, back->crypt) && pdf_count_pages(ctx, back) == 1;
    });
    pdf_drop_document(ctx, back);
    fz_drop_stream(ctx, stream);
    if (!same) {
        refuse("the written file did not read back encrypted as the document is");
    }
    return std::move(*bytes);
}

std::vector<Selection> MuDocument::find(const std::string& needle, bool caseInsensitive,
                                        const CancelToken* token) const {
    // Page by page: each page's text is read under the lock, the lock is let go between
    // pages, and only the pages a match can still reach are kept.
    return findInPages(
        pageCount(),
        [this, token](int index) {
            const auto& page = pages_[std::size_t(index)];
            return SearchPage{page, pageText(*page, token)};
        },
        needle, caseInsensitive,
        [token] { return mu::CookieAccess::cancelled(token) || mu::limitReached(); });
}

void MuDocument::find(const std::string& needle, bool caseInsensitive,
                      const FindProgress& progress) const {
    const CancelToken* token = progress.token;
    // A limit ends the search as a cancel does: every further page would fail anyway.
    const auto cancelled = [token] {
        return mu::CookieAccess::cancelled(token) || mu::limitReached();
    };
    findInPages(
        pageCount(),
        [&](int index) {
            const auto& page = pages_[std::size_t(index)];
            SearchPage read{page, pageText(*page, token)};
            if (progress.pagesRead) {
                progress.pagesRead(index + 1);
            }
            return read;
        },
        needle, caseInsensitive,
        [&](Selection found) {
            if (progress.found && !cancelled()) {
                progress.found(std::move(found));
            }
        },
        cancelled);
}

PageRenderer& MuDocument::renderer() {
    return *renderer_;
}

std::vector<int> MuDocument::damagedPages() const {
    std::lock_guard lock(textMutex_);
    return std::vector<int>(damaged_.begin(), damaged_.end());
}

std::vector<Size> MuDocument::displaySizes() const {
    std::lock_guard lock(core_->mutex);
    fz_context* ctx = mu::context();
    std::vector<Size> sizes;
    sizes.reserve(pages_.size());
    for (const auto& page : pages_) {
        sizes.push_back(page->frame(ctx).displaySize);
    }
    return sizes;
}

std::size_t MuDocument::loadedPageCount() const {
    // Counted from the pages themselves, not from the list that should bound them.
    std::lock_guard lock(mutex());
    return static_cast<std::size_t>(std::count_if(
        pages_.begin(), pages_.end(), [](const auto& page) { return page && page->isLoaded(); }));
}

void MuDocument::pageUsed(const MuPage& page) const {
    page.touch(++useClock_);
    if (std::find(loaded_.begin(), loaded_.end(), &page) == loaded_.end()) {
        loaded_.push_back(&page);
    }
    while (loaded_.size() > kLoadedPages) {
        auto oldest = std::min_element(loaded_.begin(), loaded_.end(), [](auto* a, auto* b) {
            return a->lastUse() < b->lastUse();
        });
        (*oldest)->release(mu::context());
        loaded_.erase(oldest);
    }
}

MuDocument::CachedText* MuDocument::cachedText(int page) const {
    for (CachedText& entry : texts_) {
        if (entry.page == page) {
            entry.lastUse = ++textClock_;
            return &entry;
        }
    }
    return nullptr;
}

MuDocument::CachedText& MuDocument::storeText(int page,
                                              std::shared_ptr<const PageText> text) const {
    if (CachedText* entry = cachedText(page)) {
        return *entry; // another thread got there first
    }
    if (texts_.size() >= kCachedTexts) {
        auto oldest =
            std::min_element(texts_.begin(), texts_.end(),
                             [](const auto& a, const auto& b) { return a.lastUse < b.lastUse; });
        texts_.erase(oldest);
    }
    // Past a limit every page fails to read: that is the limit's doing, not the page's.
    if (text && text->contentDamaged() && !mu::limitReached()) {
        damaged_.insert(page);
    }
    texts_.push_back(CachedText{page, ++textClock_, std::move(text), nullptr});
    return texts_.back();
}

std::shared_ptr<const PageText> MuDocument::pageText(const MuPage& page,
                                                     const CancelToken* token) const {
    {
        std::lock_guard lock(textMutex_);
        if (CachedText* entry = cachedText(page.index())) {
            return entry->text;
        }
    }
    std::shared_ptr<const PageText> text;
    {
        std::lock_guard lock(core_->mutex);
        fz_context* ctx = mu::context();
        pdf_page* live = page.livePage(ctx);
        text = PageText::extract(ctx, live ? &live->super : nullptr, page.frame(ctx),
                                 mu::CookieAccess::cookie(token));
    }
    if (!text) {
        return nullptr; // stopped half way: nothing to keep
    }
    std::lock_guard lock(textMutex_);
    return storeText(page.index(), std::move(text)).text;
}

std::shared_ptr<const TextLayout> MuDocument::textLayout(int pageIndex,
                                                         const CancelToken* token) const {
    if (pageIndex < 0 || pageIndex >= pageCount() || mu::CookieAccess::cancelled(token)) {
        return nullptr;
    }
    std::shared_ptr<const PageText> text;
    {
        std::lock_guard lock(textMutex_);
        if (CachedText* entry = cachedText(pageIndex)) {
            if (entry->layout) {
                return entry->layout;
            }
            text = entry->text;
        }
    }
    if (!text) {
        // Recorded under the lock, read outside it: a long page never holds up the editor.
        fz_cookie* cookie = mu::CookieAccess::cookie(token);
        PageFrame frame;
        bool translucent = false;
        fz_display_list* list = MuRenderer::capture(*pages_[std::size_t(pageIndex)], false, nullptr,
                                                    frame, translucent, cookie);
        if (mu::CookieAccess::cancelled(token)) {
            fz_drop_display_list(mu::context(), list);
            return nullptr;
        }
        fz_context* ctx = mu::context();
        text = PageText::extract(ctx, list, frame, cookie);
        fz_drop_display_list(ctx, list);
        if (!text) {
            return nullptr;
        }
    }
    auto layout = std::make_shared<const TextLayout>(text);
    std::lock_guard lock(textMutex_);
    CachedText& entry = storeText(pageIndex, text);
    if (!entry.layout) {
        entry.layout = std::move(layout);
    }
    return entry.layout;
}

std::optional<Destination> MuDocument::resolve(fz_context* ctx, const char* uri) const {
    fz_link_dest dest = fz_make_link_dest_none();
    auto resolveOnce = [&](fz_link_dest& into) {
        return mu::attempt(ctx, [&] { into = fz_resolve_link_dest(ctx, &core_->pdf->super, uri); });
    };
    if (!uri || !resolveOnce(dest)) {
        return std::nullopt;
    }
    const int page = dest.loc.page;
    if (dest.loc.chapter != 0 || page < 0 || page >= pageCount()) {
        return std::nullopt;
    }
    if (core_->pdf->fwd_page_map) {
        // A destination with coordinates looks its page up through MuPDF's page map, which
        // keeps the page's dictionary once more and never gives it back. Whether this one
        // does shows in a second resolve; what both kept is given back.
        pdf_obj* dict = std::size_t(page) < core_->pageObjects.size()
                            ? mu::resolve(ctx, core_->pageObjects[std::size_t(page)])
                            : mu::pageObject(ctx, core_->pdf, page);
        const int refs = dict ? pdf_obj_refs(ctx, dict) : 0;
        fz_link_dest again = fz_make_link_dest_none();
        if (dict && resolveOnce(again) && again.loc.page == page &&
            pdf_obj_refs(ctx, dict) == refs + 1 && refs >= 2) {
            pdf_drop_obj(ctx, dict);
            pdf_drop_obj(ctx, dict);
        }
    }
    Destination destination{page, std::nullopt};
    // MuPDF gives the point in the target page's display space.
    if (dest.type == FZ_LINK_DEST_XYZ && std::isfinite(dest.x) && std::isfinite(dest.y)) {
        const PageFrame& frame = pages_[std::size_t(page)]->frame(ctx);
        const fz_point p =
            fz_transform_point(fz_make_point(dest.x, dest.y), fz_invert_matrix(frame.pageCtm));
        destination.point = Point{p.x, p.y};
    }
    return destination;
}

std::vector<Link> MuDocument::links(int pageIndex) const {
    std::vector<Link> result;
    if (pageIndex < 0 || pageIndex >= pageCount()) {
        return result;
    }
    std::lock_guard lock(core_->mutex);
    fz_context* ctx = mu::context();
    const MuPage& page = *pages_[std::size_t(pageIndex)];
    pdf_page* live = page.livePage(ctx);
    if (!live) {
        return result;
    }
    fz_link* links = nullptr;
    mu::attempt(ctx, [&] { links = fz_load_links(ctx, &live->super); });
    const fz_matrix toUser = fz_invert_matrix(page.frame(ctx).pageCtm);
    for (fz_link* link = links; link; link = link->next) {
        if (!link->uri) {
            continue;
        }
        Link out;
        const fz_rect r = fz_transform_rect(link->rect, toUser);
        out.bounds = Rect::fromEdges(r.x0, r.y0, r.x1, r.y1);
        if (!out.bounds.isFinite()) {
            continue;
        }
        int external = 0;
        mu::attempt(ctx, [&] { external = fz_is_external_link(ctx, link->uri); });
        if (external) {
            out.uri = link->uri;
        } else if (!(out.destination = resolve(ctx, link->uri))) {
            continue;
        }
        result.push_back(std::move(out));
    }
    fz_drop_link(ctx, links);
    return result;
}

namespace {

// Deeper than any real table of contents; a hostile file goes no further.
constexpr int kMaxOutlineDepth = 64;

} // namespace

std::vector<OutlineItem> MuDocument::outline() const {
    std::lock_guard lock(core_->mutex);
    fz_context* ctx = mu::context();
    if (locked_) {
        return {};
    }
    // Walked item by item rather than loaded whole: MuPDF's whole-outline load resolves
    // every destination through its page map, keeping a page reference it never gives back.
    pdf_document* pdf = core_->pdf;
    const int nesting = pdf->page_map_nesting;
    fz_outline_iterator* iter = nullptr;
    mu::attempt(ctx, [&] { iter = fz_new_outline_iterator(ctx, &pdf->super); });
    auto step = [&](int (*move)(fz_context*, fz_outline_iterator*)) {
        int moved = -1;
        mu::attempt(ctx, [&] { moved = move(ctx, iter); });
        return moved;
    };
    auto convert = [&](auto& self, int depth) -> std::vector<OutlineItem> {
        std::vector<OutlineItem> items;
        for (;;) {
            fz_outline_item* current = nullptr;
            mu::attempt(ctx, [&] { current = fz_outline_iterator_item(ctx, iter); });
            if (!current) {
                break;
            }
            OutlineItem item;
            item.title = current->title ? current->title : "";
            const std::string uri = current->uri ? current->uri : "";
            if (!uri.empty()) {
                int external = 0;
                mu::attempt(ctx, [&] { external = fz_is_external_link(ctx, uri.c_str()); });
                if (external) {
                    item.uri = uri;
                } else {
                    item.destination = resolve(ctx, uri.c_str());
                }
            }
            if (depth < kMaxOutlineDepth) {
                const int down = step(fz_outline_iterator_down);
                if (down == 0) {
                    item.children = self(self, depth + 1);
                }
                if (down >= 0 && step(fz_outline_iterator_up) < 0) {
                    items.push_back(std::move(item));
                    break;
                }
            }
            items.push_back(std::move(item));
            if (step(fz_outline_iterator_next) != 0) {
                break;
            }
        }
        return items;
    };
    std::vector<OutlineItem> items = iter ? convert(convert, 0) : std::vector<OutlineItem>{};
    fz_drop_outline_iterator(ctx, iter);
    // The iterator loads MuPDF's page map and leaves it loaded; the document goes back to the
    // map it had.
    for (int extra = pdf->page_map_nesting - nesting; extra > 0; --extra) {
        pdf_drop_page_tree(ctx, pdf);
    }
    return items;
}

const std::vector<LabelRange>& MuDocument::labelRanges() const {
    std::lock_guard lock(core_->mutex);
    if (!labels_) {
        labels_ = readLabelRanges(mu::context(), core_->pdf);
    }
    return *labels_;
}

// ---- Page ----

MuPage::MuPage(std::shared_ptr<DocCore> core, std::weak_ptr<MuDocument> document, int index)
    : core_(std::move(core)), document_(std::move(document)), index_(index) {}

MuPage::~MuPage() {
    std::lock_guard lock(core_->mutex);
    annotations_.reset();
    dropPage(mu::context());
}

void MuPage::dropPage(fz_context* ctx) const {
    if (page_) {
        fz_drop_page(ctx, &page_->super);
        page_ = nullptr;
    }
}

std::shared_ptr<Document> MuPage::document() const {
    return document_.lock();
}

pdf_obj* MuPage::pageObject(fz_context* ctx) const {
    if (std::size_t(index_) < core_->pageObjects.size()) {
        return core_->pageObjects[std::size_t(index_)];
    }
    return mu::pageObject(ctx, core_->pdf, index_);
}

const PageFrame& MuPage::frame(fz_context* ctx) const {
    if (frame_) {
        return *frame_;
    }
    PageFrame f;
    f.mediaBox = Rect{0, 0, 612, 792};
    f.cropBox = f.mediaBox;
    f.pageCtm = fz_make_matrix(1, 0, 0, -1, 0, 792);
    pdf_obj* obj = pageObject(ctx);
    if (obj) {
        fz_rect box = fz_empty_rect;
        fz_rect cropped = fz_empty_rect;
        fz_matrix ctm = fz_identity;
        int rotate = 0;
        if (mu::attempt(ctx, [&] {
                box = pdf_to_rect(ctx, pdf_dict_get_inheritable(ctx, obj, PDF_NAME(MediaBox)));
                rotate = pdf_to_int(ctx, pdf_dict_get_inheritable(ctx, obj, PDF_NAME(Rotate)));
                pdf_page_obj_transform(ctx, obj, &cropped, &ctm);
            })) {
            const Rect media = Rect::fromEdges(box.x0, box.y0, box.x1, box.y1);
            if (media.isFinite() && media.width > 0 && media.height > 0) {
                f.mediaBox = media;
            }
            // MuPDF's transform already holds the crop box (within the media box) and the
            // rotation: it is the page as shown.
            const Rect crop = Rect::fromEdges(cropped.x0, cropped.y0, cropped.x1, cropped.y1);
            const bool usable = crop.isFinite() && crop.width > 0 && crop.height > 0 &&
                                std::isfinite(ctm.a) && std::isfinite(ctm.b) &&
                                std::isfinite(ctm.c) && std::isfinite(ctm.d) &&
                                std::isfinite(ctm.e) && std::isfinite(ctm.f);
            if (usable) {
                f.cropBox = crop;
                f.pageCtm = ctm;
            } else {
                f.cropBox = f.mediaBox;
                f.pageCtm = fz_make_matrix(1, 0, 0, -1, float(-f.mediaBox.minX()),
                                           float(f.mediaBox.maxY()));
            }
            // As MuPDF reads /Rotate: to the nearest multiple of 90.
            rotate %= 360;
            if (rotate < 0) {
                rotate += 360;
            }
            f.rotation = (rotate + 45) / 90 * 90 % 360;
        }
    }
    const fz_rect shown =
        fz_transform_rect(fz_make_rect(float(f.cropBox.minX()), float(f.cropBox.minY()),
                                       float(f.cropBox.maxX()), float(f.cropBox.maxY())),
                          f.pageCtm);
    f.displaySize = Size{shown.x1 - shown.x0, shown.y1 - shown.y0};
    frame_ = f;
    frameReady_.store(true, std::memory_order_release);
    return *frame_;
}

const PageFrame& MuPage::geometry() const {
    if (frameReady_.load(std::memory_order_acquire)) {
        return *frame_;
    }
    std::lock_guard lock(core_->mutex);
    return frame(mu::context());
}

pdf_page* MuPage::livePage(fz_context* ctx) const {
    if (stale_) {
        stale_ = false;
        dropPage(ctx);
    }
    if (!page_ && !loadFailed_ && inflatesPastLimit(ctx)) {
        loadFailed_ = true;
    }
    // Without MuPDF's page map a load walks the tree: past a limit, no page is loaded.
    if (!page_ && !loadFailed_ && !(!core_->pageTreeLoaded && mu::limitReached())) {
        pdf_page* loaded = nullptr;
        // MuPDF's lookup through its page map keeps the page's dictionary once more than
        // the page it loads does; that reference is given back here.
        pdf_obj* dict = core_->pageTreeLoaded ? mu::resolve(ctx, pageObject(ctx)) : nullptr;
        const int refs = dict ? pdf_obj_refs(ctx, dict) : 0;
        if (mu::attempt(ctx, [&] { loaded = pdf_load_page(ctx, core_->pdf, index_); })) {
            if (dict && loaded->obj == dict && pdf_obj_refs(ctx, dict) == refs + 2) {
                pdf_drop_obj(ctx, dict);
            }
            page_ = loaded;
            // Annotations saved without an appearance get one, as other readers draw them.
            mu::attempt(ctx, [&] { pdf_update_page(ctx, loaded); });
        } else {
            // A load that failed after the lookup gave its own reference back, not the map's.
            if (dict && pdf_obj_refs(ctx, dict) == refs + 1) {
                pdf_drop_obj(ctx, dict);
            }
            loadFailed_ = true;
        }
    }
    if (page_) {
        if (auto doc = document_.lock()) {
            doc->pageUsed(*this);
        }
    }
    return page_;
}

bool MuPage::inflatesPastLimit(fz_context* ctx) const {
    // Once per page: its streams do not change while it is open, save for what we write.
    if (!inflationChecked_) {
        inflationChecked_ = true;
        inflatesPastLimit_ = mu::pageInflatesPastLimit(ctx, core_->pdf, pageObject(ctx));
    }
    return inflatesPastLimit_;
}

void MuPage::release(fz_context* ctx) const {
    dropPage(ctx);
    // Annotation objects nobody else holds can be made again when asked for; one that is
    // held keeps its page's whole list, so identity survives.
    if (annotations_ && std::all_of(annotations_->begin(), annotations_->end(),
                                    [](const auto& a) { return a.use_count() == 1; })) {
        annotations_.reset();
    }
}

pdf_annot* MuPage::liveAnnotation(fz_context* ctx, pdf_obj* ref) const {
    pdf_page* live = livePage(ctx);
    if (!live || !ref) {
        return nullptr;
    }
    pdf_annot* found = nullptr;
    mu::attempt(ctx, [&] {
        const int num = pdf_to_num(ctx, ref);
        for (pdf_annot* a = pdf_first_annot(ctx, live); a && !found; a = pdf_next_annot(ctx, a)) {
            if (pdf_to_num(ctx, pdf_annot_obj(ctx, a)) == num) {
                found = a;
            }
        }
        for (pdf_annot* a = pdf_first_widget(ctx, live); a && !found; a = pdf_next_widget(ctx, a)) {
            if (pdf_to_num(ctx, pdf_annot_obj(ctx, a)) == num) {
                found = a;
            }
        }
    });
    return found;
}

Rect MuPage::mediaBox() const {
    return geometry().mediaBox;
}

int MuPage::rotation() const {
    return geometry().rotation;
}

void MuPage::setRotation(int degrees) {
    // A quarter turn is all a page can take; anything between would be silently rounded.
    if (degrees % 90 != 0) {
        throw Error("PDFKit", 1,
                    "a page turns by multiples of 90 degrees, not " + std::to_string(degrees));
    }
    const int normalised = (degrees % 360 + 360) % 360;
    std::lock_guard lock(core_->mutex);
    fz_context* ctx = mu::context();
    pdf_obj* obj = pageObject(ctx);
    if (!obj ||
        !mu::attempt(ctx, [&] { pdf_dict_put_int(ctx, obj, PDF_NAME(Rotate), normalised); })) {
        throw Error("PDFKit", 1, "the page could not be turned");
    }
    forgetGeometry(ctx);
}

void MuPage::forgetGeometry(fz_context* ctx) {
    frameReady_.store(false, std::memory_order_release);
    frame_.reset();
    dropPage(ctx);
    ++generation_;
    if (auto doc = document_.lock()) {
        doc->forgetText(index_);
    }
}

void MuPage::renumber(fz_context* ctx, int index) {
    if (auto doc = document_.lock(); doc && index_ >= 0) {
        doc->forgetText(index_);
    }
    index_ = index;
    if (index < 0) {
        document_.reset();
        annotations_.reset();
    }
    loadFailed_ = false;
    inflationChecked_ = false;
    forgetGeometry(ctx);
}

Rect MuPage::cropBox() const {
    return geometry().cropBox;
}

Size MuPage::displaySize() const {
    return geometry().displaySize;
}

Point MuPage::pageToDisplay(Point p) const {
    const fz_point d =
        fz_transform_point(fz_make_point(float(p.x), float(p.y)), geometry().pageCtm);
    return Point{d.x, d.y};
}

Point MuPage::displayToPage(Point p) const {
    const fz_matrix toUser = fz_invert_matrix(geometry().pageCtm);
    const fz_point u = fz_transform_point(fz_make_point(float(p.x), float(p.y)), toUser);
    return Point{u.x, u.y};
}

namespace {

Rect transformed(const Rect& r, fz_matrix m) {
    const Rect s = r.standardized();
    const fz_rect t = fz_transform_rect(
        fz_make_rect(float(s.minX()), float(s.minY()), float(s.maxX()), float(s.maxY())), m);
    return Rect::fromEdges(t.x0, t.y0, t.x1, t.y1);
}

} // namespace

Rect MuPage::pageToDisplay(const Rect& pageRect) const {
    return transformed(pageRect, geometry().pageCtm);
}

Rect MuPage::displayToPage(const Rect& displayRect) const {
    return transformed(displayRect, fz_invert_matrix(geometry().pageCtm));
}

Image MuPage::draw(int pixelWidth, int pixelHeight, double scale, bool withAnnotations) const {
    auto doc = document_.lock();
    MuRenderer* cache = doc ? static_cast<MuRenderer*>(&doc->renderer()) : nullptr;
    return MuRenderer::renderPage(*this, pixelWidth, pixelHeight, scale, withAnnotations, cache);
}

Image MuPage::drawRegion(const Rect& region, double scale, bool withAnnotations) const {
    auto doc = document_.lock();
    MuRenderer* cache = doc ? static_cast<MuRenderer*>(&doc->renderer()) : nullptr;
    return MuRenderer::renderPageRegion(*this, region, scale, withAnnotations, cache);
}

std::shared_ptr<const PageText> MuPage::text() const {
    if (auto doc = document_.lock()) {
        return doc->pageText(*this);
    }
    std::lock_guard lock(core_->mutex);
    fz_context* ctx = mu::context();
    pdf_page* live = livePage(ctx);
    return PageText::extract(ctx, live ? &live->super : nullptr, frame(ctx));
}

// ---- Annotations ----

std::vector<std::shared_ptr<MuAnnotation>>& MuPage::annotationList() const {
    if (annotations_) {
        return *annotations_;
    }
    annotations_.emplace();
    fz_context* ctx = mu::context();
    auto self = std::static_pointer_cast<const MuPage>(shared_from_this());
    std::weak_ptr<MuPage> weakSelf = std::const_pointer_cast<MuPage>(self);
    pdf_obj* annots = mu::get(ctx, pageObject(ctx), PDF_NAME(Annots));
    const int n = mu::length(ctx, annots);
    std::unordered_set<int> seen;
    bool replaced = false;
    for (int i = 0; i < n; ++i) {
        pdf_obj* entry = mu::item(ctx, annots, i);
        if (!mu::isDict(ctx, entry)) {
            continue;
        }
        // Annotations are identified by object number; the few files that write one
        // inline get it turned into an object of its own.
        int num = 0;
        mu::attempt(ctx, [&] {
            if (!pdf_is_indirect(ctx, entry)) {
                pdf_obj* ref = pdf_add_object(ctx, core_->pdf, entry);
                pdf_array_put_drop(ctx, annots, i, ref);
                entry = pdf_array_get(ctx, annots, i);
                replaced = true;
            }
            num = pdf_to_num(ctx, entry);
        });
        if (num <= 0 || !seen.insert(num).second) {
            continue;
        }
        // Popups belong to their markup annotation and travel with it.
        if (subtypeNamed(mu::name(ctx, mu::get(ctx, entry, PDF_NAME(Subtype)))) == Subtype::popup) {
            continue;
        }
        annotations_->push_back(std::make_shared<MuAnnotation>(core_, ctx, entry, weakSelf));
    }
    if (replaced) {
        annotationListChanged(); // MuPDF's list must be read again
    }
    return *annotations_;
}

std::vector<std::shared_ptr<Annotation>> MuPage::annotations() const {
    std::lock_guard lock(core_->mutex);
    const auto& list = annotationList();
    return std::vector<std::shared_ptr<Annotation>>(list.begin(), list.end());
}

namespace {

// Takes every /Annots entry that is the annotation (and its popup) out of the page.
bool removeEntries(fz_context* ctx, pdf_obj* pageObj, pdf_obj* ref) {
    return mu::attempt(ctx, [&] {
        pdf_obj* annots = pdf_dict_get(ctx, pageObj, PDF_NAME(Annots));
        const int num = pdf_to_num(ctx, ref);
        pdf_obj* popup = pdf_dict_get(ctx, ref, PDF_NAME(Popup));
        const int popupNum = pdf_is_indirect(ctx, popup) ? pdf_to_num(ctx, popup) : -1;
        for (int i = pdf_array_len(ctx, annots) - 1; i >= 0; --i) {
            pdf_obj* entry = pdf_array_get(ctx, annots, i);
            if (pdf_is_indirect(ctx, entry) &&
                (pdf_to_num(ctx, entry) == num || pdf_to_num(ctx, entry) == popupNum)) {
                pdf_array_delete(ctx, annots, i);
            }
        }
    });
}

// Puts the annotation (and its popup) back at the end of the page's /Annots.
bool insertEntry(fz_context* ctx, pdf_obj* pageObj, pdf_obj* ref) {
    return mu::attempt(ctx, [&] {
        pdf_obj* annots = pdf_dict_get(ctx, pageObj, PDF_NAME(Annots));
        if (!pdf_is_array(ctx, annots)) {
            annots = pdf_dict_put_array(ctx, pageObj, PDF_NAME(Annots), 1);
        }
        pdf_array_push(ctx, annots, ref);
        pdf_dict_put(ctx, ref, PDF_NAME(P), pageObj);
        pdf_obj* popup = pdf_dict_get(ctx, ref, PDF_NAME(Popup));
        if (pdf_is_indirect(ctx, popup) && pdf_is_dict(ctx, popup)) {
            const int popupNum = pdf_to_num(ctx, popup);
            int present = 0;
            for (int i = 0; i < pdf_array_len(ctx, annots); ++i) {
                pdf_obj* entry = pdf_array_get(ctx, annots, i);
                present |= pdf_is_indirect(ctx, entry) && pdf_to_num(ctx, entry) == popupNum;
            }
            if (!present) {
                pdf_array_push(ctx, annots, popup);
            }
            pdf_dict_put(ctx, popup, PDF_NAME(P), pageObj);
        }
    });
}

} // namespace

void MuPage::addAnnotation(const std::shared_ptr<Annotation>& annotation) {
    auto mu = std::dynamic_pointer_cast<MuAnnotation>(annotation);
    if (!mu) {
        return;
    }
    std::lock_guard lock(core_->mutex);
    auto& list = annotationList();
    if (std::find(list.begin(), list.end(), mu) != list.end()) {
        return;
    }
    // On another page it moves here; from another document it comes as its properties.
    if (auto other = mu->page()) {
        other->removeAnnotation(annotation);
    }
    if (mu->core() && mu->core() != core_) {
        auto otherCore = mu->core();
        std::lock_guard otherLock(otherCore->mutex);
        mu->releaseObject(mu::context());
    }
    fz_context* ctx = mu::context();
    auto self = std::static_pointer_cast<MuPage>(shared_from_this());
    if (mu->hasObject()) {
        pdf_obj* pageObj = pageObject(ctx);
        if (!pageObj || !insertEntry(ctx, pageObj, mu->reference())) {
            return;
        }
        annotationListChanged();
    } else if (!mu->materialize(ctx, *this)) {
        return;
    }
    mu->attachTo(self);
    list.push_back(mu);
    if (mu->needsAppearance()) {
        mu->refreshAppearance(ctx, *this);
    }
    appearanceChanged();
}

void MuPage::removeAnnotation(const std::shared_ptr<Annotation>& annotation) {
    auto mu = std::dynamic_pointer_cast<MuAnnotation>(annotation);
    if (!mu) {
        return;
    }
    std::lock_guard lock(core_->mutex);
    auto& list = annotationList();
    auto it = std::find(list.begin(), list.end(), mu);
    if (it == list.end()) {
        return;
    }
    fz_context* ctx = mu::context();
    pdf_obj* pageObj = pageObject(ctx);
    if (pageObj) {
        removeEntries(ctx, pageObj, mu->reference());
    }
    annotationListChanged();
    list.erase(it);
    mu->detach();
    appearanceChanged();
}

std::shared_ptr<Annotation> MuPage::annotationAt(Point point) const {
    std::lock_guard lock(core_->mutex);
    const auto& list = annotationList();
    for (auto it = list.rbegin(); it != list.rend(); ++it) {
        if ((*it)->hitBounds().contains(point)) {
            return *it;
        }
    }
    return nullptr;
}

// ---- Text ----

std::optional<Selection> MuPage::selection(const Rect& rect) const {
    if (!rect.isFinite()) {
        return std::nullopt;
    }
    auto text = this->text();
    Selection::PagePart part{std::const_pointer_cast<Page>(shared_from_this()), {}};
    std::string string;
    text->describe(text->charsInRect(rect), part.lineRects, string);
    if (part.lineRects.empty()) {
        return std::nullopt;
    }
    return Selection({std::move(part)}, std::move(string));
}

std::optional<Selection> MuPage::selection(Point from, Point to) const {
    if (!std::isfinite(from.x) || !std::isfinite(from.y) || !std::isfinite(to.x) ||
        !std::isfinite(to.y)) {
        return std::nullopt;
    }
    auto text = this->text();
    auto range = text->rangeBetween(from, to);
    if (!range) {
        return std::nullopt;
    }
    std::vector<int> chars;
    for (int i = range->first; i < range->second; ++i) {
        chars.push_back(i);
    }
    Selection::PagePart part{std::const_pointer_cast<Page>(shared_from_this()), {}};
    std::string string;
    text->describe(chars, part.lineRects, string);
    if (part.lineRects.empty()) {
        return std::nullopt;
    }
    return Selection({std::move(part)}, std::move(string));
}

std::string MuPage::string() const {
    return text()->plainText();
}

bool MuPage::contentDamaged() const {
    return text()->contentDamaged();
}

std::vector<TextWord> MuPage::words() const {
    return text()->words();
}

std::vector<TextCharacter> MuPage::characters() const {
    const auto text = this->text();
    std::vector<DescribedFont> described;
    {
        std::lock_guard lock(core_->mutex);
        fz_context* ctx = mu::context();
        if (pdf_obj* obj = pageObject(ctx)) {
            described = readDescribedFonts(ctx, core_->pdf, obj);
        }
    }
    // What the file says about each font the characters use, found by MuPDF's name for it.
    std::vector<std::pair<std::string, int>> fonts; // name, flags; by the text's font index
    for (const TextFontInfo& font : text->fonts()) {
        auto said = std::find_if(described.begin(), described.end(), [&](const DescribedFont& d) {
            return d.engineName == font.engineName;
        });
        const bool found = said != described.end();
        fonts.emplace_back(found && !said->baseFont.empty() ? said->baseFont : font.engineName,
                           found && said->hasDescriptor ? said->flags : font.impliedFlags);
    }
    std::vector<TextCharacter> out;
    out.reserve(text->chars().size() + text->lines().size());
    for (const TextLine& line : text->lines()) {
        for (int i = line.begin; i < line.end; ++i) {
            const TextChar& ch = text->chars()[std::size_t(i)];
            TextCharacter c;
            c.code = ch.code;
            c.box = ch.box;
            if (ch.font < fonts.size()) {
                c.fontName = fonts[ch.font].first;
                c.fontFlags = fonts[ch.font].second;
            }
            // The size the glyph is drawn at; its box's height only when that is unusable.
            const double height = std::abs(ch.box.height);
            c.fontSize = std::isfinite(ch.size) && ch.size > 0 ? double(ch.size)
                         : std::isfinite(height) && height > 1 ? height
                                                               : 0;
            c.color = Color::rgb(std::uint8_t(ch.color >> 16 & 0xff),
                                 std::uint8_t(ch.color >> 8 & 0xff), std::uint8_t(ch.color & 0xff));
            out.push_back(std::move(c));
        }
        TextCharacter lineEnd;
        lineEnd.code = U'\n';
        out.push_back(std::move(lineEnd));
    }
    return out;
}

std::optional<std::string> MuPage::label() const {
    if (auto doc = document_.lock()) {
        return formatLabel(static_cast<const MuDocument&>(*doc).labelRanges(), index_);
    }
    std::lock_guard lock(core_->mutex);
    return formatLabel(readLabelRanges(mu::context(), core_->pdf), index_);
}

std::vector<FontResource> MuPage::fontResources() const {
    std::lock_guard lock(core_->mutex);
    fz_context* ctx = mu::context();
    return readFontResources(ctx, pageObject(ctx));
}

std::vector<std::string> MuPage::fontResourcesInContentOrder() const {
    std::lock_guard lock(core_->mutex);
    fz_context* ctx = mu::context();
    if (inflatesPastLimit(ctx)) {
        return {};
    }
    return scanFontUse(ctx, core_->pdf, pageObject(ctx));
}

} // namespace ombrix::pdfkit
