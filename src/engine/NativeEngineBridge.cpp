#include "engine/NativeEngineBridge.h"

#include "core/AtomicFile.h"
#include "core/Error.h"
#include "engine/PageRemoval.h"
#include "pdfkit/MuContext.h"
#include "pdfkit/MuSave.h"
#include "pdfkit/PageTree.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace ombrix {

namespace mu = pdfkit::mu;

namespace {

// The engine's documents are loaded, edited and written under this one lock, whatever
// the thread; it is never taken twice by one call.
std::mutex gEngineLock;
std::once_flag gInitialized;

constexpr Size kFallbackPageSize{600, 800};

struct NamedCode {
    const char* name;
    int code;
};

// Codes of the annotation subtypes as the engine interface numbers them.
constexpr NamedCode kSubtypeCodes[] = {
    {"Text", 1},
    {"Link", 2},
    {"FreeText", 3},
    {"Line", 4},
    {"Square", 5},
    {"Circle", 6},
    {"Polygon", 7},
    {"PolyLine", 8},
    {"Highlight", 9},
    {"Underline", 10},
    {"Squiggly", 11},
    {"StrikeOut", 12},
    {"Stamp", 13},
    {"Caret", 14},
    {"Ink", 15},
    {"Popup", 16},
    {"FileAttachment", 17},
    {"Sound", 18},
    {"Movie", 19},
    {"Widget", 20},
    {"Screen", 21},
    {"PrinterMark", 22},
    {"TrapNet", 23},
    {"Watermark", 24},
    {"3D", 25},
    {"RichMedia", 26},
    {"Redact", 28},
};

// The types addAnnotation() can create.
constexpr std::pair<int, enum pdf_annot_type> kCreatable[] = {
    {9, PDF_ANNOT_HIGHLIGHT}, {10, PDF_ANNOT_UNDERLINE}, {12, PDF_ANNOT_STRIKE_OUT},
    {5, PDF_ANNOT_SQUARE},    {6, PDF_ANNOT_CIRCLE},     {4, PDF_ANNOT_LINE},
    {15, PDF_ANNOT_INK},      {1, PDF_ANNOT_TEXT},       {3, PDF_ANNOT_FREE_TEXT},
};

bool isTextMarkup(int code) {
    return code == 9 || code == 10 || code == 12;
}

// A document and page of one call, dropped in reverse order when the call ends.
struct Loaded {
    fz_context* ctx = nullptr;
    pdf_document* doc = nullptr;
    pdf_page* page = nullptr;
    fz_stext_page* text = nullptr;
    std::string password;
    // For an edit: the file is locked from before it is read until it has been replaced,
    // and only the version that was read may be replaced.
    bool forEdit = false;
    std::optional<FileLock> lock;
    std::optional<FileStamp> stamp;
    // Counted once on opening: a repaired file's page tree can change as MuPDF reads on,
    // and a save must not show pages the file did not.
    int pagesAtLoad = -1;

    Loaded() = default;
    Loaded(const Loaded&) = delete;
    Loaded& operator=(const Loaded&) = delete;
    ~Loaded() {
        if (text) {
            fz_drop_stext_page(ctx, text);
        }
        if (page) {
            fz_drop_page(ctx, &page->super);
        }
        if (doc) {
            pdf_drop_document(ctx, doc);
        }
    }
};

fz_context* engineContext() noexcept {
    try {
        NativeEngineBridge::initialize();
        return mu::context();
    } catch (...) {
        return nullptr;
    }
}

thread_local std::string tLastError;

bool failWith(std::string message) {
    tLastError = std::move(message);
    return false;
}

// Stopped by the time or memory limit while reading: nothing need be wrong with the file,
// and the caller says which limit.
bool failPastLimit(const std::string& path) {
    return failWith(path + " could not be read within the limits");
}

// Whether the file begins as a PDF does (MuPDF accepts the header within the first 1 KB):
// a file that does not is no PDF at all rather than a damaged one.
bool looksLikePdf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    char head[1024];
    in.read(head, sizeof head);
    return std::string_view(head, std::size_t(in.gcount())).find("%PDF-") != std::string_view::npos;
}

