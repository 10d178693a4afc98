#include "core/HtmlEscape.h"

namespace ombrix {

std::string escapeHTML(const std::string& text, bool quotes) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += quotes ? "&quot;" : "\"";
            break;
        case '\'':
            out += quotes ? "&#39;" : "'";
            break;
        default:
            out += c;
        }
    }
    return out;
}

} // namespace ombrix
