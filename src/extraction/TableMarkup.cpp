#include "extraction/TableMarkup.h"

#include "core/HtmlEscape.h"
#include "extraction/TableLayout.h"

#include <cctype>
#include <charconv>
#include <gumbo.h>
#include <string_view>
#include <vector>

namespace ombrix::table {

namespace {

// Deeper markup is no table of ours (that nests six deep).
constexpr int kMaxDepth = 48;
constexpr int kMaxColspan = 1000;

// Where an element stands in the table being rebuilt.
enum class Place { outside, table, row, cell };

const char* attribute(const GumboElement& element, const char* name) {
    const GumboAttribute* a = gumbo_get_attribute(&element.attributes, name);
    return a ? a->value : nullptr;
}

// Elements whose content is no text for a reader: code, style, metadata, embedded and
// foreign content, form controls.
bool dropsContent(const GumboNode& node) {
    if (node.v.element.tag_namespace != GUMBO_NAMESPACE_HTML) {
        return true;
    }
    switch (node.v.element.tag) {
    case GUMBO_TAG_HEAD:
    case GUMBO_TAG_TITLE:
    case GUMBO_TAG_SCRIPT:
    case GUMBO_TAG_STYLE:
    case GUMBO_TAG_TEMPLATE:
    case GUMBO_TAG_NOSCRIPT:
    case GUMBO_TAG_NOEMBED:
    case GUMBO_TAG_NOFRAMES:
    case GUMBO_TAG_IFRAME:
    case GUMBO_TAG_FRAMESET:
    case GUMBO_TAG_OBJECT:
    case GUMBO_TAG_EMBED:
    case GUMBO_TAG_APPLET:
    case GUMBO_TAG_TEXTAREA:
    case GUMBO_TAG_SELECT:
    case GUMBO_TAG_XMP:
    case GUMBO_TAG_CAPTION:
    case GUMBO_TAG_COLGROUP:
    case GUMBO_TAG_SVG:
    case GUMBO_TAG_MATH:
    case GUMBO_TAG_UNKNOWN:
        return true;
    default:
        return false;
    }
}

// The colspan toHTML writes (2 and more), or 0.
int colspanOf(const GumboElement& element) {
    const char* value = attribute(element, "colspan");
    if (!value) {
        return 0;
    }
    const std::string_view text(value);
    int n = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), n);
    if (error != std::errc() || end != text.data() + text.size() || n < 2 || n > kMaxColspan) {
        return 0;
    }
    return n;
}

// The font name of a style toHTML writes around a word, or empty.
std::string fontOf(const GumboElement& element) {
    const char* value = attribute(element, "style");
    if (!value) {
        return {};
    }
    const std::string_view style(value);
    if (!style.starts_with(kFontStylePrefix) || !style.ends_with(kFontStyleSuffix) ||
        style.size() <= kFontStylePrefix.size() + kFontStyleSuffix.size()) {
        return {};
    }
    const std::string name(style.substr(
        kFontStylePrefix.size(), style.size() - kFontStylePrefix.size() - kFontStyleSuffix.size()));
    return fontNameForStyle(name) == name ? name : std::string();
}

bool isVoid(std::string_view name) {
    static constexpr std::string_view kVoid[] = {"area",  "base",   "br",    "col",  "embed",
                                                 "hr",    "img",    "input", "link", "meta",
                                                 "param", "source", "track", "wbr",  "keygen"};
    for (auto v : kVoid) {
        if (name == v) {
            return true;
        }
    }
    return false;
}

// The browser's parser slows down with the square of the nesting, so markup nested deeper
// than a table of ours ever is never reaches it. This reckoning closes an element only when
// its end tag meets it on top, and counts every start tag it cannot see closed (in comments
// and scripts as well), so it never reckons less than the parser would build.
bool nestsTooDeep(std::string_view html, std::size_t limit) {
    std::vector<std::string> open;
    for (std::size_t at = html.find('<'); at != std::string_view::npos;
         at = html.find('<', at + 1)) {
        const bool end = at + 1 < html.size() && html[at + 1] == '/';
        std::size_t from = at + (end ? 2 : 1);
        std::size_t to = from;
        while (to < html.size() && std::isalnum(static_cast<unsigned char>(html[to]))) {
            ++to;
        }
        if (to == from || !std::isalpha(static_cast<unsigned char>(html[from]))) {
            continue;
        }
        std::string name(html.substr(from, to - from));
        for (char& c : name) {
            c = char(std::tolower(static_cast<unsigned char>(c)));
        }
        if (end) {
            if (!open.empty() && open.back() == name) {
                open.pop_back();
            }
        } else if (!isVoid(name)) {
            open.push_back(std::move(name));
            if (open.size() > limit) {
                return true;
            }
        }
    }
    return false;
}