// Refuses what is not a plain file before anything reads it (a FIFO would block the read
// forever), locks a file about to be edited, and unlocks an encrypted file with the
// password given, if any.
bool loadDocument(Loaded& loaded, const std::string& path) {
    fz_context* ctx = loaded.ctx = engineContext();
    if (!ctx) {
        return failWith("the PDF engine could not start");
    }
    if (auto problem = checkReadableFile(path)) {
        return failWith(problem->message);
    }
    if (loaded.forEdit) {
        try {
            loaded.lock.emplace(path);
        } catch (const Error& e) {
            return failWith(e.description());
        }
    }
    loaded.stamp = fileStamp(path);
    const char* name = path.c_str();
    const char* password = loaded.password.c_str();
    pdf_document* doc = nullptr;
    bool locked = true;
    mu::Failure failure;
    bool opened = mu::attempt(
        ctx,
        [&] {
            doc = pdf_open_document(ctx, name);
            locked = pdf_needs_password(ctx, doc) && !pdf_authenticate_password(ctx, doc, password);
        },
        &failure);
    loaded.doc = doc;
    if (!opened || !doc) {
        if (mu::limitReached()) {
            return failPastLimit(path);
        }
        return failWith(path +
                        (looksLikePdf(path) ? " is damaged beyond repair" : " is not a PDF"));
    }
    if (locked) {
        return failWith(loaded.password.empty() ? path + " needs a password"
                                                : "wrong password for " + path);
    }
    loaded.pagesAtLoad = mu::pageCountAsOpened(ctx, doc);
    return true;
}

int countPages(const Loaded& loaded) {
    fz_context* ctx = loaded.ctx;
    pdf_document* doc = loaded.doc;
    int count = 0;
    if (!mu::attempt(ctx, [&] { count = pdf_count_pages(ctx, doc); })) {
        return 0;
    }
    return count < 0 ? 0 : count;
}

bool loadPage(Loaded& loaded, const std::string& path, std::int64_t index) {
    if (!loadDocument(loaded, path) || index < 0 || index >= countPages(loaded)) {
        return false;
    }
    fz_context* ctx = loaded.ctx;
    pdf_document* doc = loaded.doc;
    const int number = int(index);
    pdf_page* page = nullptr;
    bool ok = mu::attempt(ctx, [&] { page = pdf_load_page(ctx, doc, number); });
    loaded.page = page;
    return ok && page;
}

// The structured text of the page's own content (annotations left out).
bool loadText(Loaded& loaded, const std::string& path, std::int32_t pageIndex) {
    if (!loadPage(loaded, path, pageIndex)) {
        return false;
    }
    fz_context* ctx = loaded.ctx;
    fz_page* page = &loaded.page->super;
    fz_stext_page* text = nullptr;
    fz_device* device = nullptr;
    fz_stext_options options{};
    options.flags = FZ_STEXT_MEDIABOX_CLIP;
    bool ok = mu::attempt(ctx, [&] {
        text = fz_new_stext_page(ctx, fz_bound_page(ctx, page));
        device = fz_new_stext_device(ctx, text, &options);
        fz_run_page_contents(ctx, page, device, fz_identity, nullptr);
        fz_close_device(ctx, device);
    });
    fz_drop_device(ctx, device);
    loaded.text = text;
    return ok && text;
}

// One character of the page as the character indexes count them.
struct CharAt {
    int rune = 0;
    const fz_stext_char* glyph = nullptr; // null for the line breaks
};

// Walks the characters in reading order with a line break after each line; stops when
// `visit` returns false.
template <class Visit> void forEachChar(const fz_stext_page* text, Visit&& visit) {
    for (const fz_stext_block* block = text->first_block; block; block = block->next) {
        if (block->type != FZ_STEXT_BLOCK_TEXT) {
            continue;
        }
        for (const fz_stext_line* line = block->u.t.first_line; line; line = line->next) {
            for (const fz_stext_char* ch = line->first_char; ch; ch = ch->next) {
                if (!visit(CharAt{ch->c, ch})) {
                    return;
                }
            }
            if (!visit(CharAt{'\n', nullptr})) {
                return;
            }
        }
    }
}

const fz_stext_char* charAt(const fz_stext_page* text, std::int32_t index) {
    const fz_stext_char* found = nullptr;
    std::int64_t at = 0;
    if (index < 0) {
        return nullptr;
    }
    forEachChar(text, [&](const CharAt& ch) {
        if (at++ == index) {
            found = ch.glyph;
            return false;
        }
        return true;
    });
    return found;
}

// What the PDF says about one font the page's text uses.
struct FontRecord {
    const fz_font* font = nullptr;
    std::string baseFont;
    int flags = 0;
    bool hasDescriptor = false;
};

