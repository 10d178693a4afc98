#include "pdfkit/MuDocument.h"

#include "core/AtomicFile.h"
#include "core/Error.h"
#include "pdfkit/MuAnnotation.h"
#include "pdfkit/MuRenderer.h"

#include <algorithm>
#include <cmath>
#include <system_error>
#include <unordered_set>

namespace ombrix::pdfkit {

DocCore::~DocCore() {
    if (pdf) {
        pdf_drop_document(mu::context(), pdf);
    }
}

// ---- Document ----

namespace {

bool hasPage(fz_context* ctx, pdf_document* doc, int index) {
    return mu::attempt(ctx, [&] { pdf_lookup_page_obj(ctx, doc, index); });
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

} // namespace

std::shared_ptr<Document> Document::open(const std::filesystem::path& path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        return nullptr;
    }
    fz_context* ctx = mu::context();
    const std::string file = path.string();
    const char* name = file.c_str();
    pdf_document* doc = nullptr;
    bool locked = false;
    bool usable = false;
    int count = 0;
    bool ok = mu::attempt(ctx, [&] {
        doc = pdf_open_document(ctx, name);
        locked = pdf_needs_password(ctx, doc);
        if (!locked) {
            // A repaired heap of objects without a catalog and page tree is no document.
            pdf_obj* root = pdf_dict_get(ctx, pdf_trailer(ctx, doc), PDF_NAME(Root));
            usable = pdf_is_dict(ctx, root) &&
                     pdf_is_dict(ctx, pdf_dict_get(ctx, root, PDF_NAME(Pages)));
            if (usable) {
                count = pdf_count_pages(ctx, doc);
                if (count > 0 && !pdf_lookup_page_obj(ctx, doc, 0)) {
                    usable = false;
                }
            }
        }
    });
    if (!ok || locked || !usable || count < 0) {
        pdf_drop_document(ctx, doc);
        return nullptr;
    }
    count = reachablePageCount(ctx, doc, count);
    auto core = std::make_shared<DocCore>();
    core->pdf = doc;
    auto document = std::make_shared<MuDocument>(std::move(core), path, count);
    document->makePages();
    return document;
}

MuDocument::MuDocument(std::shared_ptr<DocCore> core, std::filesystem::path path, int pageCount)
    : core_(std::move(core)), path_(std::move(path)), count_(pageCount),
      renderer_(std::make_unique<MuRenderer>(*this)) {}

MuDocument::~MuDocument() {
    std::lock_guard lock(core_->mutex);
    renderer_.reset();
    pages_.clear();
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

void MuDocument::write(const std::filesystem::path& path) {
    const std::string bytes = serialize();
    // MuPDF still reads objects from the file it opened; replacing the file by rename
    // keeps that inode alive, so later edits and writes see a consistent source.
    try {
        writeFileAtomically(path, bytes);
    } catch (const Error& e) {
        throw Error("PDFKit", e.code(), e.description());
    }
}

std::string MuDocument::dataRepresentation() const {
    return serialize();
}

std::vector<Selection> MuDocument::find(const std::string& needle, bool caseInsensitive) const {
    std::lock_guard lock(core_->mutex);
    std::vector<SearchPage> pages;
    pages.reserve(pages_.size());
    for (const auto& page : pages_) {
        pages.push_back(SearchPage{page, page->text()});
    }
    return findInPages(pages, needle, caseInsensitive);
}

PageRenderer& MuDocument::renderer() {
    return *renderer_;
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
    pdf_obj* obj = nullptr;
    mu::attempt(ctx, [&] { obj = pdf_lookup_page_obj(ctx, core_->pdf, index_); });
    return obj;
}

const PageFrame& MuPage::frame(fz_context* ctx) const {
    if (frame_) {
        return *frame_;
    }
    PageFrame f;
    f.mediaBox = Rect{0, 0, 612, 792};
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
            f.pageCtm = ctm;
            // As MuPDF reads /Rotate: to the nearest multiple of 90.
            rotate %= 360;
            if (rotate < 0) {
                rotate += 360;
            }
            f.rotation = (rotate + 45) / 90 * 90 % 360;
        }
    }
    frame_ = f;
    return *frame_;
}

pdf_page* MuPage::livePage(fz_context* ctx) const {
    if (stale_) {
        stale_ = false;
        dropPage(ctx);
    }
    if (!page_ && !loadFailed_) {
        pdf_page* loaded = nullptr;
        if (mu::attempt(ctx, [&] { loaded = pdf_load_page(ctx, core_->pdf, index_); })) {
            page_ = loaded;
            // Annotations saved without an appearance get one, as other readers draw them.
            mu::attempt(ctx, [&] { pdf_update_page(ctx, loaded); });
        } else {
            loadFailed_ = true;
        }
    }
    return page_;
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
    std::lock_guard lock(core_->mutex);
    return frame(mu::context()).mediaBox;
}

int MuPage::rotation() const {
    std::lock_guard lock(core_->mutex);
    return frame(mu::context()).rotation;
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
    std::lock_guard lock(core_->mutex);
    if (!text_) {
        fz_context* ctx = mu::context();
        pdf_page* live = livePage(ctx);
        text_ = PageText::extract(ctx, live ? &live->super : nullptr, frame(ctx));
    }
    return text_;
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
        if (mu::name(ctx, mu::get(ctx, entry, PDF_NAME(Subtype))) == "Popup") {
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

std::vector<TextWord> MuPage::words() const {
    return text()->words();
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
    return scanFontUse(ctx, core_->pdf, pageObject(ctx));
}

} // namespace ombrix::pdfkit