bool isSpace(std::string_view text) {
    return text.find_first_not_of(" \t\n\r\f") == std::string_view::npos;
}

class Rebuild {
public:
    std::string out;

    void children(const GumboNode& node, Place place, int depth) {
        const GumboVector& list = node.v.element.children;
        for (unsigned i = 0; i < list.length; ++i) {
            visit(*static_cast<const GumboNode*>(list.data[i]), place, depth + 1);
        }
    }

private:
    void visit(const GumboNode& node, Place place, int depth) {
        switch (node.type) {
        case GUMBO_NODE_TEXT:
        case GUMBO_NODE_CDATA:
        case GUMBO_NODE_WHITESPACE: {
            const std::string_view text(node.v.text.text);
            // Between rows and cells only the layout's white space stands.
            if (place == Place::outside || place == Place::cell || isSpace(text)) {
                out += escapeHTML(std::string(text));
            }
            return;
        }
        case GUMBO_NODE_ELEMENT:
            break;
        default: // comments, the document, templates
            return;
        }
        if (depth > kMaxDepth || dropsContent(node)) {
            return;
        }
        const GumboElement& element = node.v.element;
        switch (element.tag) {
        case GUMBO_TAG_TABLE:
            if (place == Place::outside) {
                const char* style = attribute(element, "style");
                out += style && kTableStyle == style
                           ? "<table style=\"" + std::string(kTableStyle) + "\">"
                           : std::string("<table>");
                children(node, Place::table, depth);
                out += "</table>";
                return;
            }
            break;
        case GUMBO_TAG_TBODY:
        case GUMBO_TAG_THEAD:
        case GUMBO_TAG_TFOOT:
            // The parser adds a body to every table; the writer writes rows straight in.
            if (place == Place::table) {
                children(node, Place::table, depth);
                return;
            }
            break;
        case GUMBO_TAG_TR:
            if (place == Place::table) {
                out += "<tr>";
                children(node, Place::row, depth);
                out += "</tr>";
                return;
            }
            break;
        case GUMBO_TAG_TH:
        case GUMBO_TAG_TD:
            if (place == Place::row) {
                const std::string name = element.tag == GUMBO_TAG_TH ? "th" : "td";
                out += "<" + name;
                if (const int span = colspanOf(element)) {
                    out += " colspan=\"" + std::to_string(span) + "\"";
                }
                if (const char* style = attribute(element, "style");
                    style && (kHeaderStyle == style || kDataStyle == style)) {
                    out += " style=\"" + std::string(style) + "\"";
                }
                out += ">";
                children(node, Place::cell, depth);
                out += "</" + name + ">";
                return;
            }
            break;
        case GUMBO_TAG_B:
        case GUMBO_TAG_I:
            if (place == Place::cell) {
                const char* name = element.tag == GUMBO_TAG_B ? "b" : "i";
                out += std::string("<") + name + ">";
                children(node, place, depth);
                out += std::string("</") + name + ">";
                return;
            }
            break;
        case GUMBO_TAG_SPAN:
            if (place == Place::cell) {
                const std::string font = fontOf(element);
                if (font.empty()) {
                    break;
                }
                out += "<span style=\"" + std::string(kFontStylePrefix) + escapeHTML(font) +
                       std::string(kFontStyleSuffix) + "\">";
                children(node, place, depth);
                out += "</span>";
                return;
            }
            break;
        default:
            break;
        }
        // Not ours, or not where the writer puts it: its text stays, the element goes.
        children(node, place, depth);
    }
};

} // namespace

std::string sanitizeHTML(const std::string& html) {
    if (html.empty() || html.size() > kMaxStoredHTML || nestsTooDeep(html, kMaxDepth)) {
        return {};
    }
    GumboOptions options = kGumboDefaultOptions;
    options.max_errors = 0; // parse errors are expected here; nobody reads them
    GumboOutput* parsed = gumbo_parse_with_options(&options, html.data(), html.size());
    if (!parsed) {
        return {};
    }
    Rebuild rebuild;
    // The document's html element holds head (dropped) and body.
    const GumboNode* root = parsed->root;
    const GumboVector& top = root->v.element.children;
    for (unsigned i = 0; i < top.length; ++i) {
        const auto* child = static_cast<const GumboNode*>(top.data[i]);
        if (child->type == GUMBO_NODE_ELEMENT && child->v.element.tag == GUMBO_TAG_BODY) {
            rebuild.children(*child, Place::outside, 1);
        }
    }
    gumbo_destroy_output(&options, parsed);
    return rebuild.out;
}

} // namespace ombrix::table