// Loads every font of `resources` (and of the forms it draws, `depth` levels down) and
// notes which engine font each dictionary became. The engine caches fonts by dictionary,
// so these are the fonts the characters point at.
void collectFonts(fz_context* ctx, pdf_document* doc, pdf_obj* resources, int depth,
                  std::vector<pdf_obj*>& seen, std::vector<FontRecord>& out) {
    if (!resources || depth > 8) {
        return;
    }
    for (pdf_obj* s : seen) {
        if (s == resources) {
            return;
        }
    }
    seen.push_back(resources);

    pdf_obj* fonts = mu::resolve(ctx, mu::get(ctx, resources, PDF_NAME(Font)));
    int fontCount = 0;
    mu::attempt(ctx, [&] { fontCount = pdf_is_dict(ctx, fonts) ? pdf_dict_len(ctx, fonts) : 0; });
    for (int i = 0; i < fontCount; ++i) {
        pdf_obj* dict = nullptr;
        pdf_font_desc* desc = nullptr;
        const fz_font* font = nullptr;
        int flags = 0;
        bool hasDescriptor = false;
        const char* baseFont = nullptr;
        bool ok = mu::attempt(ctx, [&] {
            dict = pdf_dict_get_val(ctx, fonts, i);
            desc = pdf_load_font(ctx, doc, resources, dict);
            font = desc->font;
            flags = desc->flags;
            pdf_obj* descendant =
                pdf_array_get(ctx, pdf_dict_get(ctx, dict, PDF_NAME(DescendantFonts)), 0);
            hasDescriptor =
                pdf_is_dict(ctx, pdf_dict_get(ctx, dict, PDF_NAME(FontDescriptor))) ||
                pdf_is_dict(ctx, pdf_dict_get(ctx, descendant, PDF_NAME(FontDescriptor)));
            pdf_obj* name = pdf_dict_get(ctx, dict, PDF_NAME(BaseFont));
            baseFont = pdf_is_name(ctx, name) ? pdf_to_name(ctx, name) : nullptr;
        });
        if (ok && font) {
            out.push_back(FontRecord{font, baseFont ? baseFont : "", flags, hasDescriptor});
        }
        pdf_drop_font(ctx, desc);
    }

    pdf_obj* xobjects = mu::resolve(ctx, mu::get(ctx, resources, PDF_NAME(XObject)));
    int xobjectCount = 0;
    mu::attempt(
        ctx, [&] { xobjectCount = pdf_is_dict(ctx, xobjects) ? pdf_dict_len(ctx, xobjects) : 0; });
    for (int i = 0; i < xobjectCount; ++i) {
        pdf_obj* inner = nullptr;
        mu::attempt(ctx, [&] {
            pdf_obj* form = pdf_dict_get_val(ctx, xobjects, i);
            if (pdf_name_eq(ctx, pdf_dict_get(ctx, form, PDF_NAME(Subtype)), PDF_NAME(Form))) {
                inner = pdf_resolve_indirect(ctx, pdf_dict_get(ctx, form, PDF_NAME(Resources)));
            }
        });
        collectFonts(ctx, doc, inner, depth + 1, seen, out);
    }
}

std::optional<FontRecord> fontRecord(const Loaded& loaded, const fz_font* font) {
    fz_context* ctx = loaded.ctx;
    pdf_obj* resources = nullptr;
    mu::attempt(ctx, [&] { resources = pdf_page_resources(ctx, loaded.page); });
    std::vector<pdf_obj*> seen;
    std::vector<FontRecord> fonts;
    collectFonts(ctx, loaded.doc, mu::resolve(ctx, resources), 0, seen, fonts);
    for (auto& record : fonts) {
        if (record.font == font) {
            return std::move(record);
        }
    }
    return std::nullopt;
}

// Descriptor flags for a font the file describes without a descriptor (the standard 14):
// what its own descriptor would have said.
int impliedFlags(fz_context* ctx, fz_font* font) {
    constexpr int kFixedPitch = 1, kSerif = 2, kSymbolic = 4, kNonSymbolic = 32, kItalic = 64,
                  kForceBold = 1 << 18;
    const std::string name = fz_font_name(ctx, font);
    const bool symbolic =
        name.find("Symbol") != std::string::npos || name.find("Dingbats") != std::string::npos;
    int flags = symbolic ? kSymbolic : kNonSymbolic;
    if (fz_font_is_monospaced(ctx, font)) {
        flags |= kFixedPitch;
    }
    if (fz_font_is_serif(ctx, font)) {
        flags |= kSerif;
    }
    if (fz_font_is_italic(ctx, font)) {
        flags |= kItalic;
    }
    if (fz_font_is_bold(ctx, font)) {
        flags |= kForceBold;
    }
    return flags;
}

// --- Writing back ---------------------------------------------------------------

// Saves the edited document over PATH: the changes appended when the file allows it,
// the new file read back and checked, then renamed over PATH. On any failure PATH is
// left as it was and the reason is kept for lastError().
bool writeBack(Loaded& loaded, const std::string& path, std::vector<int> pages,
               int pagesRemoved = 0) {
    mu::SaveBase base;
    mu::SaveCheck check{loaded.password, std::move(pages),
                        loaded.pagesAtLoad < 0 ? -1 : loaded.pagesAtLoad - pagesRemoved};
    try {
        mu::saveDocument(loaded.ctx, loaded.doc, path, base, loaded.stamp, check);
    } catch (const std::exception& e) {
        return failWith(describe(e));
    }
    return true;
}

