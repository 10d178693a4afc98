#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "core/Geometry.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ombrix {

// A word of the output table.
struct FormattedWord {
    std::string text;
    Rect bounds;
    bool isBold = false;
    bool isItalic = false;
    std::optional<std::string> fontName;
};

// The page's own rules near a table, split by direction.
struct TableRules {
    std::vector<Rect> vertical;
    std::vector<Rect> horizontal;
};

// One cell: its words in reading order (the lines of a wrapped cell one after the other).
struct TableCell {
    std::vector<FormattedWord> words;
    int colspan = 1;
};

struct TableRow {
    std::vector<TableCell> cells; // their colspans add up to the grid's columns
    bool header = false;
};

// What decided the header rows.
enum class HeaderRule { leadingRows, boldText, rules };

struct TableGrid {
    int columns = 0;
    std::vector<TableRow> rows;
    HeaderRule headerRule = HeaderRule::leadingRows;
};

namespace table {

// The styles toHTML writes on the table, on header cells and on data cells, and around a
// word's font name.
inline constexpr std::string_view kTableStyle = "border-collapse: collapse; width: 100%;";
inline constexpr std::string_view kHeaderStyle =
    "border:1px solid #ddd;padding:8px;background:#f2f2f2;";
inline constexpr std::string_view kDataStyle = "border:1px solid #ddd;padding:8px;";
inline constexpr std::string_view kFontStylePrefix = "font-family: '";
inline constexpr std::string_view kFontStyleSuffix = "', sans-serif;";

// A font name as it may stand in the quoted family of a font style: a PDF names its fonts
// as it likes, so the quote, the backslash and control characters, which would end the
// quoted name and let the rest read as style, are dropped.
std::string fontNameForStyle(const std::string& name);

// Thin drawn rectangles as rules, and the four edges of larger ones (cell fills); only what
// reaches into the region.
TableRules classifyRules(const std::vector<Rect>& drawn, const Rect& region);

// Cells from text lines (word positions, top line first). Columns come from the gaps that
// run down the whole table and from vertical rules; a line spans only where its words
// cross such a gap; the lines of a wrapped cell join into one row where rules or row
// spacing say so. No lines, no rows.
TableGrid layoutTable(const std::vector<std::vector<int>>& lines,
                      const std::vector<FormattedWord>& words, const TableRules& rules = {});

// The words as HTML: escaped, bold and italic marked, a font span unless the font is the
// fallback; joined by single spaces.
std::string cellHTML(const std::vector<FormattedWord>& words);
// The cell's words joined by single spaces.
std::string cellText(const TableCell& cell);

// One table, four forms. Each is empty for a grid without rows.
std::string toHTML(const TableGrid& grid);
std::string toCSV(const TableGrid& grid); // RFC 4180; a spanning cell fills its first column
// Rows by line feed, cells by tab, as spreadsheets paste plain text; spans as in CSV.
std::string toTabSeparated(const TableGrid& grid);
// The same text read back from a table toHTML wrote (a stored result); empty when the
// HTML holds no table row.
std::string tabSeparatedFromHTML(const std::string& html);
std::string toMarkdown(const TableGrid& grid); // the first row is the heading line

} // namespace table

} // namespace ombrix

OMBRIX_API_END
