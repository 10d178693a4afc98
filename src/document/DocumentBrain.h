#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "core/Clock.h"
#include "document/PDFDocument.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ombrix {

// The sidecar kept for every opened file, filed by its content fingerprint.
struct DocumentBrain {
    struct PageSizeEntry {
        double widthPt = 0;
        double heightPt = 0;
        int rotationDeg = 0;

        static PageSizeEntry from(const PageGeometry& geometry) {
            return {geometry.widthPt, geometry.heightPt, geometry.rotationDeg};
        }
        bool operator==(const PageSizeEntry&) const = default;
    };

    static constexpr int kSchemaVersion = 1;

    int schemaVersion = kSchemaVersion;
    std::string path;
    std::string fingerprint;
    std::int64_t fileSize = 0;
    TimePoint modifiedAt; // when the sidecar was made, not the file's own time
    int pageCount = 0;
    std::vector<PageSizeEntry> pageSizes;
    std::optional<std::string> title;
    std::optional<std::string> author;
    TimePoint savedAt;

    // Compact JSON, members in declaration order, "/" written as "\/", timestamps as
    // seconds since 2001-01-01 UTC; title and author left out when absent.
    std::string encode() const;
    // Nothing for malformed JSON, a missing required member or a member of the wrong type.
    static std::optional<DocumentBrain> decode(std::string_view text);

    bool operator==(const DocumentBrain&) const = default;
};

using PageSizeEntry = DocumentBrain::PageSizeEntry;

} // namespace ombrix

OMBRIX_API_END
