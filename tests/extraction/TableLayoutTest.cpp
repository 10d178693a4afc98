#include "extraction/TableLayout.h"

#include <gtest/gtest.h>

using namespace ombrix;

namespace {

// Words of one line each: {text, left edge, width}; lines 14 points apart from y = 100 down.
struct Placed {
    std::string text;
    double x;
    double width;
};

struct Table {
    std::vector<FormattedWord> words;
    std::vector<std::vector<int>> lines;

    Table(const std::vector<std::vector<Placed>>& rows, double pitch = 14) {
        for (std::size_t r = 0; r < rows.size(); ++r) {
            std::vector<int> line;
            for (const auto& p : rows[r]) {
                line.push_back(int(words.size()));
                words.push_back(FormattedWord{p.text,
                                              Rect{p.x, 100 - pitch * double(r), p.width, 10},
                                              false, false, std::nullopt});
            }
            lines.push_back(line);
        }
    }
    TableGrid grid(const TableRules& rules = {}) const {
        return table::layoutTable(lines, words, rules);
    }
};

std::vector<std::string> texts(const TableRow& row) {
    std::vector<std::string> out;
    for (const auto& cell : row.cells) {
        out.push_back(table::cellText(cell));
    }
    return out;
}

std::vector<int> spans(const TableRow& row) {
    std::vector<int> out;
    for (const auto& cell : row.cells) {
        out.push_back(cell.colspan);
    }
    return out;
}

} // namespace

TEST(TableLayout, AHeaderOfMultiWordCellsKeepsTheBodyRowsCells) {
    const Table t(
        {{{"Item", 0, 20}, {"code", 23, 20}, {"Unit", 70, 18}, {"price", 91, 22}, {"Qty", 140, 15}},
         {{"A-100", 0, 26}, {"0.35", 90, 20}, {"200", 140, 15}},
         {{"B-220", 0, 26}, {"0.08", 90, 20}, {"500", 140, 15}}});
    const auto grid = t.grid();
    EXPECT_EQ(grid.columns, 3);
    ASSERT_EQ(grid.rows.size(), 3u);
    EXPECT_EQ(texts(grid.rows[0]), (std::vector<std::string>{"Item code", "Unit price", "Qty"}));
    EXPECT_EQ(texts(grid.rows[2]), (std::vector<std::string>{"B-220", "0.08", "500"}));
}

TEST(TableLayout, EmptyCellsStayInTheirColumns) {
    const Table t({{{"Site", 0, 20}, {"Mon", 60, 18}, {"Tue", 100, 18}, {"Wed", 140, 18}},
                   {{"North", 0, 25}, {"4", 65, 6}, {"7", 145, 6}},
                   {{"River", 0, 25}, {"3", 105, 6}},
                   {{"Mill", 0, 20}, {"6", 65, 6}, {"1", 105, 6}, {"2", 145, 6}}});
    const auto grid = t.grid();
    EXPECT_EQ(grid.columns, 4);
    ASSERT_EQ(grid.rows.size(), 4u);
    EXPECT_EQ(texts(grid.rows[1]), (std::vector<std::string>{"North", "4", "", "7"}));
    EXPECT_EQ(texts(grid.rows[2]), (std::vector<std::string>{"River", "", "3", ""}));
    // Two words where the table has three columns: still in their own columns, no span.
    const Table two({{{"x", 0, 30}, {"y", 100, 30}},
                     {{"p", 0, 30}, {"q", 50, 30}, {"r", 100, 30}},
                     {{"s", 0, 30}, {"t", 50, 30}, {"u", 100, 30}}});
    const auto sparse = two.grid();
    EXPECT_EQ(texts(sparse.rows[0]), (std::vector<std::string>{"x", "", "y"}));
    EXPECT_EQ(spans(sparse.rows[0]), (std::vector<int>{1, 1, 1}));
}

