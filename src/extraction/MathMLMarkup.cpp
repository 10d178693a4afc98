#include "extraction/MathMLMarkup.h"

#include "core/HtmlEscape.h"

#include <expat.h>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace ombrix::mathml {

namespace {

constexpr std::string_view kNamespace = "http://www.w3.org/1998/Math/MathML";
constexpr char kSeparator = '\x1f'; // between a name's namespace and its local part
constexpr std::size_t kMaxValue = 100;

// Presentation MathML. mglyph (a picture by URL), maction (behaviour), annotation-xml
// (which may hold HTML) and the alignment marks (which browsers' parsers treat apart) are
// left out.
const std::unordered_set<std::string_view>& elements() {
    static const std::unordered_set<std::string_view> names{
        "math",        "mrow",      "mi",       "mn",      "mo",         "mtext",
        "mspace",      "ms",        "mfrac",    "msqrt",   "mroot",      "mstyle",
        "merror",      "mpadded",   "mphantom", "mfenced", "menclose",   "msub",
        "msup",        "msubsup",   "munder",   "mover",   "munderover", "mmultiscripts",
        "mprescripts", "none",      "mtable",   "mtr",     "mtd",        "mlabeledtr",
        "semantics",   "annotation"};
    return names;
}

// How an attribute's value is checked: a plain token (numbers, lengths, names, colours by
// name or #hex, lists of those), or characters shown as they are (fences, quotes, alt text).
enum class Value { token, text };

const std::unordered_map<std::string_view, Value>& attributes() {
    static const std::unordered_map<std::string_view, Value> names{
        {"display", Value::token},
        {"displaystyle", Value::token},
        {"scriptlevel", Value::token},
        {"scriptsizemultiplier", Value::token},
        {"scriptminsize", Value::token},
        {"mathvariant", Value::token},
        {"mathsize", Value::token},
        {"mathcolor", Value::token},
        {"mathbackground", Value::token},
        {"dir", Value::token},
        {"form", Value::token},
        {"fence", Value::token},
        {"separator", Value::token},
        {"lspace", Value::token},
        {"rspace", Value::token},
        {"stretchy", Value::token},
        {"symmetric", Value::token},
        {"maxsize", Value::token},
        {"minsize", Value::token},
        {"largeop", Value::token},
        {"movablelimits", Value::token},
        {"accent", Value::token},
        {"accentunder", Value::token},
        {"linethickness", Value::token},
        {"numalign", Value::token},
        {"denomalign", Value::token},
        {"bevelled", Value::token},
        {"width", Value::token},
        {"height", Value::token},
        {"depth", Value::token},
        {"voffset", Value::token},
        {"align", Value::token},
        {"rowalign", Value::token},
        {"columnalign", Value::token},
        {"columnspacing", Value::token},
        {"rowspacing", Value::token},
        {"columnlines", Value::token},
        {"rowlines", Value::token},
        {"columnwidth", Value::token},
        {"frame", Value::token},
        {"framespacing", Value::token},
        {"equalrows", Value::token},
        {"equalcolumns", Value::token},
        {"side", Value::token},
        {"minlabelspacing", Value::token},
        {"rowspan", Value::token},
        {"columnspan", Value::token},
        {"notation", Value::token},
        {"subscriptshift", Value::token},
        {"superscriptshift", Value::token},
        {"open", Value::text},
        {"close", Value::text},
        {"separators", Value::text},
        {"lquote", Value::text},
        {"rquote", Value::text},
        {"alttext", Value::text},
        {"encoding", Value::text},
    };
    return names;
}

bool validValue(std::string_view value, Value kind) {
    if (value.size() > kMaxValue) {
        return false;
    }
    for (char c : value) {
        const auto u = static_cast<unsigned char>(c);
        if (kind == Value::token) {
            const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                               (c >= '0' && c <= '9') || c == ' ' || c == '#' || c == '.' ||
                               c == '%' || c == '+' || c == '-' || c == ',';
            if (!plain) {
                return false;
            }
        } else if (u < 0x20 || u == 0x7F) {
            return false;
        }
    }
    return true;
}

// The local name of a MathML element (in the MathML namespace or in none), else empty.
std::string_view mathName(std::string_view name) {
    const auto cut = name.rfind(kSeparator);
    if (cut == std::string_view::npos) {
        return name;
    }
    return name.substr(0, cut) == kNamespace ? name.substr(cut + 1) : std::string_view();
}

struct State {
    XML_Parser parser = nullptr;
    std::string out;
    int depth = 0;
    // Depth at which an element not kept began; its whole content goes with it.
    int skipFrom = 0;
    bool sawRoot = false;
    bool failed = false;

