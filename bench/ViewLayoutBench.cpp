// Page layout of the desktop view on a long document: copying the page geometry out of the
// file when the view gets it, and laying the pages out in each mode, next to MuPDF's own
// command line reading every page's boxes.
//
//   ombrix_view_layout_bench [FILE]   (default: a generated 2415-page PDF)

#include "BenchSupport.h"
#include "pdfkit/Document.h"
#include "support/Fixtures.h"
#include "ui/view/PDFView.h"

#include <QApplication>
#include <cstdio>
#include <filesystem>
#include <string>

using namespace ombrix;

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::string file = argc > 1 ? argv[1] : "";
    if (file.empty()) {
        file = (std::filesystem::temp_directory_path() / "ombrix-sample-2415.pdf").string();
        if (!std::filesystem::exists(file)) {
            testing::writePdf(testing::textDocument(2415), file);
        }
    }
    const int runs = 9;
    std::printf("%s\n", file.c_str());

    // Each run opens the file afresh, so page geometry is read from it, not from a cache.
    double openMs = bench::timeRuns(runs, [&] { pdfkit::Document::open(file); });
    ui::PDFView view;
    view.resize(1920, 1080);
    double setMs = bench::timeRuns(runs,
                                   [&] {
                                       auto doc = pdfkit::Document::open(file);
                                       view.setDocument(doc);
                                   }) -
                   openMs;
    const double mutool = bench::timeRuns(runs, [&] {
        bench::runQuiet({"mutool", "pages", file});
    });
    std::printf("%-48s %9.3f ms   %-22s %9.1f ms\n", "open + copy geometry + layout (minus open)",
                setMs, "mutool pages", mutool);

    const int pages = view.document()->pageCount();
    std::vector<Size> sizes;
    for (int i = 0; i < pages; ++i) {
        sizes.push_back(view.pageGeometry(i).displaySize());
    }
    const char* names[] = {"singlePage", "singlePageContinuous", "twoUp", "twoUpContinuous"};
    for (int mode = 0; mode < 4; ++mode) {
        for (auto direction :
             {pdfkit::DisplayDirection::vertical, pdfkit::DisplayDirection::horizontal}) {
            ui::LayoutOptions options{static_cast<pdfkit::DisplayMode>(mode), direction, true,
                                      1.37};
            const double ms = bench::timeRuns(101, [&] { ui::PageLayout layout(sizes, options); });
            std::printf("layout of %d pages, %-22s %-10s %9.3f ms\n", pages, names[mode],
                        direction == pdfkit::DisplayDirection::vertical ? "vertical" : "horizontal",
                        ms);
        }
    }
    return 0;
}
