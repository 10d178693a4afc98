// Peak memory and time of a whole-document search, next to `mutool draw -F txt` reading
// the same file, and the cost of the page geometry the view lays out at open.
//
//   ombrix_search_memory_bench [FILE] [--word WORD] [--pages N]
//   (without FILE: a generated N-page text PDF, 2415 pages unless told)

#include "BenchSupport.h"
#include "pdfkit/Document.h"
#include "support/Fixtures.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace ombrix;

namespace {

struct Usage {
    double ms = -1;
    long peakKiB = -1;
};

// Wall time and peak resident memory of a child that succeeded; -1 each otherwise.
Usage measure(const std::vector<std::string>& argv) {
    const bench::ProcessUsage run = bench::measureProcess(argv);
    if (run.exitStatus != 0) {
        return {};
    }
    return Usage{run.ms, run.peakKiB};
}

// The search as the reader's search runs it, in a process of its own.
int searchChild(const std::string& file, const std::string& word) {
    auto doc = pdfkit::Document::open(file);
    if (!doc) {
        return 1;
    }
    std::printf("%zu\n", doc->find(word, true).size());
    return 0;
}

void row(const char* what, const Usage& ours, const Usage& ref) {
    std::printf("%-34s %9.0f ms %8.1f MB   mutool draw -F txt %9.0f ms %8.1f MB   "
                "time x%.2f  memory x%.2f\n",
                what, ours.ms, ours.peakKiB / 1024.0, ref.ms, ref.peakKiB / 1024.0,
                ours.ms / ref.ms, double(ours.peakKiB) / double(ref.peakKiB));
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 3 && args[0] == "--search-child") {
        return searchChild(args[1], args[2]);
    }
    std::string file;
    std::string word = "alpha";
    int pages = 2415;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--word" && i + 1 < args.size()) {
            word = args[++i];
        } else if (args[i] == "--pages" && i + 1 < args.size()) {
            pages = std::max(1, std::stoi(args[++i]));
        } else {
            file = args[i];
        }
    }
    if (file.empty()) {
        file = (std::filesystem::temp_directory_path() /
                ("ombrix-bench-" + std::to_string(pages) + ".pdf"))
                   .string();
        if (!std::filesystem::exists(file)) {
            testing::writePdf(testing::textDocument(pages), file);
        }
    }

    auto doc = pdfkit::Document::open(file);
    if (!doc) {
        std::cerr << "cannot open " << file << "\n";
        return 1;
    }
    std::printf("%s: %d pages\n\n", file.c_str(), doc->pageCount());

    // Page geometry as the view asks for it at open: the first pass reads every page's
    // boxes, later ones are cached.
    double firstSizes = 0;
    {
        auto fresh = pdfkit::Document::open(file);
        const auto t0 = std::chrono::steady_clock::now();
        fresh->displaySizes();
        firstSizes =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
                .count();
    }
    const double cachedSizes = bench::timeRuns(5, [&] { doc->displaySizes(); });
    std::printf("displaySizes(), first call          %9.2f ms\n", firstSizes);
    std::printf("displaySizes(), cached              %9.2f ms\n\n", cachedSizes);

    const Usage ours = measure({"/proc/self/exe", "--search-child", file, word});
    const Usage mutool = measure({"mutool", "draw", "-q", "-F", "txt", "-o", "/dev/null", file});
    row(("open + search \"" + word + "\"").c_str(), ours, mutool);
    std::printf("\nBoth as whole processes: wall time and peak resident memory (ru_maxrss).\n");
    return 0;
}
