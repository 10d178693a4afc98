#include "engine/NativeEngineBridge.h"

#include "core/AtomicFile.h"
#include "core/Error.h"
#include "pdfkit/AnnotationSubtype.h"
#include "pdfkit/Document.h"
#include "pdfkit/Page.h"
#include "pdfkit/PageRenderer.h"
#include "pdfkit/ResourceLimits.h"

#include <climits>
#include <cmath>
#include <filesystem>
#include <mutex>
#include <unicode/utf8.h>
#include <utility>

namespace ombrix {

using pdfkit::Subtype;

namespace {

// Every call is serialised under this one lock, whatever the thread; it is never taken
// twice by one call.
std::mutex gEngineLock;

constexpr Size kFallbackPageSize{600, 800};

// The types addAnnotation() can create.
constexpr Subtype kCreatable[] = {Subtype::highlight, Subtype::underline, Subtype::strikeOut,
                                  Subtype::square,    Subtype::circle,    Subtype::line,
                                  Subtype::ink,       Subtype::text,      Subtype::freeText};

thread_local std::string tLastError;

bool failWith(std::string message) {
    tLastError = std::move(message);
    return false;
}

bool limitReached() {
    return pdfkit::memoryLimitReached() || pdfkit::deadlineReached();
}

// Stopped by the time or memory limit while reading: nothing need be wrong with the file,
// and the caller says which limit.
bool failPastLimit(const std::string& path) {
    return failWith(path + " could not be read within the limits");
}

// The document of one call. An edit locks the file from before it is read until it has
// been written back, so two processes editing one file take turns.
struct Opened {
    std::optional<FileLock> lock;
    std::shared_ptr<pdfkit::Document> doc;
};

// Refuses what is not a plain file before anything reads it (a FIFO would block the read
// forever) and unlocks an encrypted file with the password given, if any.
bool open(Opened& opened, const std::string& path, const std::string& password, bool forEdit) {
    if (auto problem = checkReadableFile(path)) {
        return failWith(problem->message);
    }
    if (forEdit) {
        try {
            opened.lock.emplace(path);
        } catch (const Error& e) {
            return failWith(e.description());
        }
    }
    auto result = pdfkit::Document::openFile(path);
    switch (result.status) {
    case pdfkit::OpenStatus::opened:
    case pdfkit::OpenStatus::openedWithRepairs:
        break;
    case pdfkit::OpenStatus::needsPassword:
        if (password.empty()) {
            return failWith(path + " needs a password");
        }
        if (!result.document->authenticate(password)) {
            return failWith("wrong password for " + path);
        }
        break;
    case pdfkit::OpenStatus::notPDF:
        return failWith(path + " is not a PDF");
    case pdfkit::OpenStatus::damaged:
        return limitReached() ? failPastLimit(path) : failWith(path + " is damaged beyond repair");
    default:
        return failWith(path + " " + result.message);
    }
    opened.doc = std::move(result.document);
    if (opened.doc->pageCount() == 0 && limitReached()) {
        return failPastLimit(path);
    }
    return true;
}

std::shared_ptr<pdfkit::Page> openPage(Opened& opened, const std::string& path,
                                       const std::string& password, std::int64_t index,
                                       bool forEdit = false) {
    if (!open(opened, path, password, forEdit) || index < 0 || index >= opened.doc->pageCount()) {
        return nullptr;
    }
    return opened.doc->page(int(index));
}

// Writes the edited document over PATH: the changes appended when the file allows it, the
// new file read back and checked, then renamed over PATH. On any failure PATH is left as
// it was and the reason is kept for lastError().
bool writeBack(Opened& opened, const std::string& path) {
    try {
        opened.doc->write(path);
    } catch (const std::exception& e) {
        return failWith(describe(e));
    }
    return true;
}

// The character `index` of the page as extractText() counts them; null past the end or
// for a line break.
std::optional<pdfkit::TextCharacter> characterAt(const pdfkit::Page& page, std::int32_t index) {
    if (index < 0) {
        return std::nullopt;
    }
    auto chars = page.characters();
    if (std::size_t(index) >= chars.size() || chars[std::size_t(index)].box.isEmpty()) {
        return std::nullopt;
    }
    return std::move(chars[std::size_t(index)]);
}

// The same character of a file's page, opened for this one question.
std::optional<pdfkit::TextCharacter> characterOfFile(const std::string& path,
                                                     const std::string& password,
                                                     std::int32_t pageIndex,
                                                     std::int32_t charIndex) {
    Opened opened;
    auto page = openPage(opened, path, password, pageIndex);
    return page ? characterAt(*page, charIndex) : std::nullopt;
}

bool usableRect(const Rect& rect) {
    if (!rect.isFinite()) {
        return false;
    }
    // Written as 32-bit floats, as the engine interface takes them.
    for (double v : {rect.x, rect.y, rect.x + rect.width, rect.y + rect.height}) {
        if (!std::isfinite(float(v))) {
            return false;
        }
    }
    return true;
}

Color colorOf(RgbBytes rgb, double alpha) {
    return Color::rgb(rgb.red, rgb.green, rgb.blue).withAlpha(alpha);
}

} // namespace

int annotationTypeCode(std::string_view name) {
    const auto subtype = pdfkit::subtypeNamed(name);
    for (Subtype creatable : kCreatable) {
        if (subtype == creatable) {
            return pdfkit::subtypeInfo(creatable).code;
        }
    }
    return 0;
}

int annotationSubtypeCode(std::string_view subtype) {
    const auto known = pdfkit::subtypeNamed(subtype);
    return known ? pdfkit::subtypeInfo(*known).code : 0;
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

void NativeEngineBridge::initialize() {}

bool NativeEngineBridge::openDocument(const std::string& path) const {
    std::error_code error;
    return std::filesystem::is_regular_file(path, error);
}

void NativeEngineBridge::closeDocument() const {}

std::int32_t NativeEngineBridge::pageCount(const std::string& path) const {
    std::lock_guard lock(gEngineLock);
    Opened opened;
    return open(opened, path, password_, false) ? opened.doc->pageCount() : 0;
}

Size NativeEngineBridge::pageSize(const std::string& path, std::int32_t pageIndex) const {
    std::lock_guard lock(gEngineLock);
    Opened opened;
    auto page = openPage(opened, path, password_, pageIndex);
    return page ? page->displaySize() : kFallbackPageSize;
}

std::optional<Image> NativeEngineBridge::renderPage(const std::string& path, std::int32_t pageIndex,
                                                    double zoom) const {
    std::lock_guard lock(gEngineLock);
    Opened opened;
    auto page = openPage(opened, path, password_, pageIndex);
    if (!page) {
        return std::nullopt;
    }
    const Size size = page->displaySize();
    const double w = std::trunc(zoom * size.width), h = std::trunc(zoom * size.height);
    // Below one pixel there is nothing to draw; past the pixmap limits nothing can be.
    if (!(w >= 1 && h >= 1) || w * h > double(INT_MAX / 4)) {
        return std::nullopt;
    }
    // The page as shown, its rotation applied, on white with its annotations.
    Image image = opened.doc->renderer().renderTile(pageIndex, Rect{0, 0, size.width, size.height},
                                                    zoom, int(w), int(h), true);
    if (image.isNull()) {
        return std::nullopt;
    }
    return image;
}

std::string NativeEngineBridge::extractText(const std::string& path, std::int32_t pageIndex) const {
    std::lock_guard lock(gEngineLock);
    Opened opened;
    auto page = openPage(opened, path, password_, pageIndex);
    std::string text;
    if (page) {
        for (const auto& ch : page->characters()) {
            // What MuPDF could not map is U+FFFD already; only scalar values arrive here.
            char utf8[U8_MAX_LENGTH];
            std::int32_t length = 0;
            U8_APPEND_UNSAFE(utf8, length, UChar32(ch.code));
            text.append(utf8, std::size_t(length));
        }
    }
    return text;
}

std::string NativeEngineBridge::fontFamily(const std::string& path, std::int32_t pageIndex,
                                           std::int32_t charIndex) const {
    std::lock_guard lock(gEngineLock);
    const auto ch = characterOfFile(path, password_, pageIndex, charIndex);
    return ch && !ch->fontName.empty() ? ch->fontName : std::string("Unknown");
}

double NativeEngineBridge::fontSize(const std::string& path, std::int32_t pageIndex,
                                    std::int32_t charIndex) const {
    std::lock_guard lock(gEngineLock);
    const auto ch = characterOfFile(path, password_, pageIndex, charIndex);
    return ch ? ch->fontSize : 0;
}

int NativeEngineBridge::fontFlags(const std::string& path, std::int32_t pageIndex,
                                  std::int32_t charIndex) const {
    std::lock_guard lock(gEngineLock);
    const auto ch = characterOfFile(path, password_, pageIndex, charIndex);
    return ch ? ch->fontFlags : 0;
}

Color NativeEngineBridge::fontColor(const std::string& path, std::int32_t pageIndex,
                                    std::int32_t charIndex) const {
    std::lock_guard lock(gEngineLock);
    const auto ch = characterOfFile(path, password_, pageIndex, charIndex);
    return ch ? ch->color : SystemColors::black;
}

bool NativeEngineBridge::addAnnotation(const std::string& path, std::int64_t pageIndex,
                                       const std::string& type, const Rect& rect,
                                       const std::string& colorHex, std::int64_t opacity) const {
    const int code = annotationTypeCode(type);
    // An opacity out of range would leave the colour unset; refuse rather than half-apply.
    if (code == 0 || opacity < 0 || opacity > 255 || !usableRect(rect)) {
        return false;
    }
    const RgbBytes rgb = parseAnnotationColor(colorHex).value_or(RgbBytes{255, 255, 0});

    std::lock_guard lock(gEngineLock);
    Opened opened;
    auto page = openPage(opened, path, password_, pageIndex, true);
    if (!page) {
        return false;
    }
    auto annotation = pdfkit::Annotation::create(rect.standardized(), type);
    annotation->setColor(colorOf(rgb, double(opacity) / 255.0));
    page->addAnnotation(annotation);
    if (annotation->page() != page) {
        return failWith("the page did not take the annotation");
    }
    return writeBack(opened, path);
}

std::vector<EngineAnnotation> NativeEngineBridge::annotations(const std::string& path,
                                                              std::int64_t pageIndex) const {
    std::lock_guard lock(gEngineLock);
    Opened opened;
    std::vector<EngineAnnotation> list;
    auto page = openPage(opened, path, password_, pageIndex);
    if (!page) {
        return list;
    }
    const auto all = page->annotations();
    for (std::size_t i = 0; i < all.size(); ++i) {
        const Rect r = all[i]->bounds().standardized();
        list.push_back(EngineAnnotation{int(i), annotationSubtypeCode(all[i]->type()), float(r.x),
                                        float(r.y), float(r.width), float(r.height)});
    }
    return list;
}

bool NativeEngineBridge::updateAnnotation(const std::string& path, std::int64_t pageIndex,
                                          std::int64_t annotationId, const Rect& rect,
                                          const std::string& colorHex) const {
    if (!usableRect(rect)) {
        return false;
    }
    const std::optional<RgbBytes> rgb = parseAnnotationColor(colorHex);

    std::lock_guard lock(gEngineLock);
    Opened opened;
    auto page = openPage(opened, path, password_, pageIndex, true);
    const auto all =
        page ? page->annotations() : std::vector<std::shared_ptr<pdfkit::Annotation>>{};
    if (annotationId < 0 || std::uint64_t(annotationId) >= all.size()) {
        return false;
    }
    const auto& annotation = all[std::size_t(annotationId)];
    annotation->setBounds(rect.standardized());
    if (rgb) {
        annotation->setColor(colorOf(*rgb, 1));
    }
    return writeBack(opened, path);
}

bool NativeEngineBridge::deleteAnnotation(const std::string& path, std::int64_t pageIndex,
                                          std::int64_t annotationId) const {
    std::lock_guard lock(gEngineLock);
    Opened opened;
    auto page = openPage(opened, path, password_, pageIndex, true);
    const auto all =
        page ? page->annotations() : std::vector<std::shared_ptr<pdfkit::Annotation>>{};
    if (annotationId < 0 || std::uint64_t(annotationId) >= all.size()) {
        return false;
    }
    // Its popup goes with it. Reported as done only once the file says so.
    page->removeAnnotation(all[std::size_t(annotationId)]);
    return writeBack(opened, path);
}

bool NativeEngineBridge::deletePage(const std::string& path, std::int32_t pageIndex) const {
    std::lock_guard lock(gEngineLock);
    Opened opened;
    if (!open(opened, path, password_, true)) {
        return false;
    }
    try {
        opened.doc->deletePage(pageIndex);
    } catch (const std::exception& e) {
        return failWith(describe(e));
    }
    return writeBack(opened, path);
}

bool NativeEngineBridge::rotatePage(const std::string& path, std::int32_t pageIndex,
                                    std::int32_t degrees) const {
    // A quarter turn is all a page can take; anything between would be silently rounded.
    if (degrees % 90 != 0) {
        return false;
    }
    std::lock_guard lock(gEngineLock);
    Opened opened;
    auto page = openPage(opened, path, password_, pageIndex, true);
    if (!page) {
        return false;
    }
    try {
        page->setRotation(degrees);
    } catch (const std::exception& e) {
        return failWith(describe(e));
    }
    return writeBack(opened, path);
}

bool NativeEngineBridge::saveDocument(const std::string&) const {
    return true;
}

const std::string& NativeEngineBridge::lastError() {
    return tLastError;
}

} // namespace ombrix
