// The extractor on typeset tables (tests/data/tables) and the table command.

#include "HtmlTable.h"
#include "extraction/TableExtractor.h"
#include "pdfkit/Document.h"
#include "pdfkit/Page.h"
#include "support/Shell.h"
#include "support/TableCorpus.h"

#include <array>
#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <sstream>
#include <sys/wait.h>

using namespace ombrix;
using namespace ombrix::testing;

namespace {

const std::filesystem::path kTables =
    std::filesystem::path(OMBRIX_SOURCE_DIR) / "tests/data/tables";

// floors.tsv: per table the fewest exact cells accepted, and "shape" where the row and
// column counts must be right.
struct Floor {
    int cells = 0;
    bool shape = false;
};

std::map<std::string, Floor> floors() {
    std::map<std::string, Floor> out;
    std::ifstream in(kTables / "floors.tsv");
    std::string name, shape;
    int cells = 0;
    while (in >> name >> cells >> shape) {
        out[name] = Floor{cells, shape == "shape"};
    }
    return out;
}

} // namespace

// Every table of the corpus, typeset by pdflatex, xelatex, lualatex, LibreOffice, groff
// and Chromium, and one scan: no table may fall below its floor.
TEST(TypesetTables, EveryTableKeepsItsCells) {
    const auto corpus = loadCorpus(kTables);
    const auto floor = floors();
    ASSERT_GE(corpus.size(), 40u);
    TableExtractor extractor;
    int cells = 0, correct = 0;
    for (const auto& table : corpus) {
        SCOPED_TRACE(table.name);
        auto document = pdfkit::Document::open(table.pdf);
        ASSERT_TRUE(document);
        auto& page = *document->page(0);
        std::vector<Rect> boxes;
        for (const auto& w : page.words()) {
            boxes.push_back(w.bounds);
        }
        const auto score = scoreTable(
            table, extractor.extractGrid(page, corpusRegion(table, boxes, page.mediaBox())));
        cells += score.cells;
        correct += score.correct;
        ASSERT_TRUE(floor.contains(table.name)) << "no floor for " << table.name;
        const Floor& f = floor.at(table.name);
        std::string misses;
        for (const auto& m : score.misses) {
            misses += "\n  " + m;
        }
        EXPECT_GE(score.correct, f.cells) << misses;
        if (f.shape) {
            EXPECT_TRUE(score.rowsRight && score.columnsRight) << misses;
        }
    }
    std::printf("%d of %d cells exact\n", correct, cells);
}

// Symbols come through as the page spells them, from pdflatex's math fonts and from
// xelatex's DejaVu alike; recognition would read "1·2" as "1-2" and "⇒" as "><".
TEST(TypesetTables, SymbolsComeFromTheTextLayer) {
    for (const std::string name : {"tex-symbols", "xe-symbols", "chrome-symbols"}) {
        SCOPED_TRACE(name);
        auto document = pdfkit::Document::open(kTables / (name + ".pdf"));
        ASSERT_TRUE(document);
        auto& page = *document->page(0);
        std::vector<Rect> boxes;
        for (const auto& w : page.words()) {
            boxes.push_back(w.bounds);
        }
        const auto corpus = loadCorpus(kTables);
        const auto table = std::find_if(corpus.begin(), corpus.end(),
                                        [&](const CorpusTable& t) { return t.name == name; });
        ASSERT_NE(table, corpus.end());
        const auto grid =
            TableExtractor().extractGrid(page, corpusRegion(*table, boxes, page.mediaBox()));
        ASSERT_TRUE(grid);
        ASSERT_EQ(grid->rows.size(), 5u);
        auto text = [&](std::size_t r, std::size_t c) {
            return normaliseSpace(table::cellText(grid->rows[r].cells.at(c)));
        };
        EXPECT_EQ(text(1, 3), "1·2");
        EXPECT_EQ(text(2, 1), "p ⇒ q");
        EXPECT_EQ(text(1, 1), "2 × 3");
        EXPECT_EQ(text(3, 1), "α");
        EXPECT_EQ(text(3, 3), "−1·5");
    }
}

// The scan has no text layer: its words can only come from recognition.
TEST(TypesetTables, TheScanGoesThroughRecognition) {
    auto document = pdfkit::Document::open(kTables / "scan-booktabs.pdf");
    ASSERT_TRUE(document);
    auto& page = *document->page(0);
    EXPECT_TRUE(page.words().empty());
    const auto grid = TableExtractor().extractGrid(page, page.mediaBox().insetBy(2, 2));
    ASSERT_TRUE(grid);
    EXPECT_EQ(grid->columns, 5);
    EXPECT_EQ(table::cellText(grid->rows.at(1).cells.at(0)), "A-100");
}

TEST(TableCommand, PrintsTheTableOrReportsThatThereIsNone) {
    auto run = [](const std::string& args) {
        return runShell(shellQuoted(OMBRIX_CLI_PATH) + " table " + args);
    };
    const std::string file = shellQuoted((kTables / "booktabs.pdf").string());
    auto found = run(file + " --page 1 --rect 20,20,320,180");
    EXPECT_EQ(found.status, 0) << found.err;
    EXPECT_NE(found.out.find(
                  "<td style=\"border:1px solid #ddd;padding:8px;\"><span style=\"font-family: "
                  "'CMR10', sans-serif;\">Barley</span></td>"),
              std::string::npos)
        << found.out;

    // The same table as CSV and as Markdown.
    auto csv = run(file + " --page 1 --rect 20,20,320,180 --format csv");
    EXPECT_EQ(csv.status, 0) << csv.err;
    EXPECT_NE(
        csv.out.find("Harvest Yields,,,\r\nCrop,Acres,Tonnes,Price\r\nWheat,120,45.5,212.40\r\n"),
        std::string::npos)
        << csv.out;
    auto markdown = run(file + " --page 1 --rect 20,20,320,180 --format markdown");
    EXPECT_EQ(markdown.status, 0) << markdown.err;
    EXPECT_NE(markdown.out.find("| **Harvest Yields** | | | |\n| --- | --- | --- | --- |\n"
                                "| **Crop** | **Acres** | **Tonnes** | **Price** |\n"
                                "| Wheat | 120 | 45.5 | 212.40 |\n"),
              std::string::npos)
        << markdown.out;
    EXPECT_EQ(run(file + " --page 1 --rect 20,20,320,180 --format xml").status, 2);

    auto none = run(file + " --page 1 --rect 2,2,20,10");
    EXPECT_EQ(none.status, 3);
    EXPECT_TRUE(none.out.empty());
    EXPECT_EQ(none.err, "No Table Found: Could not detect a table structure in this area.\n");

    EXPECT_EQ(run(file + " --page 1 --rect 1,2,3").status, 2);
    EXPECT_EQ(run(file + " --page 1").status, 2);
    EXPECT_EQ(run(file + " --page 2 --rect 1,2,3,4").status, 1);
}