// --- Annotations ------------------------------------------------------------------

pdf_obj* annotsArray(fz_context* ctx, pdf_page* page) {
    pdf_obj* annots = nullptr;
    mu::attempt(ctx, [&] {
        annots = pdf_resolve_indirect(ctx, pdf_dict_get(ctx, page->obj, PDF_NAME(Annots)));
        if (!pdf_is_array(ctx, annots)) {
            annots = nullptr;
        }
    });
    return annots;
}

// The resolved entry `annotationId` of the page's /Annots, or nullptr when out of range.
pdf_obj* annotationEntry(fz_context* ctx, pdf_page* page, std::int64_t annotationId) {
    pdf_obj* annots = annotsArray(ctx, page);
    if (annotationId < 0 || annotationId >= mu::length(ctx, annots)) {
        return nullptr;
    }
    return mu::resolve(ctx, mu::item(ctx, annots, int(annotationId)));
}

// The engine's annotation object for a dictionary of /Annots, widgets included; none for
// an entry the engine does not list.
pdf_annot* engineAnnot(fz_context* ctx, pdf_page* page, pdf_obj* dict) {
    pdf_annot* found = nullptr;
    mu::attempt(ctx, [&] {
        pdf_obj* target = pdf_resolve_indirect(ctx, dict);
        for (pdf_annot* a = pdf_first_annot(ctx, page); a && !found; a = pdf_next_annot(ctx, a)) {
            if (pdf_resolve_indirect(ctx, pdf_annot_obj(ctx, a)) == target) {
                found = a;
            }
        }
        for (pdf_annot* a = pdf_first_widget(ctx, page); a && !found; a = pdf_next_widget(ctx, a)) {
            if (pdf_resolve_indirect(ctx, pdf_annot_obj(ctx, a)) == target) {
                found = a;
            }
        }
    });
    return found;
}

// Left, bottom, right, top of a rectangle given as origin and size, in 32-bit floats.
fz_rect edges(const Rect& rect) {
    fz_rect r = fz_make_rect(float(rect.x), float(rect.y), float(rect.x + rect.width),
                             float(rect.y + rect.height));
    return fz_make_rect(std::min(r.x0, r.x1), std::min(r.y0, r.y1), std::max(r.x0, r.x1),
                        std::max(r.y0, r.y1));
}

fz_rect normalized(fz_rect r) {
    return fz_make_rect(std::min(r.x0, r.x1), std::min(r.y0, r.y1), std::max(r.x0, r.x1),
                        std::max(r.y0, r.y1));
}

bool usableRect(const Rect& rect) {
    if (!rect.isFinite()) {
        return false;
    }
    const fz_rect r = edges(rect);
    return std::isfinite(r.x0) && std::isfinite(r.y0) && std::isfinite(r.x1) && std::isfinite(r.y1);
}

// Inside fz_try only.
void putColor(fz_context* ctx, pdf_obj* dict, RgbBytes rgb, float alpha) {
    pdf_obj* c = pdf_dict_put_array(ctx, dict, PDF_NAME(C), 3);
    pdf_array_push_real(ctx, c, rgb.red / 255.0);
    pdf_array_push_real(ctx, c, rgb.green / 255.0);
    pdf_array_push_real(ctx, c, rgb.blue / 255.0);
    pdf_dict_put_real(ctx, dict, PDF_NAME(CA), alpha);
}

// Inside fz_try only: maps every point of an array of x, y pairs from one box onto another.
void mapPoints(fz_context* ctx, pdf_obj* array, fz_rect from, fz_rect to) {
    const int n = pdf_array_len(ctx, array);
    const float sx = from.x1 > from.x0 ? (to.x1 - to.x0) / (from.x1 - from.x0) : 1;
    const float sy = from.y1 > from.y0 ? (to.y1 - to.y0) / (from.y1 - from.y0) : 1;
    for (int i = 0; i + 1 < n; i += 2) {
        pdf_obj* x = pdf_array_get(ctx, array, i);
        pdf_obj* y = pdf_array_get(ctx, array, i + 1);
        if (!pdf_is_number(ctx, x) || !pdf_is_number(ctx, y)) {
            continue;
        }
        pdf_array_put_drop(ctx, array, i,
                           pdf_new_real(ctx, to.x0 + (pdf_to_real(ctx, x) - from.x0) * sx));
        pdf_array_put_drop(ctx, array, i + 1,
                           pdf_new_real(ctx, to.y0 + (pdf_to_real(ctx, y) - from.y0) * sy));
    }
}

