#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "core/Color.h"
#include "core/Geometry.h"
#include "core/Image.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ombrix {

// One entry of a page's annotation list as NativeEngineBridge::annotations() reports it.
struct EngineAnnotation {
    int id = 0;   // index in the page's /Annots at the time of the call
    int type = 0; // subtype code, see annotationTypeCode()
    float x = 0;  // left
    float y = 0;  // bottom
    float width = 0;
    float height = 0;

    bool operator==(const EngineAnnotation&) const = default;
};

// Subtype code of an annotation type name, compared exactly: Text 1, FreeText 3, Line 4,
// Square 5, Circle 6, Highlight 9, Underline 10, StrikeOut 12, Ink 15; 0 for any other
// name. annotationSubtypeCode() covers every subtype found in files (Link 2, Popup 16, ...).
int annotationTypeCode(std::string_view name);
int annotationSubtypeCode(std::string_view subtype);

// An annotation colour string: "#" and six characters read as hexadecimal up to the first
// non-digit. Anything else is none; callers then fall back to their default.
struct RgbBytes {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    bool operator==(const RgbBytes&) const = default;
};
std::optional<RgbBytes> parseAnnotationColor(std::string_view text);

// The engine addressed by file path: every call opens the file, does its work, writes the
// file back when it changed something and closes it again, so no document stays open and
// two calls on one path see each other's changes. Calls from any thread are serialised by
// one process-wide lock. Nothing throws: failures show as the documented fallbacks.
// Edits lock the file (flock) from reading to writing, so two processes editing one file
// take turns, and replace it only with a file that was read back and checked.
//
// Page and annotation indexes count from 0; coordinates are PDF page space. Character
// indexes count the characters of extractText()'s result (code points, a "\n" after each
// line); the line breaks have no font.
class NativeEngineBridge {
public:
    // Encrypted files are unlocked with `password`; without one they are not opened.
    explicit NativeEngineBridge(std::string password = {}) : password_(std::move(password)) {}

    // Sets the engine up once per process; every other call does it on its own.
    static void initialize();

    bool openDocument(const std::string& path) const; // a file exists there; nothing loaded
    void closeDocument() const;                       // no effect

    std::int32_t pageCount(const std::string& path) const;                // 0 on failure
    Size pageSize(const std::string& path, std::int32_t pageIndex) const; // 600 x 800 on failure
    // Zoom x the page size, truncated, in pixels, on opaque white with annotations drawn;
    // none when the page cannot be loaded or a side comes out below one pixel.
    std::optional<Image> renderPage(const std::string& path, std::int32_t pageIndex,
                                    double zoom) const;
    std::string extractText(const std::string& path, std::int32_t pageIndex) const;

    // Font of one character: the font's name or "Unknown"; its size in points, 0 on
    // failure; the font descriptor flags, 0 on failure; its fill colour, black when none
    // can be read.
    std::string fontFamily(const std::string& path, std::int32_t pageIndex,
                           std::int32_t charIndex) const;
    double fontSize(const std::string& path, std::int32_t pageIndex, std::int32_t charIndex) const;
    int fontFlags(const std::string& path, std::int32_t pageIndex, std::int32_t charIndex) const;
    Color fontColor(const std::string& path, std::int32_t pageIndex, std::int32_t charIndex) const;

    // Adds an annotation of the named type over `rect`, coloured by `colorHex` (yellow when
    // it is not "#RRGGBB") at `opacity` out of 255; text markup gets one quad over the
    // rectangle. True once the file is written back.
    bool addAnnotation(const std::string& path, std::int64_t pageIndex, const std::string& type,
                       const Rect& rect, const std::string& colorHex, std::int64_t opacity) const;
    std::vector<EngineAnnotation> annotations(const std::string& path,
                                              std::int64_t pageIndex) const;
    // Moves the annotation to `rect` and, when `colorHex` is "#RRGGBB", recolours it
    // (opaque); other colour strings leave the colour alone.
    bool updateAnnotation(const std::string& path, std::int64_t pageIndex,
                          std::int64_t annotationId, const Rect& rect,
                          const std::string& colorHex) const;
    bool deleteAnnotation(const std::string& path, std::int64_t pageIndex,
                          std::int64_t annotationId) const;
    bool deletePage(const std::string& path, std::int32_t pageIndex) const;
    // Sets the page's rotation to `degrees` (any multiple of 90, normalised to 0-270);
    // absolute, not added to the current one.
    bool rotatePage(const std::string& path, std::int32_t pageIndex, std::int32_t degrees) const;
    // Every editing call has written the file already.
    bool saveDocument(const std::string& path) const;

    // Why the calling thread's last call failed to open or write a file (not a PDF,
    // needs a password, changed on disk, did not read back, ...); empty before any.
    static const std::string& lastError();

private:
    std::string password_;
};

} // namespace ombrix

OMBRIX_API_END
