#include "support/TableCorpus.h"

#include <algorithm>
#include <fstream>
#include <sstream>

namespace ombrix::testing {

namespace {

std::vector<std::string> splitTabs(const std::string& line) {
    std::vector<std::string> fields;
    std::string field;
    for (char c : line) {
        if (c == '\t') {
            fields.push_back(field);
            field.clear();
        } else if (c != '\r') {
            field += c;
        }
    }
    fields.push_back(field);
    return fields;
}

} // namespace

std::string normaliseSpace(const std::string& text) {
    std::string out;
    bool space = false;
    for (char c : text) {
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
            space = !out.empty();
        } else {
            if (space) {
                out += ' ';
            }
            space = false;
            out += c;
        }
    }
    return out;
}

std::vector<CorpusTable> loadCorpus(const std::filesystem::path& folder) {
    std::vector<CorpusTable> tables;
    const std::string suffix = ".expected.tsv";
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string file = entry.path().filename().string();
        if (!file.ends_with(suffix)) {
            continue;
        }
        CorpusTable table;
        table.name = file.substr(0, file.size() - suffix.size());
        table.pdf = folder / (table.name + ".pdf");
        if (!std::filesystem::exists(table.pdf)) {
            continue;
        }
        std::ifstream in(entry.path());
        std::vector<std::vector<std::string>> lines;
        for (std::string line; std::getline(in, line);) {
            if (!line.empty()) {
                lines.push_back(splitTabs(line));
            }
        }
        for (const auto& fields : lines) {
            if (fields.size() == 1) {
                continue;
            }
            int width = 0;
            for (const auto& f : fields) {
                width += f.starts_with("@") && f.find(':') != std::string::npos
                             ? std::stoi(f.substr(1, f.find(':') - 1))
                             : 1;
            }
            table.columns = std::max(table.columns, width);
        }
        for (const auto& fields : lines) {
            std::vector<ExpectedCell> row;
            if (fields.size() == 1) {
                row.push_back(
                    ExpectedCell{normaliseSpace(fields[0]), 0, std::max(table.columns, 1)});
            } else {
                int column = 0;
                for (const auto& f : fields) {
                    ExpectedCell cell{normaliseSpace(f), column, 1};
                    if (f.starts_with("@") && f.find(':') != std::string::npos) {
                        cell.colspan = std::stoi(f.substr(1, f.find(':') - 1));
                        cell.text = normaliseSpace(f.substr(f.find(':') + 1));
                    }
                    column += cell.colspan;
                    row.push_back(std::move(cell));
                }
            }
            table.rows.push_back(std::move(row));
        }
        std::ifstream rect(folder / (table.name + ".rect"));
        Rect r;
        char comma = 0;
        if (rect >> r.x >> comma >> r.y >> comma >> r.width >> comma >> r.height) {
            table.region = r;
        }
        tables.push_back(std::move(table));
    }
    std::sort(tables.begin(), tables.end(),
              [](const CorpusTable& a, const CorpusTable& b) { return a.name < b.name; });
    return tables;
}

Rect corpusRegion(const CorpusTable& table, const std::vector<Rect>& wordBoxes,
                  const Rect& mediaBox) {
    if (table.region) {
        return *table.region;
    }
    if (wordBoxes.empty()) {
        return mediaBox.insetBy(2, 2);
    }
    Rect region = wordBoxes.front();
    for (const auto& box : wordBoxes) {
        region = region.united(box);
    }
    return region.insetBy(-8, -8);
}

TableScore scoreTable(const CorpusTable& expected, const std::optional<TableGrid>& got) {
    TableScore score;
    for (const auto& row : expected.rows) {
        score.cells += int(row.size());
    }
    if (!got) {
        score.misses.push_back("no table");
        return score;
    }
    score.rowsRight = got->rows.size() == expected.rows.size();
    score.columnsRight = got->columns == expected.columns;
    for (std::size_t r = 0; r < expected.rows.size(); ++r) {
        std::vector<std::pair<int, std::string>> cells; // start column, text
        if (r < got->rows.size()) {
            int column = 0;
            for (const auto& cell : got->rows[r].cells) {
                cells.emplace_back(column, normaliseSpace(table::cellText(cell)));
                column += cell.colspan;
            }
        }
        for (const auto& cell : expected.rows[r]) {
            const auto match = std::find_if(cells.begin(), cells.end(),
                                            [&](const auto& c) { return c.first == cell.column; });
            const std::string text = match == cells.end() ? "(none)" : match->second;
            if (text == cell.text) {
                ++score.correct;
            } else {
                std::ostringstream miss;
                miss << "row " << r << ", column " << cell.column << ": '" << text << "' for '"
                     << cell.text << "'";
                score.misses.push_back(miss.str());
            }
        }
    }
    return score;
}

} // namespace ombrix::testing