// Inside fz_try only. Moving the rectangle alone would be undone as soon as the appearance
// is rebuilt from the geometry, so the geometry moves with it.
void moveGeometry(fz_context* ctx, pdf_obj* dict, fz_rect from, fz_rect to) {
    mapPoints(ctx, pdf_dict_get(ctx, dict, PDF_NAME(QuadPoints)), from, to);
    mapPoints(ctx, pdf_dict_get(ctx, dict, PDF_NAME(L)), from, to);
    mapPoints(ctx, pdf_dict_get(ctx, dict, PDF_NAME(Vertices)), from, to);
    pdf_obj* ink = pdf_dict_get(ctx, dict, PDF_NAME(InkList));
    for (int i = 0, n = pdf_array_len(ctx, ink); i < n; ++i) {
        mapPoints(ctx, pdf_array_get(ctx, ink, i), from, to);
    }
}

// Rebuilds the appearance of an edited annotation and puts back the rectangle asked for,
// which the rebuild may have widened by the line width. Inside fz_try only.
void refresh(fz_context* ctx, pdf_annot* annot, pdf_obj* dict, fz_rect rect) {
    if (!annot) {
        return;
    }
    pdf_dirty_annot(ctx, annot);
    pdf_update_annot(ctx, annot);
    pdf_dict_put_rect(ctx, dict, PDF_NAME(Rect), rect);
}

// The engine gives a new note a popup of its own; one call makes one entry of the list.
// Inside fz_try only.
void dropDefaultPopup(fz_context* ctx, pdf_page* page, pdf_obj* dict) {
    pdf_obj* popup = pdf_resolve_indirect(ctx, pdf_dict_get(ctx, dict, PDF_NAME(Popup)));
    if (!popup) {
        return;
    }
    pdf_obj* annots = pdf_dict_get(ctx, page->obj, PDF_NAME(Annots));
    for (int i = pdf_array_len(ctx, annots) - 1; i >= 0; --i) {
        if (pdf_resolve_indirect(ctx, pdf_array_get(ctx, annots, i)) == popup) {
            pdf_array_delete(ctx, annots, i);
        }
    }
    pdf_dict_del(ctx, dict, PDF_NAME(Popup));
}

} // namespace

int annotationTypeCode(std::string_view name) {
    const int code = annotationSubtypeCode(name);
    for (const auto& entry : kCreatable) {
        if (entry.first == code) {
            return code;
        }
    }
    return 0;
}

int annotationSubtypeCode(std::string_view subtype) {
    for (const auto& entry : kSubtypeCodes) {
        if (subtype == entry.name) {
            return entry.code;
        }
    }
    return 0;
}

std::optional<RgbBytes> parseAnnotationColor(std::string_view text) {
    if (text.size() != 7 || text.front() != '#') {
        return std::nullopt;
    }
    std::uint32_t value = 0;
    for (char c : text.substr(1)) {
        int digit = c >= '0' && c <= '9'   ? c - '0'
                    : c >= 'a' && c <= 'f' ? c - 'a' + 10
                    : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                           : -1;
        if (digit < 0) {
            break;
        }
        value = value << 4 | std::uint32_t(digit);
    }
    return RgbBytes{std::uint8_t(value >> 16 & 0xff), std::uint8_t(value >> 8 & 0xff),
                    std::uint8_t(value & 0xff)};
}

void NativeEngineBridge::initialize() {
    std::call_once(gInitialized, [] {
        // The process-wide engine context, made now rather than inside the first call.
        try {
            mu::context();
        } catch (...) {
        }
    });
}

bool NativeEngineBridge::openDocument(const std::string& path) const {
    std::error_code error;
    return std::filesystem::is_regular_file(path, error);
}

void NativeEngineBridge::closeDocument() const {}

std::int32_t NativeEngineBridge::pageCount(const std::string& path) const {
    std::lock_guard lock(gEngineLock);
    Loaded loaded;
    loaded.password = password_;
    if (!loadDocument(loaded, path)) {
        return 0;
    }
    const int count = countPages(loaded);
    if (count == 0 && mu::limitReached()) {
        failPastLimit(path);
    }
    return count;
}

Size NativeEngineBridge::pageSize(const std::string& path, std::int32_t pageIndex) const {
    std::lock_guard lock(gEngineLock);
    Loaded loaded;
    loaded.password = password_;
    if (!loadPage(loaded, path, pageIndex)) {
        return kFallbackPageSize;
    }
    fz_context* ctx = loaded.ctx;
    fz_page* page = &loaded.page->super;
    fz_rect box{};
    if (!mu::attempt(ctx, [&] { box = fz_bound_page(ctx, page); })) {
        return kFallbackPageSize;
    }
    return Size{double(box.x1 - box.x0), double(box.y1 - box.y0)};
}

