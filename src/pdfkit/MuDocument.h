#pragma once

// The MuPDF implementation of Document and Page. Private to pdfkit.

#include "pdfkit/Document.h"
#include "pdfkit/MuContext.h"
#include "pdfkit/MuSave.h"
#include "pdfkit/Page.h"
#include "pdfkit/PageRenderer.h"
#include "pdfkit/PageText.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace ombrix::pdfkit {

class MuAnnotation;
class MuDocument;
class MuRenderer;

// One range of the /PageLabels number tree.
struct LabelRange {
    int startIndex = 0;
    char style = 0; // 'D', 'R', 'r', 'A', 'a', or 0 for prefix only
    std::string prefix;
    std::int64_t start = 1;
};

// The MuPDF document and the lock every use of it takes. Pages and annotations hold it
// too, so their MuPDF objects can be released safely in any order.
struct DocCore {
    mutable std::recursive_mutex mutex;
    pdf_document* pdf = nullptr;
    // Every page's object in order (each kept), for lookups in constant time; empty when
    // the tree could not be indexed and each lookup walks it.
    std::vector<pdf_obj*> pageObjects;
    // Whether MuPDF's page map (pdf_load_page_tree) is loaded, so that loading a page by
    // its index does not walk the tree; only with pageObjects, and never while the tree
    // is changed.
    bool pageTreeLoaded = false;

    DocCore() = default;
    DocCore(const DocCore&) = delete;
    DocCore& operator=(const DocCore&) = delete;
    ~DocCore();
};

class MuPage final : public Page {
public:
    MuPage(std::shared_ptr<DocCore> core, std::weak_ptr<MuDocument> document, int index);
    ~MuPage() override;

    std::shared_ptr<Document> document() const override;
    int index() const override { return index_; }
    Rect mediaBox() const override;
    int rotation() const override;
    void setRotation(int degrees) override;
    Rect cropBox() const override;
    Size displaySize() const override;
    Point pageToDisplay(Point pagePoint) const override;
    Point displayToPage(Point displayPoint) const override;
    Rect pageToDisplay(const Rect& pageRect) const override;
    Rect displayToPage(const Rect& displayRect) const override;

    Image draw(int pixelWidth, int pixelHeight, double scale,
               bool withAnnotations = true) const override;
    Image drawRegion(const Rect& region, double scale, bool withAnnotations) const override;

    std::vector<std::shared_ptr<Annotation>> annotations() const override;
    void addAnnotation(const std::shared_ptr<Annotation>& annotation) override;
    void removeAnnotation(const std::shared_ptr<Annotation>& annotation) override;
    std::shared_ptr<Annotation> annotationAt(Point point) const override;

    std::optional<Selection> selection(const Rect& rect) const override;
    std::optional<Selection> selection(Point from, Point to) const override;
    std::string string() const override;
    bool contentDamaged() const override;
    std::vector<TextWord> words() const override;
    std::vector<TextCharacter> characters() const override;
    std::optional<std::string> label() const override;
    std::vector<FontResource> fontResources() const override;
    std::vector<std::string> fontResourcesInContentOrder() const override;

    // The rest is for pdfkit itself; callers hold the document's mutex.

    const std::shared_ptr<DocCore>& core() const { return core_; }
    // The page dictionary, or nullptr when the page tree does not lead to it.
    pdf_obj* pageObject(fz_context* ctx) const;
    const PageFrame& frame(fz_context* ctx) const;
    // The frame without the caller holding the mutex: read once, then never changed.
    const PageFrame& geometry() const;
    // The loaded page with MuPDF's annotation list matching /Annots; nullptr when the
    // page cannot be loaded.
    pdf_page* livePage(fz_context* ctx) const;
    // Whether the page's streams decode past the inflation limit (checked once); such a
    // page is never loaded or read.
    bool inflatesPastLimit(fz_context* ctx) const;
    // /Annots changed behind MuPDF's back: reload the page before its annotations are
    // used again.
    void annotationListChanged() const { stale_ = true; }
    // Bumped whenever what the page looks like with annotations changes.
    std::uint64_t generation() const { return generation_.load(); }
    void appearanceChanged() const { ++generation_; }
    // MuPDF's annotation (or widget) of the live page that is this object.
    pdf_annot* liveAnnotation(fz_context* ctx, pdf_obj* ref) const;
    std::shared_ptr<const PageText> text() const;
    std::vector<std::shared_ptr<MuAnnotation>>& annotationList() const;

    // The loaded page is let go of (its annotation objects too, unless someone holds
    // one) when it has not been used for a while; see MuDocument::pageUsed.
    bool isLoaded() const { return page_ != nullptr; }
    std::uint64_t lastUse() const { return lastUse_; }
    void touch(std::uint64_t clock) const { lastUse_ = clock; }
    void release(fz_context* ctx) const;
    // The page moved in the page tree (-1: it was deleted); its geometry and text are read
    // again when next asked for.
    void renumber(fz_context* ctx, int index);

private:
    void forgetGeometry(fz_context* ctx);

    void dropPage(fz_context* ctx) const;

    std::shared_ptr<DocCore> core_;
    std::weak_ptr<MuDocument> document_;
    int index_;

    mutable std::optional<PageFrame> frame_;
    mutable std::atomic<bool> frameReady_{false};
    mutable std::uint64_t lastUse_ = 0;
    mutable pdf_page* page_ = nullptr;
    mutable bool loadFailed_ = false;
    mutable bool inflationChecked_ = false;
    mutable bool inflatesPastLimit_ = false;
    mutable bool stale_ = false;
    mutable std::atomic<std::uint64_t> generation_{0};
    mutable std::optional<std::vector<std::shared_ptr<MuAnnotation>>> annotations_;
};

