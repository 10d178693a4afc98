#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "core/Clock.h"
#include "core/Geometry.h"
#include "core/Signal.h"
#include "core/Uuid.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <vector>

namespace ombrix {

namespace pdfkit {
class Document;
}

struct PageGeometry {
    double widthPt = 0;
    double heightPt = 0;
    int rotationDeg = 0;

    double displayWidthPt() const;
    double displayHeightPt() const;
    Rect rect() const { return Rect{0, 0, widthPt, heightPt}; }

    static const PageGeometry usLetter;
    static const PageGeometry a4;

    bool operator==(const PageGeometry&) const = default;
};

void to_json(nlohmann::json& j, const PageGeometry& g);
void from_json(const nlohmann::json& j, PageGeometry& g);

struct PDFMetadata {
    std::optional<std::string> title;
    std::optional<std::string> author;
    std::optional<std::string> subject;
    std::optional<std::string> keywords;
    std::optional<std::string> version;
    std::optional<TimePoint> createdAt;
    std::optional<TimePoint> modifiedAt;

    static PDFMetadata empty() { return {}; }
    bool operator==(const PDFMetadata&) const = default;
};

// Absent fields are omitted; timestamps as seconds since 2001-01-01 UTC.
void to_json(nlohmann::json& j, const PDFMetadata& m);
void from_json(const nlohmann::json& j, PDFMetadata& m);

// One opened file. Shared by reference (std::shared_ptr): the tab, the render cache and
// search results all mean the same instance. Only the engine bridge creates one.
class PDFDocument {
public:
    PDFDocument(Uuid id, std::filesystem::path url, std::string name, std::int64_t pageCount,
                std::vector<PageGeometry> pageSizes, PDFMetadata metadata, bool isDirty,
                std::string brainFingerprint, std::shared_ptr<pdfkit::Document> handle);

    const Uuid id;
    const std::filesystem::path url;
    const std::string name;
    const std::int64_t pageCount;
    const std::vector<PageGeometry> pageSizes;
    const PDFMetadata metadata;
    bool isDirty;
    std::string brainFingerprint;
    // The PDF kit's document; null for a record without one (tests, foreign engines).
    const std::shared_ptr<pdfkit::Document> handle;

    std::optional<PageGeometry> pageSize(std::int64_t index) const;
    void markDirty() { setDirty(true); }
    void markClean() { setDirty(false); }

    // Raised by markDirty and markClean when the flag flips, on the caller's thread, so a
    // window title can follow without polling.
    Signal<bool> dirtyChanged;

private:
    void setDirty(bool dirty);
};

// The display name of a file: its last path component without the extension.
std::string documentName(const std::filesystem::path& url);

} // namespace ombrix

OMBRIX_API_END
