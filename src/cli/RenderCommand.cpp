#include "cli/Arguments.h"
#include "cli/Command.h"
#include "core/AtomicFile.h"
#include "core/Error.h"
#include "document/PDFKitBridge.h"
#include "document/PDFRenderService.h"
#include "pdfkit/Document.h"
#include "pdfkit/ImageCodec.h"
#include "pdfkit/Page.h"
#include "pdfkit/ResourceLimits.h"

#include <algorithm>
#include <cmath>
#include <ostream>

namespace ombrix::cli {

namespace {

const std::string kName = "render";
const std::string kSynopsis = "FILE --page N [--size WxH] -o OUT.png [--password PW]";

// The size the reader renders a freshly opened page at.
constexpr Size kDefaultSize{1600, 1600};

// A size whose bitmap cannot be drawn, or cannot fit in the memory the engine may take,
// is refused before anything is drawn, with the figures, instead of failing inside.
void checkImageFits(const PageGeometry& page, Size target) {
    const double pageW = page.displayWidthPt(), pageH = page.displayHeightPt();
    if (!(pageW > 0) || !(pageH > 0)) {
        return;
    }
    const double scale = std::min(target.width / pageW, target.height / pageH);
    const double width = std::max(1.0, std::floor(pageW * scale));
    const double height = std::max(1.0, std::floor(pageH * scale));
    const std::string image =
        "a " + std::to_string(long(width)) + "x" + std::to_string(long(height)) + " image";
    if (width * height > PDFKitBridge::kMaxPixels) {
        throw Error("ombrix", kExitFailure,
                    image + " is larger than the " +
                        std::to_string(long(PDFKitBridge::kMaxPixels / 1e6)) +
                        " million pixels one page may be drawn at; ask for a smaller --size");
    }
    const double bytes = width * height * 4;
    if (const std::size_t limit = pdfkit::memoryLimit(); limit != 0 && bytes > double(limit)) {
        throw Error("ombrix", kExitFailure,
                    image + " needs " + std::to_string(long(std::ceil(bytes / (1 << 20)))) +
                        " MB, more than the " + std::to_string(limit >> 20) +
                        " MB allowed (OMBRIX_MEMORY_LIMIT_MB); ask for a smaller --size");
    }
}

int runRender(const std::vector<std::string>& args, Io& io) {
    return runWithUsage(kName, kSynopsis, io, [&] {
        auto arguments = parseArguments(args, {"--page", "--size", "-o", "--output", "--password"});
        auto file = singleFile(arguments);
        auto page = arguments.value("--page");
        if (!page) {
            throw UsageError("missing --page");
        }
        auto shortOut = arguments.value("-o"), longOut = arguments.value("--output");
        if (shortOut && longOut) {
            throw UsageError("-o and --output both given");
        }
        if (!shortOut && !longOut) {
            throw UsageError("missing -o OUT.png");
        }
        std::filesystem::path out = shortOut ? *shortOut : *longOut;
        Size size = kDefaultSize;
        if (auto text = arguments.value("--size")) {
            size = parseSize(*text);
        }
        parsePageNumber(*page);

        auto bridge = std::make_shared<PDFKitBridge>(arguments.value("--password"));
        PDFRenderService renderer(bridge);
        auto document = bridge->open(file);
        int index = checkedPageIndex(*page, document->pageCount);
        checkImageFits(document->pageSizes.at(std::size_t(index)), size);
        // Reading the page's text runs its content as drawing it does, and says whether
        // all of it could be read.
        auto engine = PDFKitBridge::engineDocument(*document);
        auto enginePage = engine ? engine->page(index) : nullptr;
        const bool damaged = enginePage && enginePage->contentDamaged();
        const std::string damagedText =
            "page " + std::to_string(index + 1) + ": part of the page's content could not be read";
        Image image;
        try {
            image = renderer.renderPage(*document, index, size);
        } catch (const std::exception&) {
            if (!damaged) {
                throw;
            }
            throw Error("ombrix", kExitFailure, damagedText + "; nothing could be drawn");
        }
        auto png = pdfkit::encodePNG(image);
        if (!png) {
            throw Error("ombrix", kExitFailure, "could not encode the page as PNG");
        }
        writeFileAtomically(out, *png);
        io.out << out.string() << ": " << image.width() << "x" << image.height() << "\n";
        if (damaged) {
            io.err << "ombrix " << kName << ": " << damagedText
                   << "; the image shows what could be drawn\n";
            return kExitDamagedPage;
        }
        return kExitOk;
    });
}

const CommandRegistration registration{Command{
    kName,
    kSynopsis,
    "Render one page (pages count from 1) fitted into WxH pixels (default 1600x1600) as PNG",
    runRender,
}};

} // namespace

} // namespace ombrix::cli
