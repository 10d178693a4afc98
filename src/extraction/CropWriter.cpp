#include "extraction/CropWriter.h"

#include "core/AtomicFile.h"
#include "core/Error.h"
#include "core/Uuid.h"
#include "extraction/RegionCapture.h"
#include "pdfkit/Document.h"
#include "pdfkit/ImageCodec.h"
#include "pdfkit/Page.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdio>

namespace ombrix::crop {

namespace fs = std::filesystem;

namespace {

constexpr const char* kErrorDomain = "Crop";

std::string prefix(const std::string& base, int pageNumber) {
    return base + "_page" + std::to_string(pageNumber) + "_seq";
}

// The sequence number of a crop file name, read between the prefix and ".pdf". The base
// may itself contain "_seq" (a file called "my_sequence.pdf"), so the name is not split on it.
std::optional<int> sequenceOf(const std::string& name, const std::string& lead) {
    static const std::string kExtension = ".pdf";
    if (name.size() < lead.size() + kExtension.size() || !name.starts_with(lead) ||
        !name.ends_with(kExtension)) {
        return std::nullopt;
    }
    const char* first = name.data() + lead.size();
    const char* last = name.data() + name.size() - kExtension.size();
    if (first == last || !std::all_of(first, last, [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    int value = 0;
    auto [end, ec] = std::from_chars(first, last, value);
    if (ec != std::errc() || end != last) {
        return std::nullopt;
    }
    return value;
}

} // namespace

int nextSequence(const fs::path& folder, const std::string& base, int pageNumber) {
    const std::string lead = prefix(base, pageNumber);
    int largest = 0;
    std::error_code ec;
    fs::directory_iterator it(folder.empty() ? fs::path(".") : folder, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        if (auto sequence = sequenceOf(it->path().filename().string(), lead)) {
            largest = std::max(largest, *sequence);
        }
    }
    return largest == INT_MAX ? INT_MAX : largest + 1;
}

fs::path nextOutputPath(const fs::path& document, int pageNumber) {
    const std::string base = document.stem().string();
    const fs::path folder = document.parent_path();
    char sequence[16];
    std::snprintf(sequence, sizeof sequence, "%03d", nextSequence(folder, base, pageNumber));
    return folder / (prefix(base, pageNumber) + sequence + ".pdf");
}

namespace {

// The PDF is read back before it is kept: only a file the PDF kit can open lands next to
// the document, and it lands whole. An encrypted one was read back by the kit with its
// password already and is only checked to be locked here.
void writeChecked(const std::string& bytes, const fs::path& output) {
    const fs::path scratch = fs::temp_directory_path() / (Uuid::random().toString() + ".pdf");
    struct Remove {
        fs::path path;
        ~Remove() {
            std::error_code ignored;
            fs::remove(path, ignored);
        }
    } cleanup{scratch};
    writeFileAtomically(scratch, bytes);
    auto reopened = pdfkit::Document::openFile(scratch);
    try {
        if (reopened.status == pdfkit::OpenStatus::needsPassword) {
            writeFileAtomically(output, bytes);
            return;
        }
        if (reopened.status != pdfkit::OpenStatus::opened || reopened.document->pageCount() != 1) {
            throw Error(kErrorDomain, 3, "The cropped PDF could not be read back.");
        }
        reopened.document->write(output);
    } catch (const Error& e) {
        throw Error(kErrorDomain, e.code(), e.description());
    }
}

} // namespace

void writeImagePDF(const Image& image, const fs::path& output, const std::optional<Size>& page) {
    auto bytes = pdfkit::encodeImagePDF(image, page);
    if (!bytes) {
        throw Error(kErrorDomain, 2, "Could not make a PDF of the cropped region.");
    }
    writeChecked(*bytes, output);
}

void writeImagePDF(const Image& image, const fs::path& output, const pdfkit::Document* source,
                   const std::optional<Size>& page) {
    if (!source) {
        writeImagePDF(image, output, page);
        return;
    }
    std::string bytes;
    try {
        bytes = source->imagePDF(image, page);
    } catch (const Error& e) {
        throw Error(kErrorDomain, 2, e.description());
    }
    writeChecked(bytes, output);
}

fs::path cropToFile(const pdfkit::Page& page, const Rect& bounds, const fs::path& document,
                    int pageNumber) {
    const Rect padded = region::paddedRegion(bounds, page.mediaBox());
    auto raster = region::rasterize(page, padded);
    if (!raster) {
        throw Error(kErrorDomain, 1, "The region does not cover any part of the page.");
    }
    fs::path output = nextOutputPath(document, pageNumber);
    // The page is the region's own size; the raster's eight pixels per point keep it sharp.
    writeImagePDF(*raster, output, page.document().get(), Size{padded.width, padded.height});
    return output;
}

} // namespace ombrix::crop
