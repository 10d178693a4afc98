#pragma once

// The typeset tables of tests/data/tables with the cells their sources hold, and how
// close an extracted table comes to them.

#include "core/Geometry.h"
#include "extraction/TableLayout.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace ombrix::testing {

struct ExpectedCell {
    std::string text;
    int column = 0; // where it starts
    int colspan = 1;
};

struct CorpusTable {
    std::string name;
    std::filesystem::path pdf;
    std::vector<std::vector<ExpectedCell>> rows;
    int columns = 0;
    std::optional<Rect> region; // NAME.rect, where the page holds more than the table
};

// Every NAME.expected.tsv of the folder that has its NAME.pdf, by name.
std::vector<CorpusTable> loadCorpus(const std::filesystem::path& folder);

// The region a reader would mark: NAME.rect, else the page's words with 8 points around
// them, else (a scan) the whole page.
Rect corpusRegion(const CorpusTable& table, const std::vector<Rect>& wordBoxes,
                  const Rect& mediaBox);

struct TableScore {
    int cells = 0;
    int correct = 0;
    bool rowsRight = false;
    bool columnsRight = false;
    std::vector<std::string> misses; // "row R, column C: 'got' for 'expected'"
    double accuracy() const { return cells ? double(correct) / cells : 1.0; }
};

// A cell is right when the extracted row of the same number has a cell starting in the
// same column with the same text, white space runs read as one space.
TableScore scoreTable(const CorpusTable& expected, const std::optional<TableGrid>& got);

std::string normaliseSpace(const std::string& text);

} // namespace ombrix::testing