std::optional<Image> NativeEngineBridge::renderPage(const std::string& path, std::int32_t pageIndex,
                                                    double zoom) const {
    std::lock_guard lock(gEngineLock);
    Loaded loaded;
    loaded.password = password_;
    if (!loadPage(loaded, path, pageIndex)) {
        return std::nullopt;
    }
    fz_context* ctx = loaded.ctx;
    fz_page* page = &loaded.page->super;
    fz_rect box{};
    if (!mu::attempt(ctx, [&] { box = fz_bound_page(ctx, page); })) {
        return std::nullopt;
    }
    const double pageWidth = box.x1 - box.x0, pageHeight = box.y1 - box.y0;
    const double w = std::trunc(zoom * pageWidth), h = std::trunc(zoom * pageHeight);
    // Below one pixel there is nothing to draw; past the pixmap limits nothing can be.
    if (!(w >= 1 && h >= 1) || w * h > double(INT_MAX / 4)) {
        return std::nullopt;
    }
    const int width = int(w), height = int(h);

    std::vector<std::uint8_t> rgba;
    try {
        rgba.resize(std::size_t(width) * std::size_t(height) * 4);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
    unsigned char* samples = rgba.data();
    // The page box stretched onto the whole bitmap, as the engine interface draws it.
    const fz_matrix ctm = fz_concat(fz_translate(-box.x0, -box.y0),
                                    fz_scale(float(width / pageWidth), float(height / pageHeight)));
    fz_pixmap* pixmap = nullptr;
    fz_device* device = nullptr;
    bool ok = mu::attempt(ctx, [&] {
        pixmap = fz_new_pixmap_with_data(ctx, fz_device_rgb(ctx), width, height, nullptr, 1,
                                         width * 4, samples);
        fz_clear_pixmap_with_value(ctx, pixmap, 0xff);
        device = fz_new_draw_device(ctx, fz_identity, pixmap);
        fz_run_page(ctx, page, device, ctm, nullptr);
        fz_close_device(ctx, device);
    });
    fz_drop_device(ctx, device);
    fz_drop_pixmap(ctx, pixmap);
    if (!ok) {
        return std::nullopt;
    }
    return Image(width, height, std::move(rgba));
}

std::string NativeEngineBridge::extractText(const std::string& path, std::int32_t pageIndex) const {
    std::lock_guard lock(gEngineLock);
    Loaded loaded;
    loaded.password = password_;
    if (!loadText(loaded, path, pageIndex)) {
        return {};
    }
    std::string text;
    forEachChar(loaded.text, [&](const CharAt& ch) {
        char utf8[FZ_UTFMAX];
        int n = fz_runetochar(utf8, ch.rune);
        text.append(utf8, std::size_t(n));
        return true;
    });
    return text;
}

std::string NativeEngineBridge::fontFamily(const std::string& path, std::int32_t pageIndex,
                                           std::int32_t charIndex) const {
    std::lock_guard lock(gEngineLock);
    Loaded loaded;
    loaded.password = password_;
    const fz_stext_char* ch =
        loadText(loaded, path, pageIndex) ? charAt(loaded.text, charIndex) : nullptr;
    if (!ch || !ch->font) {
        return "Unknown";
    }
    // The name the file gives the font, as written there; the engine's own name otherwise.
    if (auto record = fontRecord(loaded, ch->font); record && !record->baseFont.empty()) {
        return record->baseFont;
    }
    const char* name = fz_font_name(loaded.ctx, ch->font);
    return name && name[0] ? std::string(name) : std::string("Unknown");
}

double NativeEngineBridge::fontSize(const std::string& path, std::int32_t pageIndex,
                                    std::int32_t charIndex) const {
    std::lock_guard lock(gEngineLock);
    Loaded loaded;
    loaded.password = password_;
    const fz_stext_char* ch =
        loadText(loaded, path, pageIndex) ? charAt(loaded.text, charIndex) : nullptr;
    if (!ch) {
        return 0;
    }
    // The engine reports the size the glyph is drawn at, text and page matrices applied;
    // the box height stands in only when that is unusable.
    if (std::isfinite(ch->size) && ch->size > 0) {
        return ch->size;
    }
    const fz_rect box = fz_rect_from_quad(ch->quad);
    const double height = std::abs(box.y1 - box.y0);
    return std::isfinite(height) && height > 1 ? height : 0;
}

int NativeEngineBridge::fontFlags(const std::string& path, std::int32_t pageIndex,
                                  std::int32_t charIndex) const {
    std::lock_guard lock(gEngineLock);
    Loaded loaded;
    loaded.password = password_;
    const fz_stext_char* ch =
        loadText(loaded, path, pageIndex) ? charAt(loaded.text, charIndex) : nullptr;
    if (!ch || !ch->font) {
        return 0;
    }
    auto record = fontRecord(loaded, ch->font);
    if (record && record->hasDescriptor) {
        return record->flags;
    }
    return impliedFlags(loaded.ctx, ch->font);
}

Color NativeEngineBridge::fontColor(const std::string& path, std::int32_t pageIndex,
                                    std::int32_t charIndex) const {
    std::lock_guard lock(gEngineLock);
    Loaded loaded;
    loaded.password = password_;
    const fz_stext_char* ch =
        loadText(loaded, path, pageIndex) ? charAt(loaded.text, charIndex) : nullptr;
    if (!ch) {
        return SystemColors::black;
    }
    const int rgb = ch->color;
    return Color::rgb(std::uint8_t(rgb >> 16 & 0xff), std::uint8_t(rgb >> 8 & 0xff),
                      std::uint8_t(rgb & 0xff));
}

bool NativeEngineBridge::addAnnotation(const std::string& path, std::int64_t pageIndex,
                                       const std::string& type, const Rect& rect,
                                       const std::string& colorHex, std::int64_t opacity) const {
    const int code = annotationTypeCode(type);
    enum pdf_annot_type subtype = PDF_ANNOT_UNKNOWN;
    for (const auto& [c, t] : kCreatable) {
        if (c == code) {
            subtype = t;
        }
    }
    // An opacity out of range would leave the colour unset; refuse rather than half-apply.
    if (subtype == PDF_ANNOT_UNKNOWN || opacity < 0 || opacity > 255 || !usableRect(rect)) {
        return false;
    }
    const RgbBytes color = parseAnnotationColor(colorHex).value_or(RgbBytes{255, 255, 0});
    const float alpha = float(opacity) / 255.0f;
    const fz_rect r = edges(rect);
    const bool markup = isTextMarkup(code);

    std::lock_guard lock(gEngineLock);
    Loaded loaded;
    loaded.password = password_;
    loaded.forEdit = true;
    if (!loadPage(loaded, path, pageIndex)) {
        return false;
    }
    fz_context* ctx = loaded.ctx;
    pdf_page* page = loaded.page;
    pdf_annot* annot = nullptr;
    bool ok = mu::attempt(ctx, [&] {
        annot = pdf_create_annot(ctx, page, subtype);
        pdf_obj* dict = pdf_annot_obj(ctx, annot);
        pdf_dict_put_rect(ctx, dict, PDF_NAME(Rect), r);
        putColor(ctx, dict, color, alpha);
        if (markup) {
            // Left bottom, right bottom, left top, right top.
            pdf_obj* quad = pdf_dict_put_array(ctx, dict, PDF_NAME(QuadPoints), 8);
            for (float v : {r.x0, r.y0, r.x1, r.y0, r.x0, r.y1, r.x1, r.y1}) {
                pdf_array_push_real(ctx, quad, v);
            }
        } else if (subtype == PDF_ANNOT_LINE) {
            pdf_obj* line = pdf_dict_put_array(ctx, dict, PDF_NAME(L), 4);
            for (float v : {r.x0, r.y0, r.x1, r.y1}) {
                pdf_array_push_real(ctx, line, v);
            }
        } else if (subtype == PDF_ANNOT_INK) {
            pdf_dict_put_array(ctx, dict, PDF_NAME(InkList), 0);
        }
        refresh(ctx, annot, dict, r);
        dropDefaultPopup(ctx, page, dict);
    });
    pdf_drop_annot(ctx, annot);
    return ok && writeBack(loaded, path, {int(pageIndex)});
}

std::vector<EngineAnnotation> NativeEngineBridge::annotations(const std::string& path,
                                                              std::int64_t pageIndex) const {
    std::lock_guard lock(gEngineLock);
    Loaded loaded;
    loaded.password = password_;
    std::vector<EngineAnnotation> list;
    if (!loadPage(loaded, path, pageIndex)) {
        return list;
    }
    fz_context* ctx = loaded.ctx;
    pdf_obj* annots = annotsArray(ctx, loaded.page);
    const int count = mu::length(ctx, annots);
    for (int i = 0; i < count; ++i) {
        pdf_obj* dict = mu::resolve(ctx, mu::item(ctx, annots, i));
        auto edgesRead = mu::numbers(ctx, mu::resolve(ctx, mu::get(ctx, dict, PDF_NAME(Rect))));
        if (!mu::isDict(ctx, dict) || edgesRead.size() < 4) {
            continue;
        }
        const fz_rect r = normalized(fz_make_rect(float(edgesRead[0]), float(edgesRead[1]),
                                                  float(edgesRead[2]), float(edgesRead[3])));
        list.push_back(EngineAnnotation{
            i, annotationSubtypeCode(mu::name(ctx, mu::get(ctx, dict, PDF_NAME(Subtype)))), r.x0,
            r.y0, r.x1 - r.x0, r.y1 - r.y0});
    }
    return list;
}

bool NativeEngineBridge::updateAnnotation(const std::string& path, std::int64_t pageIndex,
                                          std::int64_t annotationId, const Rect& rect,
                                          const std::string& colorHex) const {
    if (!usableRect(rect)) {
        return false;
    }
    const std::optional<RgbBytes> color = parseAnnotationColor(colorHex);
    const bool recolor = color.has_value();
    const RgbBytes rgb = color.value_or(RgbBytes{});
    const fz_rect r = edges(rect);

    std::lock_guard lock(gEngineLock);
    Loaded loaded;
    loaded.password = password_;
    loaded.forEdit = true;
    if (!loadPage(loaded, path, pageIndex)) {
        return false;
    }
    fz_context* ctx = loaded.ctx;
    pdf_page* page = loaded.page;
    pdf_obj* dict = annotationEntry(ctx, page, annotationId);
    if (!dict || !mu::isDict(ctx, dict)) {
        return false;
    }
    pdf_annot* annot = engineAnnot(ctx, page, dict);
    bool ok = mu::attempt(ctx, [&] {
        pdf_obj* old = pdf_dict_get(ctx, dict, PDF_NAME(Rect));
        if (pdf_is_array(ctx, old)) {
            moveGeometry(ctx, dict, normalized(pdf_to_rect(ctx, old)), r);
        }
        pdf_dict_put_rect(ctx, dict, PDF_NAME(Rect), r);
        if (recolor) {
            putColor(ctx, dict, rgb, 1.0f);
        }
        refresh(ctx, annot, dict, r);
    });
    return ok && writeBack(loaded, path, {int(pageIndex)});
}

bool NativeEngineBridge::deleteAnnotation(const std::string& path, std::int64_t pageIndex,
                                          std::int64_t annotationId) const {
    std::lock_guard lock(gEngineLock);
    Loaded loaded;
    loaded.password = password_;
    loaded.forEdit = true;
    if (!loadPage(loaded, path, pageIndex)) {
        return false;
    }
    fz_context* ctx = loaded.ctx;
    pdf_page* page = loaded.page;
    pdf_obj* annots = annotsArray(ctx, page);
    if (annotationId < 0 || annotationId >= mu::length(ctx, annots)) {
        return false;
    }
    const int index = int(annotationId);
    pdf_obj* dict = annotationEntry(ctx, page, annotationId);
    pdf_annot* annot = engineAnnot(ctx, page, dict);
    bool ok = mu::attempt(ctx, [&] {
        // The engine's own deletion also takes the note's popup along.
        if (annot && pdf_annot_type(ctx, annot) != PDF_ANNOT_WIDGET) {
            pdf_delete_annot(ctx, page, annot);
        } else {
            pdf_array_delete(ctx, annots, index);
        }
    });
    // Reported as done only once the file says so.
    return ok && writeBack(loaded, path, {int(pageIndex)});
}

bool NativeEngineBridge::deletePage(const std::string& path, std::int32_t pageIndex) const {
    std::lock_guard lock(gEngineLock);
    Loaded loaded;
    loaded.password = password_;
    loaded.forEdit = true;
    if (!loadDocument(loaded, path)) {
        return false;
    }
    const int count = countPages(loaded);
    if (pageIndex < 0 || pageIndex >= count) {
        return failWith("there is no page " + std::to_string(std::int64_t(pageIndex) + 1));
    }
    // A PDF without pages is no document any reader opens.
    if (count == 1) {
        return failWith("the only page of a document cannot be deleted");
    }
    if (!engine::deletePageAndReferences(loaded.ctx, loaded.doc, pageIndex)) {
        return failWith("the page could not be deleted");
    }
    return writeBack(loaded, path, {}, 1);
}

bool NativeEngineBridge::rotatePage(const std::string& path, std::int32_t pageIndex,
                                    std::int32_t degrees) const {
    // A quarter turn is all a page can take; anything between would be silently rounded.
    if (degrees % 90 != 0) {
        return false;
    }
    int normalised = degrees % 360;
    if (normalised < 0) {
        normalised += 360;
    }
    std::lock_guard lock(gEngineLock);
    Loaded loaded;
    loaded.password = password_;
    loaded.forEdit = true;
    if (!loadPage(loaded, path, pageIndex)) {
        return false;
    }
    fz_context* ctx = loaded.ctx;
    pdf_page* page = loaded.page;
    if (!mu::attempt(ctx,
                     [&] { pdf_dict_put_int(ctx, page->obj, PDF_NAME(Rotate), normalised); })) {
        return false;
    }
    return writeBack(loaded, path, {});
}

bool NativeEngineBridge::saveDocument(const std::string&) const {
    return true;
}

const std::string& NativeEngineBridge::lastError() {
    return tLastError;
}

} // namespace ombrix
