// Times the engine's hot paths on one PDF and the same work by reference tools, and
// prints each figure with its ratio to the reference.
//
//   ombrix_bench FILE [--word WORD] [--runs N]
//   ombrix_bench --make-sample PAGES OUT.pdf

#include "BenchSupport.h"
#include "pdfkit/Document.h"
#include "pdfkit/PageRenderer.h"
#include "support/Fixtures.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace ombrix;
using namespace ombrix::bench;

namespace {

double timeCommand(int runs, const std::vector<std::string>& argv) {
    bool ok = true;
    double t = timeRuns(runs, [&] { ok = runQuiet(argv) && ok; });
    return ok ? t : -1;
}

void row(const std::string& what, double ours, const std::string& refName, double ref) {
    std::printf("%-44s %10.1f ms", what.c_str(), ours);
    if (ref > 0) {
        std::printf("   %-26s %10.1f ms   ratio %5.2f\n", refName.c_str(), ref, ours / ref);
    } else {
        std::printf("   %-26s %13s\n", refName.c_str(), "unavailable");
    }
}

std::shared_ptr<pdfkit::Document> openOrDie(const std::string& path) {
    auto doc = pdfkit::Document::open(path);
    if (!doc || doc->pageCount() < 1) {
        std::cerr << "ombrix_bench: cannot open " << path << "\n";
        std::exit(1);
    }
    return doc;
}

Image renderFitted(pdfkit::Document& doc, int index, double w, double h) {
    auto page = doc.page(index);
    Rect box = page->mediaBox();
    double s = std::min(w / box.width, h / box.height);
    return doc.renderer().render(index, std::max(1, int(box.width * s)),
                                 std::max(1, int(box.height * s)), s);
}

int makeSample(int pages, const std::string& out) {
    auto doc = testing::textDocument(pages);
    testing::writePdf(doc, out);
    std::cout << out << "\n";
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 3 && args[0] == "--make-sample") {
        return makeSample(std::stoi(args[1]), args[2]);
    }
    if (args.empty() || args[0] == "--help") {
        std::cerr << "usage: ombrix_bench FILE [--word WORD] [--runs N]\n"
                     "       ombrix_bench --make-sample PAGES OUT.pdf\n";
        return 2;
    }
    std::string file = args[0];
    std::string word = "the";
    int runs = 5;
    for (std::size_t i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == "--word") {
            word = args[i + 1];
        } else if (args[i] == "--runs") {
            runs = std::max(1, std::stoi(args[i + 1]));
        }
    }

    const double dpi150 = 150.0 / 72.0;
    int pages = openOrDie(file)->pageCount();
    std::printf("%s: %d pages, median of %d runs\n\n", file.c_str(), pages, runs);

    double openFirst = timeRuns(runs, [&] {
        auto doc = openOrDie(file);
        renderFitted(*doc, 0, 1600, 1600);
    });
    row("open + first page at 1600x1600", openFirst, "mutool draw (page 1)",
        timeCommand(runs, {"mutool", "draw", "-q", "-w", "1600", "-h", "1600", "-F", "pam", "-o",
                           "/dev/null", file, "1"}));

    auto doc = openOrDie(file);
    double allPages = timeRuns(runs, [&] {
        for (int i = 0; i < pages; ++i) {
            auto page = doc->page(i);
            Rect box = page->mediaBox();
            doc->renderer().render(i, int(box.width * dpi150), int(box.height * dpi150), dpi150);
        }
    });
    // Without an output mutool draw does not rasterise; raw PAM into /dev/null is the
    // cheapest output that makes it.
    double mutoolAll = timeCommand(
        runs, {"mutool", "draw", "-q", "-r", "150", "-F", "pam", "-o", "/dev/null", file});
    row("every page at 150 dpi, one thread", allPages, "mutool draw -r 150 (pam)", mutoolAll);
    row("", allPages, "pdftoppm -r 150 (ppm files)",
        timeCommand(runs, {"pdftoppm", "-r", "150", file, "/tmp/ombrix-bench-ppm"}));
    std::system("rm -f /tmp/ombrix-bench-ppm*");

    unsigned threads = std::max(2u, std::thread::hardware_concurrency());
    double parallel = timeRuns(runs, [&] {
        std::vector<std::thread> pool;
        for (unsigned t = 0; t < threads; ++t) {
            pool.emplace_back([&, t] {
                for (int i = int(t); i < pages; i += int(threads)) {
                    Rect box = doc->page(i)->mediaBox();
                    doc->renderer().render(i, int(box.width * dpi150), int(box.height * dpi150),
                                           dpi150);
                }
            });
        }
        for (auto& th : pool) {
            th.join();
        }
    });
    row("every page at 150 dpi, " + std::to_string(threads) + " threads", parallel,
        "mutool draw -r 150 (pam)", mutoolAll);

    std::size_t hits = 0;
    double search = timeRuns(runs, [&] {
        auto fresh = openOrDie(file);
        hits = fresh->find(word, true).size();
    });
    row("open + search \"" + word + "\" (" + std::to_string(hits) + " hits)", search,
        "mutool draw -F txt",
        timeCommand(runs, {"mutool", "draw", "-q", "-F", "txt", "-o", "/dev/null", file}));
    std::printf("\nOurs is timed in-process; the references as whole commands, start-up "
                "included.\n");
    return 0;
}
