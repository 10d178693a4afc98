// A generated document of 100,000 pages through our command-line tool and reference tools,
// side by side in one run: a whole-document search against pdftotext reading every page, and
// a one-page edit (a highlight saved to a copy) against qpdf rotating one page into a copy.
//
//   ombrix_huge_bench [--pages N] [--runs N] [--ombrix PATH] [--keep FILE]
//   (defaults: 100,000 pages, 1 run, the ombrix built with this program; --keep writes the
//   document to FILE and leaves it there)

#include "BenchSupport.h"
#include "support/ManyPages.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using ombrix::bench::measureProcess;
using ombrix::bench::ProcessUsage;

namespace {

ProcessUsage best(int runs, const std::vector<std::string>& argv) {
    ProcessUsage fastest;
    for (int i = 0; i < runs; ++i) {
        ProcessUsage run = measureProcess(argv);
        if (fastest.ms < 0 || (run.exitStatus == 0 && run.ms < fastest.ms)) {
            fastest = run;
        }
    }
    return fastest;
}

void report(const char* tool, const char* task, const ProcessUsage& run) {
    std::string ending = run.exitStatus < 0 ? "killed" : "exit " + std::to_string(run.exitStatus);
    std::printf("%-9s %-10s %9.0f ms %9.1f MB  %s\n", tool, task, run.ms,
                double(run.peakKiB) / 1024, ending.c_str());
}

void ratio(const char* what, const ProcessUsage& ours, const ProcessUsage& theirs) {
    if (ours.ms > 0 && theirs.ms > 0 && theirs.exitStatus == 0) {
        std::printf("  %s: ombrix / reference = %.2f\n", what, ours.ms / theirs.ms);
    }
}

bool have(const char* tool) {
    return ombrix::bench::runQuiet({"sh", "-c", std::string("command -v ") + tool});
}

} // namespace

int main(int argc, char** argv) {
    int pages = 100000;
    int runs = 1;
    fs::path ombrix = OMBRIX_CLI_PATH;
    fs::path keep;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--pages") {
            pages = std::atoi(argv[i + 1]);
        } else if (option == "--runs") {
            runs = std::max(1, std::atoi(argv[i + 1]));
        } else if (option == "--ombrix") {
            ombrix = argv[i + 1];
        } else if (option == "--keep") {
            keep = argv[i + 1];
        } else {
            std::fprintf(stderr, "unknown option %s\n", option.c_str());
            return 2;
        }
    }
    const fs::path dir = fs::temp_directory_path() / ("ombrix-huge-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const fs::path file = keep.empty() ? dir / "huge.pdf" : keep;
    const int target = pages * 3 / 4; // the page searched for and edited
    ombrix::testing::ManyPages document{pages, {target}};
    const auto t0 = std::chrono::steady_clock::now();
    document.write(file);
    std::printf(
        "%d pages, %.1f MB, written in %.0f ms; the edit and the search target page %d\n\n", pages,
        double(fs::file_size(file)) / (1 << 20),
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count(),
        target + 1);
    std::printf("%-9s %-10s %12s %12s  %s\n", "tool", "task", "time", "peak RSS", "ending");

    const std::string path = file.string();
    const std::string copy = (dir / "copy.pdf").string();
    const std::string page = std::to_string(target + 1);

    ProcessUsage search = best(
        runs, {ombrix.string(), "search", path, ombrix::testing::ManyPages::markerText(target)});
    report("ombrix", "search", search);
    ProcessUsage text;
    if (have("pdftotext")) {
        text = best(runs, {"pdftotext", path, "/dev/null"});
        report("pdftotext", "all pages", text);
    }
    ratio("search vs pdftotext", search, text);

    ProcessUsage highlight = best(runs, {ombrix.string(), "highlight", path, "--page", page,
                                         "--rect", "72,715,120,20", "-o", copy});
    report("ombrix", "highlight", highlight);
    ProcessUsage rotate =
        best(runs, {ombrix.string(), "rotate", copy, "--page", page, "--degrees", "90"});
    report("ombrix", "rotate", rotate);
    ProcessUsage qpdf;
    if (have("qpdf")) {
        qpdf = best(runs, {"qpdf", path, "--rotate=+90:" + page, (dir / "qpdf.pdf").string()});
        report("qpdf", "rotate", qpdf);
    }
    ratio("highlight vs qpdf --rotate", highlight, qpdf);
    ratio("rotate vs qpdf --rotate", rotate, qpdf);

    fs::remove_all(dir); // the kept document lives outside it
    return 0;
}