    void fail() {
        failed = true;
        XML_StopParser(parser, XML_FALSE);
    }
};

void XMLCALL startElement(void* user, const XML_Char* rawName, const XML_Char** attrs) {
    auto& s = *static_cast<State*>(user);
    ++s.depth;
    if (s.depth > kMaxDepth) {
        s.fail();
        return;
    }
    if (s.skipFrom) {
        return;
    }
    const std::string_view name = mathName(rawName);
    if (!s.sawRoot) {
        s.sawRoot = true;
        if (name != "math") {
            s.fail();
            return;
        }
    }
    if (name.empty() || !elements().contains(name)) {
        s.skipFrom = s.depth;
        return;
    }
    s.out += '<';
    s.out += name;
    const auto& known = attributes();
    for (int i = 0; attrs[i] && attrs[i + 1]; i += 2) {
        const std::string_view attr = attrs[i];
        const std::string_view value = attrs[i + 1];
        // A prefixed attribute (xlink:href and the like) carries its namespace: never ours.
        if (attr.find(kSeparator) != std::string_view::npos) {
            continue;
        }
        const auto kind = known.find(attr);
        if (kind == known.end() || !validValue(value, kind->second)) {
            continue;
        }
        s.out += ' ';
        s.out += attr;
        s.out += "=\"" + escapeHTML(std::string(value)) + "\"";
    }
    s.out += '>';
}

void XMLCALL endElement(void* user, const XML_Char* rawName) {
    auto& s = *static_cast<State*>(user);
    if (s.skipFrom) {
        if (s.depth == s.skipFrom) {
            s.skipFrom = 0;
        }
    } else {
        s.out += "</";
        s.out += mathName(rawName);
        s.out += '>';
    }
    --s.depth;
}

void XMLCALL text(void* user, const XML_Char* data, int length) {
    auto& s = *static_cast<State*>(user);
    if (!s.skipFrom && s.depth > 0) {
        s.out += escapeHTML(std::string(data, std::size_t(length)));
    }
}

void XMLCALL doctype(void* user, const XML_Char*, const XML_Char*, const XML_Char*, int) {
    static_cast<State*>(user)->fail();
}

void XMLCALL entity(void* user, const XML_Char*, int, const XML_Char*, int, const XML_Char*,
                    const XML_Char*, const XML_Char*, const XML_Char*) {
    static_cast<State*>(user)->fail();
}

struct ParserFree {
    void operator()(XML_Parser p) const { XML_ParserFree(p); }
};

} // namespace

std::optional<std::string> sanitize(const std::string& mathml) {
    if (mathml.empty() || mathml.size() > kMaxMathML) {
        return std::nullopt;
    }
    std::unique_ptr<std::remove_pointer_t<XML_Parser>, ParserFree> parser(
        XML_ParserCreateNS("UTF-8", kSeparator));
    if (!parser) {
        return std::nullopt;
    }
    State state;
    state.parser = parser.get();
    XML_SetUserData(parser.get(), &state);
    XML_SetElementHandler(parser.get(), startElement, endElement);
    XML_SetCharacterDataHandler(parser.get(), text);
    XML_SetStartDoctypeDeclHandler(parser.get(), doctype);
    XML_SetEntityDeclHandler(parser.get(), entity);
    XML_SetParamEntityParsing(parser.get(), XML_PARAM_ENTITY_PARSING_NEVER);
    const auto status = XML_Parse(parser.get(), mathml.data(), int(mathml.size()), XML_TRUE);
    if (status != XML_STATUS_OK || state.failed || !state.sawRoot) {
        return std::nullopt;
    }
    return state.out;
}

} // namespace ombrix::mathml