TEST(TableLayout, TitlesSectionsAndGroupHeadersSpan) {
    const Table t(
        {{{"Results", 60, 40}},
         {{"Model", 0, 30}, {"Training", 58, 40}, {"Test", 128, 24}},
         {{"", 0, 0}, {"Loss", 50, 20}, {"Acc", 80, 16}, {"Loss", 120, 20}, {"Acc", 150, 16}},
         {{"Parameters", 0, 50}},
         {{"Base", 0, 22},
          {"0.41", 50, 20},
          {"81.2", 80, 20},
          {"0.45", 120, 20},
          {"79.8", 150, 20}},
         {{"Wide", 0, 22},
          {"0.30", 50, 20},
          {"86.9", 80, 20},
          {"0.37", 120, 20},
          {"84.1", 150, 20}},
         {{"Deep", 0, 22},
          {"0.28", 50, 20},
          {"88.4", 80, 20},
          {"0.36", 120, 20},
          {"85.0", 150, 20}},
         {{"Thin", 0, 22},
          {"0.52", 50, 20},
          {"71.3", 80, 20},
          {"0.55", 120, 20},
          {"70.1", 150, 20}}});
    auto words = t.words;
    auto lines = t.lines;
    // No empty word: drop the placeholder of line 2.
    lines[2].erase(lines[2].begin());
    const auto grid = table::layoutTable(lines, words);
    EXPECT_EQ(grid.columns, 5);
    ASSERT_EQ(grid.rows.size(), 8u);
    EXPECT_EQ(spans(grid.rows[0]), (std::vector<int>{5}));
    EXPECT_EQ(texts(grid.rows[1]), (std::vector<std::string>{"Model", "Training", "Test"}));
    EXPECT_EQ(spans(grid.rows[1]), (std::vector<int>{1, 2, 2}));
    EXPECT_EQ(texts(grid.rows[2]), (std::vector<std::string>{"", "Loss", "Acc", "Loss", "Acc"}));
    EXPECT_EQ(spans(grid.rows[3]), (std::vector<int>{5}));
    EXPECT_EQ(texts(grid.rows[3]), (std::vector<std::string>{"Parameters"}));
    EXPECT_EQ(texts(grid.rows[5]),
              (std::vector<std::string>{"Wide", "0.30", "86.9", "0.37", "84.1"}));
}

TEST(TableLayout, TheLinesOfAWrappedCellAreOneCell) {
    // Lines 12 points apart; the third column wraps.
    const std::vector<std::vector<Placed>> rows{
        {{"Option", 0, 30}, {"What", 60, 22}, {"it", 85, 6}, {"does", 94, 20}},
        {{"verbose", 0, 32},
         {"Prints", 60, 26},
         {"every", 89, 22},
         {"step", 114, 20},
         {"of", 137, 8}},
        {{"the", 60, 14}, {"run", 77, 15}},
        {{"depth", 0, 25},
         {"How", 60, 18},
         {"deep", 81, 20},
         {"to", 104, 8},
         {"go", 115, 10},
         {"down", 128, 20}},
        {{"into", 60, 16}, {"folders", 79, 28}}};
    // Ruled: a rule under every row, none between the lines of a cell.
    const Table ruled(rows, 12);
    TableRules rules;
    for (double y : {98.0 - 12 + 8.5, 98.0 - 36 + 8.5}) {
        rules.horizontal.push_back(Rect{-3, y, 160, 0.4});
    }
    auto grid = ruled.grid(rules);
    ASSERT_EQ(grid.rows.size(), 3u);
    EXPECT_EQ(texts(grid.rows[1]),
              (std::vector<std::string>{"verbose", "Prints every step of the run"}));
    EXPECT_EQ(texts(grid.rows[2]),
              (std::vector<std::string>{"depth", "How deep to go down into folders"}));
    EXPECT_EQ(grid.headerRule, HeaderRule::rules);
    EXPECT_TRUE(grid.rows[0].header);
    EXPECT_FALSE(grid.rows[1].header);

    // No rules, every line the same distance apart: a line continues a cell only when its
    // first word would not have fitted on the line above.
    grid = ruled.grid();
    ASSERT_EQ(grid.rows.size(), 3u);
    EXPECT_EQ(texts(grid.rows[2]),
              (std::vector<std::string>{"depth", "How deep to go down into folders"}));

    // A short line in a column of single values is a row of its own.
    const Table values({{{"City", 0, 20}, {"People", 60, 30}},
                        {{"Leeds", 0, 24}, {"812", 60, 16}},
                        {{"York", 60, 20}},
                        {{"Hull", 0, 20}, {"267", 60, 16}}});
    EXPECT_EQ(values.grid().rows.size(), 4u);
}