class MuDocument final : public Document {
public:
    // A locked document gets its pages when authenticate() succeeds.
    MuDocument(std::shared_ptr<DocCore> core, std::filesystem::path path, int pageCount,
               bool locked);
    ~MuDocument() override;
    // Pages need a weak pointer to their document, so they are made once it is shared.
    void makePages();
    // The version of the file that was read when the document was opened.
    void rememberFile(std::optional<FileStamp> stamp);

    bool isLocked() const override { return locked_; }
    bool authenticate(const std::string& password) override;
    std::optional<std::string> markupRefusal() const override;
    int pageCount() const override { return static_cast<int>(pages_.size()); }
    std::shared_ptr<Page> page(int index) const override;
    std::optional<int> indexOf(const Page& page) const override;
    std::optional<std::string> attribute(DocumentAttribute key) const override;
    const std::filesystem::path& documentURL() const override { return path_; }
    void deletePage(int index) override;
    void write(const std::filesystem::path& path) override;
    std::string dataRepresentation() const override;
    std::string imagePDF(const Image& image,
                         const std::optional<Size>& page = std::nullopt) const override;
    std::vector<Selection> find(const std::string& needle, bool caseInsensitive,
                                const CancelToken* token = nullptr) const override;
    void find(const std::string& needle, bool caseInsensitive,
              const FindProgress& progress) const override;
    PageRenderer& renderer() override;
    std::vector<int> damagedPages() const override;
    std::recursive_mutex& mutex() const override { return core_->mutex; }
    std::size_t loadedPageCount() const override;
    std::vector<Size> displaySizes() const override;
    std::shared_ptr<const TextLayout> textLayout(int pageIndex,
                                                 const CancelToken* token = nullptr) const override;
    std::vector<Link> links(int pageIndex) const override;
    std::vector<OutlineItem> outline() const override;

    const std::shared_ptr<DocCore>& core() const { return core_; }
    const std::shared_ptr<MuPage>& muPage(int index) const { return pages_[index]; }
    // The label ranges of the catalog's /PageLabels, read once.
    const std::vector<LabelRange>& labelRanges() const;

    // Called with the mutex held whenever a page's loaded MuPDF page is used. Keeps the
    // kLoadedPages most recently used pages loaded and lets the others go, so memory does
    // not grow with the pages visited.
    void pageUsed(const MuPage& page) const;
    static constexpr std::size_t kLoadedPages = kMostLoadedPages;
    // A page's text, through a small cache of recent pages shared with textLayout().
    // nullptr only when `token` stopped the extraction.
    std::shared_ptr<const PageText> pageText(const MuPage& page,
                                             const CancelToken* token = nullptr) const;
    static constexpr std::size_t kCachedTexts = 32;
    // Drops the kept text of one page, or of all pages (none): what it was read from
    // changed.
    void forgetText(std::optional<int> page) const;

private:
    struct CachedText {
        int page = -1;
        std::uint64_t lastUse = 0;
        std::shared_ptr<const PageText> text;
        std::shared_ptr<const TextLayout> layout;
    };
    std::string serialize() const;
    // The cached entry for a page, touched; nullptr when absent. Under textMutex_.
    CachedText* cachedText(int page) const;
    CachedText& storeText(int page, std::shared_ptr<const PageText> text) const;
    // A destination read from a link target, in page space.
    std::optional<Destination> resolve(fz_context* ctx, const char* uri) const;

    std::shared_ptr<DocCore> core_;
    std::filesystem::path path_;
    int count_;
    std::vector<std::shared_ptr<MuPage>> pages_;
    std::unique_ptr<MuRenderer> renderer_;
    mutable std::optional<std::vector<LabelRange>> labels_;
    bool locked_ = false;
    // A structural edit failed half-way inside MuPDF: what is in memory is not written.
    bool structureBroken_ = false;
    // Pages whose MuPDF page is loaded, guarded by the document's mutex.
    mutable std::vector<const MuPage*> loaded_;
    mutable std::uint64_t useClock_ = 0;
    mutable std::mutex textMutex_; // guards texts_ and textClock_ only, never held for work
    mutable std::vector<CachedText> texts_;
    mutable std::uint64_t textClock_ = 0;
    mutable std::set<int> damaged_; // under textMutex_
    // The version of the file last opened or saved here, what successive saves share,
    // and the password that unlocked the document: what a save must check against.
    std::optional<FileStamp> stamp_;
    mu::SaveBase saveBase_;
    std::string password_;
};

std::vector<LabelRange> readLabelRanges(fz_context* ctx, pdf_document* doc);
std::optional<std::string> formatLabel(const std::vector<LabelRange>& ranges, int pageIndex);

std::vector<FontResource> readFontResources(fz_context* ctx, pdf_obj* pageObject);
// What the file says about each font the page's text (forms included) can be drawn in, by
// the name MuPDF gives the font it loads from it.
struct DescribedFont {
    std::string engineName;
    std::string baseFont; // as written, subset tag and all; empty when there is none
    int flags = 0;
    bool hasDescriptor = false;
};
std::vector<DescribedFont> readDescribedFonts(fz_context* ctx, pdf_document* doc,
                                              pdf_obj* pageObject);
std::vector<std::string> scanFontUse(fz_context* ctx, pdf_document* doc, pdf_obj* pageObject);

} // namespace ombrix::pdfkit
