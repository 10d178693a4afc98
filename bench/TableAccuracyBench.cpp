// Cell accuracy of the table extractor on the typeset corpus (tests/data/tables): per table
// the cells whose text is exact, whether the row and column counts are right, and the time
// of one extraction; then the totals, and for tables without a text layer the time against
// one pass of the tesseract command line on the same 4× image.
//
//   ombrix_table_accuracy [FOLDER] [--runs N] [--verbose]

#include "BenchSupport.h"
#include "extraction/TableExtractor.h"
#include "pdfkit/Document.h"
#include "pdfkit/ImageCodec.h"
#include "pdfkit/Page.h"
#include "support/TableCorpus.h"
#include "support/TempDir.h"

#include <cstdio>
#include <fstream>
#include <string>

using namespace ombrix;
using namespace ombrix::bench;
using namespace ombrix::testing;

int main(int argc, char** argv) {
    std::filesystem::path folder = OMBRIX_TABLES_DIR;
    int runs = 5;
    bool verbose = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--runs" && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--verbose") {
            verbose = true;
        } else {
            folder = arg;
        }
    }
    const auto corpus = loadCorpus(folder);
    if (corpus.empty()) {
        std::fprintf(stderr, "no tables in %s\n", folder.c_str());
        return 1;
    }
    TableExtractor extractor;
    TempDir dir;
    const auto tessdata = findTessdata();
    int cells = 0, correct = 0, shapes = 0;
    std::vector<double> textTimes, coldTimes;
    std::printf("%-22s %6s %6s %8s %5s %5s %9s %9s\n", "table", "cells", "exact", "accuracy",
                "rows", "cols", "ms", "first ms");
    for (const auto& table : corpus) {
        auto document = pdfkit::Document::open(table.pdf);
        auto page = document ? document->page(0) : nullptr;
        if (!page) {
            std::printf("%-22s cannot open\n", table.name.c_str());
            continue;
        }
        std::vector<Rect> boxes;
        for (const auto& w : page->words()) {
            boxes.push_back(w.bounds);
        }
        const Rect region = corpusRegion(table, boxes, page->mediaBox());
        std::optional<TableGrid> grid;
        // The first extraction reads the page's text and drawing; later ones reuse the text.
        const double cold = timeRuns(1, [&] { grid = extractor.extractGrid(*page, region); });
        const double ms = timeRuns(boxes.empty() ? 1 : runs,
                                   [&] { grid = extractor.extractGrid(*page, region); });
        const auto score = scoreTable(table, grid);
        cells += score.cells;
        correct += score.correct;
        shapes += score.rowsRight && score.columnsRight;
        std::printf("%-22s %6d %6d %7.1f%% %5s %5s %9.1f %9.1f\n", table.name.c_str(), score.cells,
                    score.correct, 100 * score.accuracy(), score.rowsRight ? "ok" : "WRONG",
                    score.columnsRight ? "ok" : "WRONG", ms, cold);
        if (verbose) {
            for (const auto& miss : score.misses) {
                std::printf("    %s\n", miss.c_str());
            }
        }
        if (!boxes.empty()) {
            textTimes.push_back(ms);
            coldTimes.push_back(cold);
            continue;
        }
        // No text layer: against the command line on the image the extractor recognises.
        const auto png = pdfkit::encodePNG(page->drawRegion(region, 4, false));
        const auto path = dir / (table.name + ".png");
        std::ofstream(path, std::ios::binary) << png.value_or("");
        const double cli = timeTesseract(path.string(), tessdata ? tessdata->string() : "", 3);
        if (cli > 0) {
            std::printf("    recognised: %.1f ms against %.1f ms for the tesseract command line "
                        "(ratio %.2f)\n",
                        ms, cli, ms / cli);
        }
    }
    std::printf("\n%zu tables, %d of %d cells exact: %.1f%%; row and column counts right on %d\n",
                corpus.size(), correct, cells, cells ? 100.0 * correct / cells : 0.0, shapes);
    if (!textTimes.empty()) {
        std::printf("text-layer tables: median %.1f ms, slowest %.1f ms per extraction; first "
                    "extraction on a page: median %.1f ms, slowest %.1f ms\n",
                    median(textTimes), *std::max_element(textTimes.begin(), textTimes.end()),
                    median(coldTimes), *std::max_element(coldTimes.begin(), coldTimes.end()));
    }
    return 0;
}
