#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace ombrix::testing {

// Files read or made with MuPDF alone, beside the PDF kit: a test of the kit does not take
// the kit's own word for what it wrote, and a fixture can hold what the kit never writes.
// Each call opens the file afresh and throws std::runtime_error when MuPDF fails. Any
// thread.

// What a file says about one annotation of a page.
struct StoredAnnotation {
    std::string subtype;
    std::vector<double> rect;       // /Rect as written
    std::vector<double> color;      // /C
    std::optional<double> opacity;  // /CA
    std::vector<double> quadPoints; // /QuadPoints
    bool hasAppearance = false;
    // Every entry: strings as their text, anything else as MuPDF prints it.
    std::map<std::string, std::string> entries;
};

struct StoredPage {
    int rotate = 0;
    std::vector<StoredAnnotation> annotations; // in /Annots order
};

StoredPage readStoredPage(const std::filesystem::path& path, int pageIndex);

// How a saved file opens without and with `password`.
struct StoredEncryption {
    bool needsPassword = false;
    bool opensWithPassword = false;
    std::string method; // e.g. "AES 256-bit"
    int revision = 0;
    int permissions = 0;
};

StoredEncryption readEncryption(const std::filesystem::path& path, const std::string& password);

// One page, 612 x 792, whose content is `content` drawn with /F1 = Helvetica-Bold.
void writeContentPdf(const std::filesystem::path& path, const std::string& content);

// Rewrites the file in place encrypted with AES-128, an empty user password, the owner
// password `ownerPassword` and every permission.
void encryptInPlace(const std::filesystem::path& path, const std::string& ownerPassword);

// The labelled fixture (i ii iii iv 1 2 A-1 A-2) with an outline entry, a link on page 1,
// a named destination and an open action, all leading to page 3, plus an outline entry
// and a link leading to page 5.
void writeCrossReferencedPdf(const std::filesystem::path& path);

} // namespace ombrix::testing