TEST(TableLayout, VerticalRulesPartNarrowGaps) {
    // Columns only 2 points apart, parted by rules.
    const Table t({{{"alpha", 0, 28}, {"beta", 30, 20}, {"gamma", 52, 30}},
                   {{"one", 0, 18}, {"two", 30, 18}, {"three", 52, 25}}});
    EXPECT_EQ(t.grid().columns, 1);
    TableRules rules;
    rules.vertical = {Rect{28.8, 70, 0.4, 45}, Rect{50.8, 70, 0.4, 45}};
    const auto grid = t.grid(rules);
    EXPECT_EQ(grid.columns, 3);
    EXPECT_EQ(texts(grid.rows[1]), (std::vector<std::string>{"one", "two", "three"}));
}

TEST(TableLayout, BoldLeadingRowsAreTheHeader) {
    Table t({{{"Name", 0, 30}, {"Value", 60, 30}},
             {{"a", 0, 10}, {"1", 60, 10}},
             {{"b", 0, 10}, {"2", 60, 10}}});
    t.words[0].isBold = t.words[1].isBold = true;
    const auto grid = t.grid();
    EXPECT_EQ(grid.headerRule, HeaderRule::boldText);
    EXPECT_TRUE(grid.rows[0].header);
    EXPECT_FALSE(grid.rows[1].header);
    // Without bold or rules, the first two rows.
    t.words[0].isBold = t.words[1].isBold = false;
    EXPECT_EQ(t.grid().headerRule, HeaderRule::leadingRows);
    EXPECT_TRUE(t.grid().rows[1].header);
}

TEST(TableFormats, HtmlCsvAndMarkdownOfOneGrid) {
    auto w = [](std::string text, bool bold = false) {
        return FormattedWord{std::move(text), Rect{}, bold, false, std::nullopt};
    };
    TableGrid grid;
    grid.columns = 3;
    grid.rows.push_back(TableRow{{TableCell{{w("Prices", true)}, 3}}, true});
    grid.rows.push_back(
        TableRow{{TableCell{{w("Item", true)}, 1}, TableCell{{w("a|b"), w("c")}, 2}}, true});
    grid.rows.push_back(TableRow{
        {TableCell{{w("Tea,"), w("\"green\"")}, 1}, TableCell{{}, 1}, TableCell{{w("1·2")}, 1}},
        false});
    EXPECT_EQ(table::toCSV(grid), "Prices,,\r\nItem,a|b c,\r\n\"Tea, \"\"green\"\"\",,1·2\r\n");
    EXPECT_EQ(table::toMarkdown(grid), "| **Prices** | | |\n| --- | --- | --- |\n"
                                       "| **Item** | a\\|b c | |\n| Tea, \"green\" | | 1·2 |\n");
    const std::string html = table::toHTML(grid);
    EXPECT_NE(html.find("<th colspan=\"3\" style=\"border:1px solid "
                        "#ddd;padding:8px;background:#f2f2f2;\"><b>Prices</b></th>"),
              std::string::npos);
    EXPECT_NE(html.find("<th colspan=\"2\" style=\"border:1px solid "
                        "#ddd;padding:8px;background:#f2f2f2;\">a|b c</th>"),
              std::string::npos);
    EXPECT_NE(html.find("<td style=\"border:1px solid #ddd;padding:8px;\"></td>"),
              std::string::npos);
    EXPECT_EQ(table::toHTML(TableGrid{}), "");
    EXPECT_EQ(table::toCSV(TableGrid{}), "");
}
