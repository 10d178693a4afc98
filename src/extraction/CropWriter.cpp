#include "extraction/CropWriter.h"

#include "core/AtomicFile.h"
#include "core/Error.h"
#include "extraction/RegionCapture.h"
#include "pdfkit/Document.h"
#include "pdfkit/ImageCodec.h"
#include "pdfkit/Page.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

// The crop is as private as the document it was cut from: it takes the document's
// permission bits (never more than read and write), and a new file at `output` is made
// with them before anything is written into it. None for a crop without a document.
class Placeholder {
public:
    Placeholder(const fs::path& output, const pdfkit::Document* source) : output_(output) {
        struct stat st {};
        if (!source || ::stat(source->documentURL().c_str(), &st) != 0) {
            return;
        }
        const mode_t mode = st.st_mode & 0666;
        int fd = ::open(output.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd < 0) {
            if (errno == EEXIST) {
                return; // an existing file keeps its own permissions
            }
            throw Error(kErrorDomain, errno,
                        "Could not create " + output.string() + ": " + std::strerror(errno));
        }
        // The umask may take bits; the crop must be readable by whom the document is.
        const bool made = ::fchmod(fd, mode) == 0;
        const int err = errno;
        ::close(fd);
        made_ = true;
        if (!made) {
            throw Error(kErrorDomain, err,
                        "Could not set the permissions of " + output.string() + ": " +
                            std::strerror(err));
        }
    }
    ~Placeholder() {
        if (made_ && !kept_) {
            ::unlink(output_.c_str());
        }
    }
    Placeholder(const Placeholder&) = delete;
    Placeholder& operator=(const Placeholder&) = delete;
    void keep() { kept_ = true; }

private:
    fs::path output_;
    bool made_ = false;
    bool kept_ = false;
};

// The PDF is read back before it is kept: only a file the PDF kit can open lands next to
// the document, and it lands whole. An encrypted one was read back by the kit with its
// password already and is only checked to be locked here. The copy read back is a
// scratch file in a folder of the user's own, never in the shared temporary folder.
void writeChecked(const std::string& bytes, const fs::path& output,
                  const pdfkit::Document* source) {
    try {
        Placeholder placeholder(output, source);
        Workspace scratch(scratchFolder());
        const fs::path copy = scratch.folder() / "crop.pdf";
        writeOwnFile(copy, bytes);
        auto reopened = pdfkit::Document::openFile(copy);
        if (reopened.status == pdfkit::OpenStatus::needsPassword) {
            writeFileAtomically(output, bytes);
        } else if (reopened.status != pdfkit::OpenStatus::opened ||
                   reopened.document->pageCount() != 1) {
            throw Error(kErrorDomain, 3, "The cropped PDF could not be read back.");
        } else {
            reopened.document->write(output);
        }
        placeholder.keep();
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
    writeChecked(*bytes, output, nullptr);
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
    writeChecked(bytes, output, source);
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
