// Accuracy and time of reading formulas back from their glyphs, on the typeset corpus of
// tests/data/formulas (one formula per page, seven engines and math fonts).
//
// Per formula, per construct and overall:
//  - exact: our LaTeX equals the source's after normaliseLatex (spacing commands,
//    \left/\right and the \big family, redundant braces, the order of _ and ^, aliases);
//  - rendered: our LaTeX and the source's, each compiled with pdflatex (amsmath, amssymb,
//    mathtools) and rasterised at 4 pixels per point, trimmed to their ink, are the same
//    size within 2 pixels and no 9 × 9 window differs in more than 4 pixels. A prediction
//    that does not compile, or none at all, counts as wrong.
//  - time: one region read from its page, no server involved.
// LibreOffice's corpus has formulas of its own (libreoffice.tsv).
//
//   ombrix_formula_accuracy [--verbose] [--only CORPUS] [--keep DIR]

#include "BenchSupport.h"
#include "extraction/FormulaRecognizer.h"
#include "pdfkit/Document.h"
#include "pdfkit/Page.h"
#include "support/FormulaCorpus.h"
#include "support/TempDir.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

using namespace ombrix;
using namespace ombrix::testing;

namespace {

constexpr double kScale = 4; // pixels per point

struct Case {
    std::string corpus;
    const CorpusFormula* formula;
    std::optional<std::string> predicted;
    double ms = 0;
    bool exact = false;
    bool rendered = false;
};

// Binary ink of a page, trimmed to its bounding box.
struct Ink {
    int width = 0, height = 0;
    std::vector<std::uint8_t> bits;
    bool at(int x, int y) const {
        return x >= 0 && y >= 0 && x < width && y < height && bits[y * width + x];
    }
};

Ink inkOf(const pdfkit::Page& page) {
    const Rect box = page.mediaBox();
    const int w = int(box.width * kScale), h = int(box.height * kScale);
    Image image = page.draw(w, h, kScale, false);
    Ink ink;
    if (image.isNull()) {
        return ink;
    }
    int x0 = w, y0 = h, x1 = -1, y1 = -1;
    auto dark = [&](int x, int y) {
        const std::uint8_t* p = image.data() + (std::size_t(y) * w + x) * 4;
        return (p[0] + p[1] + p[2]) / 3 < 128;
    };
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            if (dark(x, y)) {
                x0 = std::min(x0, x), y0 = std::min(y0, y);
                x1 = std::max(x1, x), y1 = std::max(y1, y);
            }
        }
    }
    if (x1 < 0) {
        return ink;
    }
    ink.width = x1 - x0 + 1;
    ink.height = y1 - y0 + 1;
    ink.bits.resize(std::size_t(ink.width) * ink.height);
    for (int y = 0; y < ink.height; ++y) {
        for (int x = 0; x < ink.width; ++x) {
            ink.bits[y * ink.width + x] = dark(x0 + x, y0 + y);
        }
    }
    return ink;
}

bool sameRendering(const Ink& a, const Ink& b) {
    if (a.width == 0 || b.width == 0 || std::abs(a.width - b.width) > 2 ||
        std::abs(a.height - b.height) > 2) {
        return false;
    }
    const int w = std::max(a.width, b.width), h = std::max(a.height, b.height);
    std::vector<int> diff(std::size_t(w) * h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            diff[y * w + x] = a.at(x, y) != b.at(x, y);
        }
    }
    // Summed-area table: each window's count in four lookups.
    std::vector<int> sum(std::size_t(w + 1) * (h + 1));
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            sum[(y + 1) * (w + 1) + x + 1] = diff[y * w + x] + sum[y * (w + 1) + x + 1] +
                                             sum[(y + 1) * (w + 1) + x] - sum[y * (w + 1) + x];
        }
    }
    for (int y = 0; y + 9 <= h || y == 0; ++y) {
        for (int x = 0; x + 9 <= w || x == 0; ++x) {
            const int x1 = std::min(x + 9, w), y1 = std::min(y + 9, h);
            const int n = sum[y1 * (w + 1) + x1] - sum[y * (w + 1) + x1] - sum[y1 * (w + 1) + x] +
                          sum[y * (w + 1) + x];
            if (n > 4) {
                return false;
            }
            if (x + 9 > w) {
                break;
            }
        }
        if (y + 9 > h) {
            break;
        }
    }
    return true;
}

// Compiles one formula per page; the pages of formulas that did not compile are left out of
// the answer.
std::vector<std::optional<Ink>> typeset(const std::vector<std::string>& formulas,
                                        const std::filesystem::path& dir, const std::string& name) {
    std::vector<std::optional<Ink>> out(formulas.size());
    const auto tex = dir / (name + ".tex");
    {
        std::ofstream f(tex);
        f << "\\documentclass{article}\n\\usepackage{amsmath,amssymb,mathtools}\n"
             "\\usepackage[paperwidth=8in,paperheight=3in,margin=0.3in]{geometry}\n"
             "\\pagestyle{empty}\n\\begin{document}\n";
        for (const auto& formula : formulas) {
            // Each formula on one line of its own, so an error's line names it.
            std::string line = formula;
            std::replace(line.begin(), line.end(), '\n', ' ');
            f << "\\[" << line << "\\]\\newpage\n";
        }
        f << "\\end{document}\n";
    }
    const std::string cmd = "cd '" + dir.string() + "' && pdflatex -interaction=nonstopmode '" +
                            name + ".tex' >/dev/null 2>&1";
    [[maybe_unused]] int rc = std::system(cmd.c_str());
    std::set<int> failed;
    std::ifstream log(dir / (name + ".log"));
    std::string line;
    bool inError = false;
    while (std::getline(log, line)) {
        if (line.rfind("! ", 0) == 0) {
            inError = true;
        } else if (inError && line.rfind("l.", 0) == 0) {
            failed.insert(std::atoi(line.c_str() + 2) - 6); // the preamble's five lines
            inError = false;
        }
    }
    auto doc = pdfkit::Document::open(dir / (name + ".pdf"));
    if (!doc || doc->pageCount() != int(formulas.size())) {
        // One formula stopped TeX altogether: compile each alone to tell which.
        if (formulas.size() > 1) {
            for (std::size_t i = 0; i < formulas.size(); ++i) {
                out[i] = typeset({formulas[i]}, dir, name + "-" + std::to_string(i))[0];
            }
        }
        return out;
    }
    for (std::size_t i = 0; i < formulas.size(); ++i) {
        if (failed.count(int(i)) || formulas[i].empty()) {
            continue;
        }
        out[i] = inkOf(*doc->page(int(i)));
    }
    return out;
}

} // namespace

