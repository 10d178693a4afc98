// The extractor on tables typeset by pdflatex and LibreOffice Writer (tests/data/tables).

#include "HtmlTable.h"
#include "extraction/TableExtractor.h"
#include "pdfkit/Document.h"
#include "pdfkit/Page.h"
#include "support/Shell.h"

#include <array>
#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/wait.h>

using namespace ombrix;
using namespace ombrix::testing;

namespace {

const std::filesystem::path kTables =
    std::filesystem::path(OMBRIX_SOURCE_DIR) / "tests/data/tables";

std::vector<std::vector<std::string>> expectedCells(const std::string& name) {
    std::ifstream in(kTables / (name + ".expected.tsv"));
    std::vector<std::vector<std::string>> rows;
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> cells;
        std::stringstream fields(line);
        for (std::string cell; std::getline(fields, cell, '\t');) {
            cells.push_back(cell);
        }
        rows.push_back(std::move(cells));
    }
    return rows;
}

// The page's text with a margin: the table is alone on its page.
Rect tableRegion(const pdfkit::Page& page) {
    const auto words = page.words();
    Rect region = words.at(0).bounds;
    for (const auto& word : words) {
        region = region.united(word.bounds);
    }
    return region.insetBy(-8, -8);
}

struct Outcome {
    int cells = 0;
    int correct = 0;
};

class TypesetTable : public ::testing::TestWithParam<std::string> {};

} // namespace

TEST_P(TypesetTable, EveryCellMatchesTheSource) {
    const std::string name = GetParam();
    auto document = pdfkit::Document::open(kTables / (name + ".pdf"));
    ASSERT_TRUE(document);
    auto& page = *document->page(0);
    const auto expected = expectedCells(name);
    ASSERT_FALSE(expected.empty());

    const std::string html = TableExtractor().extractTable(page, tableRegion(page));
    const auto rows = parseTable(html);
    EXPECT_EQ(rows.size(), expected.size()) << html;

    Outcome outcome;
    const std::size_t columns = expected.back().size();
    for (std::size_t r = 0; r < expected.size(); ++r) {
        outcome.cells += int(expected[r].size());
        if (r >= rows.size()) {
            continue;
        }
        const auto& got = rows[r];
        if (expected[r].size() == 1) {
            // The title spans the table.
            ASSERT_EQ(got.size(), 1u) << "row " << r;
            EXPECT_EQ(got[0].colspan, int(columns));
        } else {
            EXPECT_EQ(got.size(), expected[r].size()) << "row " << r;
        }
        for (std::size_t c = 0; c < expected[r].size() && c < got.size(); ++c) {
            EXPECT_EQ(got[c].header, r < 2) << "row " << r << ", column " << c;
            if (got[c].text == expected[r][c]) {
                ++outcome.correct;
            } else {
                std::printf("%s: row %zu, column %zu reads '%s', not '%s'\n", name.c_str(), r, c,
                            got[c].text.c_str(), expected[r][c].c_str());
            }
        }
    }
    std::printf("%s: %d of %d cells correct\n", name.c_str(), outcome.correct, outcome.cells);
    // Recognition alone reads Computer Modern's "40" as "AO"; the page's own spelling of the
    // word in the same place puts it right.
    EXPECT_EQ(outcome.correct, outcome.cells);
}

INSTANTIATE_TEST_SUITE_P(Documents, TypesetTable,
                         ::testing::Values("booktabs", "ruled", "sans-ranked", "writer-ruled",
                                           "writer-plain", "writer-ranked"),
                         [](const auto& info) {
                             std::string n = info.param;
                             std::replace(n.begin(), n.end(), '-', '_');
                             return n;
                         });

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

    auto none = run(file + " --page 1 --rect 2,2,20,10");
    EXPECT_EQ(none.status, 3);
    EXPECT_TRUE(none.out.empty());
    EXPECT_EQ(none.err, "No Table Found: Could not detect a table structure in this area.\n");

    EXPECT_EQ(run(file + " --page 1 --rect 1,2,3").status, 2);
    EXPECT_EQ(run(file + " --page 1").status, 2);
    EXPECT_EQ(run(file + " --page 2 --rect 1,2,3,4").status, 1);
}
