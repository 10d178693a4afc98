// Times one table extraction against one run of the tesseract command line on the same
// 4× image of the region, and prints the ratio.
//
//   ombrix_table_bench [FILE --page N --rect X,Y,W,H] [--runs N]
//
// Without a file it writes the fixture table document and takes the region around its text.
// The command line runs single-threaded (OMP_THREAD_LIMIT=1), as the extractor's engine does,
// and with the same model, engine and dictionaries off.

#include "BenchSupport.h"
#include "extraction/TableExtractor.h"
#include "pdfkit/Document.h"
#include "pdfkit/ImageCodec.h"
#include "pdfkit/Page.h"
#include "support/Fixtures.h"
#include "support/TempDir.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace ombrix;
using namespace ombrix::bench;

namespace {

int usage() {
    std::fprintf(stderr, "usage: ombrix_table_bench [FILE --page N --rect X,Y,W,H] [--runs N]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    std::string file;
    int pageNumber = 1;
    int runs = 3;
    std::optional<Rect> region;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if ((arg == "--page" || arg == "--runs" || arg == "--rect") && i + 1 < argc) {
            const std::string value = argv[++i];
            if (arg == "--page") {
                pageNumber = std::atoi(value.c_str());
            } else if (arg == "--runs") {
                runs = std::max(1, std::atoi(value.c_str()));
            } else {
                Rect r;
                if (std::sscanf(value.c_str(), "%lf,%lf,%lf,%lf", &r.x, &r.y, &r.width,
                                &r.height) != 4) {
                    return usage();
                }
                region = r;
            }
        } else if (arg.starts_with("-")) {
            return usage();
        } else {
            file = arg;
        }
    }

    testing::TempDir dir;
    if (file.empty()) {
        file = testing::writePdf(testing::tableDocument(), dir / "table.pdf").string();
    }
    auto document = pdfkit::Document::open(file);
    auto page = document ? document->page(pageNumber - 1) : nullptr;
    if (!page) {
        std::fprintf(stderr, "cannot open page %d of %s\n", pageNumber, file.c_str());
        return 1;
    }
    if (!region) {
        const auto words = page->words();
        if (words.empty()) {
            std::fprintf(stderr, "the page has no text; give --rect\n");
            return 1;
        }
        Rect r = words.front().bounds;
        for (const auto& w : words) {
            r = r.united(w.bounds);
        }
        region = r.insetBy(-8, -8);
    }

    TableExtractor extractor;
    std::string html;
    const double first = timeRuns(1, [&] { html = extractor.extractTable(*page, *region); });
    const double ours = timeRuns(runs, [&] { html = extractor.extractTable(*page, *region); });

    const Image image = page->drawRegion(*region, 4, false);
    const auto png = pdfkit::encodePNG(image);
    if (!png) {
        std::fprintf(stderr, "could not encode the region\n");
        return 1;
    }
    const auto pngPath = dir / "region.png";
    std::ofstream(pngPath, std::ios::binary) << *png;
    const auto tessdata = findTessdata();
    const double cli = timeTesseract(pngPath.string(), tessdata ? tessdata->string() : "", runs);
    const bool ok = cli >= 0;

    std::printf("region %.0f x %.0f pt, image %d x %d px, %d data rows\n", region->width,
                region->height, image.width(), image.height(), table::dataRowCount(html));
    std::printf("first extraction (loads the model)   %9.1f ms\n", first);
    std::printf("table extraction, median of %d        %9.1f ms\n", runs, ours);
    if (!ok) {
        std::printf("tesseract command line                  not available\n");
        return 0;
    }
    std::printf("tesseract command line, median of %d  %9.1f ms\n", runs, cli);
    std::printf("ratio extraction / command line       %9.2f\n", cli > 0 ? ours / cli : 0.0);
    return 0;
}
