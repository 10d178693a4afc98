#pragma once

#include <string>
#include <vector>

namespace ombrix::testing {

// The cells of the extractor's HTML, read back: tag, colspan and the text with markup
// removed and entities decoded.
struct ParsedCell {
    bool header = false;
    int colspan = 1;
    std::string text;
    std::string html; // the cell's content as written
};
using ParsedTable = std::vector<std::vector<ParsedCell>>;

inline std::string decodeEntities(std::string s) {
    const std::pair<const char*, const char*> entities[] = {
        {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&#39;", "'"}, {"&amp;", "&"}};
    for (const auto& [from, to] : entities) {
        for (auto at = s.find(from); at != std::string::npos; at = s.find(from, at + 1)) {
            s.replace(at, std::string(from).size(), to);
        }
    }
    return s;
}

inline std::string stripTags(const std::string& html) {
    std::string out;
    bool inTag = false;
    for (char c : html) {
        if (c == '<') {
            inTag = true;
        } else if (c == '>') {
            inTag = false;
        } else if (!inTag) {
            out += c;
        }
    }
    return decodeEntities(out);
}

inline ParsedTable parseTable(const std::string& html) {
    ParsedTable rows;
    for (auto tr = html.find("<tr>"); tr != std::string::npos; tr = html.find("<tr>", tr + 4)) {
        const auto end = html.find("</tr>", tr);
        std::vector<ParsedCell> cells;
        auto at = tr;
        while (true) {
            const auto th = html.find("<th", at);
            const auto td = html.find("<td", at);
            const auto open = std::min(th, td);
            if (open == std::string::npos || open > end) {
                break;
            }
            ParsedCell cell;
            cell.header = open == th;
            const auto tagEnd = html.find('>', open);
            const std::string tag = html.substr(open, tagEnd - open);
            if (auto span = tag.find("colspan=\""); span != std::string::npos) {
                cell.colspan = std::stoi(tag.substr(span + 9));
            }
            const auto close = html.find(cell.header ? "</th>" : "</td>", tagEnd);
            cell.html = html.substr(tagEnd + 1, close - tagEnd - 1);
            cell.text = stripTags(cell.html);
            cells.push_back(std::move(cell));
            at = close;
        }
        rows.push_back(std::move(cells));
    }
    return rows;
}

} // namespace ombrix::testing