int main(int argc, char** argv) {
    bool verbose = false;
    std::string only, keep;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--verbose") {
            verbose = true;
        } else if (arg == "--only" && i + 1 < argc) {
            only = argv[++i];
        } else if (arg == "--keep" && i + 1 < argc) {
            keep = argv[++i];
        }
    }
    std::map<std::string, std::vector<CorpusFormula>> lists;
    std::vector<Case> cases;
    std::vector<double> times;
    for (const auto& corpus : formulaCorpora()) {
        if (!only.empty() && corpus != only) {
            continue;
        }
        const auto& formulas = lists[corpus] = corpusFormulas(corpus);
        auto doc = pdfkit::Document::open(formulaCorpusDir() / (corpus + ".pdf"));
        if (!doc) {
            std::fprintf(stderr, "cannot open %s.pdf\n", corpus.c_str());
            return 1;
        }
        for (std::size_t i = 0; i < formulas.size() && int(i) < doc->pageCount(); ++i) {
            auto page = doc->page(int(i));
            Case c{corpus, &formulas[i], std::nullopt};
            const auto start = std::chrono::steady_clock::now();
            auto result = FormulaRecognizer::recognize(*page, page->mediaBox());
            c.ms =
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                    .count();
            times.push_back(c.ms);
            if (result) {
                c.predicted = result->latex;
                c.exact = normaliseLatex(result->latex) == normaliseLatex(formulas[i].latex);
            }
            cases.push_back(std::move(c));
        }
    }

    TempDir temp;
    // --keep DIR leaves the compiled pages there, to look at.
    const std::filesystem::path dir = keep.empty() ? temp.path() : std::filesystem::path(keep);
    std::filesystem::create_directories(dir);
    std::vector<std::string> truths, predictions;
    for (const auto& c : cases) {
        truths.push_back(c.formula->latex);
        predictions.push_back(c.predicted.value_or(""));
    }
    const auto truthInk = typeset(truths, dir, "truth");
    const auto predictedInk = typeset(predictions, dir, "predicted");
    for (std::size_t i = 0; i < cases.size(); ++i) {
        cases[i].rendered =
            truthInk[i] && predictedInk[i] && sameRendering(*truthInk[i], *predictedInk[i]);
    }

    std::map<std::string, std::pair<int, int>> exactBy, renderedBy; // construct: hits, total
    std::map<std::string, std::pair<int, int>> byCorpus;
    int exact = 0, rendered = 0;
    std::printf("%-16s %-4s %-5s %-8s %7s  %s\n", "corpus", "id", "exact", "rendered", "ms",
                "LaTeX read from the page");
    for (const auto& c : cases) {
        exact += c.exact;
        rendered += c.rendered;
        for (const auto& k : c.formula->constructs) {
            exactBy[k].first += c.exact;
            exactBy[k].second += 1;
            renderedBy[k].first += c.rendered;
            renderedBy[k].second += 1;
        }
        byCorpus[c.corpus].first += c.rendered;
        byCorpus[c.corpus].second += 1;
        if (verbose || !c.rendered) {
            std::printf("%-16s %-4s %-5s %-8s %7.2f  %s\n", c.corpus.c_str(), c.formula->id.c_str(),
                        c.exact ? "yes" : "no", c.rendered ? "yes" : "no", c.ms,
                        c.predicted.value_or("(none)").c_str());
            if (!c.rendered && verbose) {
                std::printf("%-16s %-4s %-5s %-8s %7s  %s\n", "", "", "", "", "truth",
                            c.formula->latex.c_str());
            }
        }
    }
    std::printf("\n%-14s %8s %8s %6s\n", "construct", "exact", "rendered", "n");
    for (const auto& [k, v] : renderedBy) {
        std::printf("%-14s %7.1f%% %7.1f%% %6d\n", k.c_str(), 100.0 * exactBy[k].first / v.second,
                    100.0 * v.first / v.second, v.second);
    }
    std::printf("\n%-16s %8s %6s\n", "corpus", "rendered", "n");
    for (const auto& [k, v] : byCorpus) {
        std::printf("%-16s %7.1f%% %6d\n", k.c_str(), 100.0 * v.first / v.second, v.second);
    }
    std::sort(times.begin(), times.end());
    const double median = times.empty() ? 0 : times[times.size() / 2];
    const double worst = times.empty() ? 0 : times.back();
    std::printf("\noverall: exact %.1f%% (%d of %zu), rendered %.1f%% (%d of %zu)\n",
                100.0 * exact / cases.size(), exact, cases.size(), 100.0 * rendered / cases.size(),
                rendered, cases.size());
    std::printf("time per formula region: median %.2f ms, slowest %.2f ms\n", median, worst);
    return 0;
}
