#include "core/HtmlEscape.h"
#include "core/UnicodeText.h"
#include "extraction/FormulaTree.h"

#include <cctype>

namespace ombrix::formula {

namespace {

void append(std::string& out, const std::string& piece) {
    if (piece.empty()) {
        return;
    }
    // "\alpha x" keeps its space; "\alpha+" needs none.
    if (!out.empty() && std::isalpha(static_cast<unsigned char>(piece[0]))) {
        std::size_t k = out.size();
        while (k > 0 && std::isalpha(static_cast<unsigned char>(out[k - 1]))) {
            --k;
        }
        if (k > 0 && out[k - 1] == '\\' && k < out.size()) {
            out += ' ';
        }
    }
    out += piece;
}

std::string latexOf(const Node& node);

std::string group(const Node& node) {
    const std::string inner = latexOf(node);
    if (inner.size() == 1) {
        return inner;
    }
    return "{" + inner + "}";
}

bool onlyPrimes(const Node& node) {
    if (node.kind != Node::Kind::Row || node.kids.empty()) {
        return false;
    }
    for (const auto& k : node.kids) {
        if (k.kind != Node::Kind::Token || k.latex.find_first_not_of('\'') != std::string::npos) {
            return false;
        }
    }
    return true;
}

std::string latexOf(const Node& node) {
    std::string out;
    switch (node.kind) {
    case Node::Kind::Row:
        for (const auto& k : node.kids) {
            append(out, latexOf(k));
        }
        return out;
    case Node::Kind::Token: {
        const char* command = alphabetCommand(node.alphabet);
        if (*command && (node.token == 'i' || node.token == 'n')) {
            return std::string(command) + "{" + node.latex + "}";
        }
        return node.latex;
    }
    case Node::Kind::Text:
        return "\\text{" + node.latex + "}";
    case Node::Kind::Space:
        return node.latex;
    case Node::Kind::Frac:
        return "\\frac{" + latexOf(node.kids[0]) + "}{" + latexOf(node.kids[1]) + "}";
    case Node::Kind::Binom:
        return "\\binom{" + latexOf(node.kids[0]) + "}{" + latexOf(node.kids[1]) + "}";
    case Node::Kind::Sqrt:
        return "\\sqrt{" + latexOf(node.kids[0]) + "}";
    case Node::Kind::Root:
        return "\\sqrt[" + latexOf(node.kids[1]) + "]{" + latexOf(node.kids[0]) + "}";
    case Node::Kind::Scripts:
    case Node::Kind::Limits: {
        out = node.kids[0].empty() ? "{}" : latexOf(node.kids[0]);
        const Node& sub = node.kids[1];
        const Node& sup = node.kids[2];
        if (!sub.empty()) {
            out += "_" + group(sub);
        }
        if (!sup.empty()) {
            if (onlyPrimes(sup)) {
                out += latexOf(sup);
            } else {
                out += "^" + group(sup);
            }
        }
        return out;
    }
    case Node::Kind::Accent:
        return node.latex + "{" + latexOf(node.kids[0]) + "}";
    case Node::Kind::Over:
        out = node.latex + "{" + latexOf(node.kids[0]) + "}";
        if (node.kids.size() > 1 && !node.kids[1].empty()) {
            out += (node.latex == "\\underbrace" ? "_" : "^") + group(node.kids[1]);
        }
        return out;
    case Node::Kind::Fenced: {
        const std::string body = latexOf(node.kids[0]);
        if (node.sizing.empty()) {
            std::string left = "\\left" + node.open;
            std::string right = "\\right" + node.close;
            out = left;
            append(out, body);
            append(out, right);
            return out;
        }
        if (node.open != ".") {
            out = "\\" + node.sizing + "l" + node.open;
        }
        append(out, body);
        if (node.close != ".") {
            append(out, "\\" + node.sizing + "r" + node.close);
        }
        return out;
    }
    case Node::Kind::Table: {
        out = "\\begin{" + node.latex + "}";
        if (node.latex == "array") {
            out += "{" + node.columns + "}";
        }
        bool firstRow = true;
        for (const auto& line : node.kids) {
            out += firstRow ? " " : " \\\\ ";
            firstRow = false;
            bool firstCell = true;
            for (const auto& cell : line.kids) {
                if (!firstCell) {
                    out += node.latex == "aligned" ? " &" : " & ";
                }
                firstCell = false;
                out += latexOf(cell);
            }
        }
        out += " \\end{" + node.latex + "}";
        return out;
    }
    }
    return out;
}

// MathML

std::string escaped(const std::u32string& text) {
    return escapeHTML(utf8From(text));
}

std::string fenceChar(const std::string& latex) {
    static const std::pair<const char*, const char*> map[] = {
        {"(", "("},       {")", ")"},       {"[", "["},        {"]", "]"},
        {"\\{", "{"},     {"\\}", "}"},     {"\\langle", "⟨"}, {"\\rangle", "⟩"},
        {"|", "|"},       {"\\|", "‖"},     {"\\lfloor", "⌊"}, {"\\rfloor", "⌋"},
        {"\\lceil", "⌈"}, {"\\rceil", "⌉"}, {"/", "/"},        {"\\backslash", "\\"},
    };
    for (const auto& [l, c] : map) {
        if (latex == l) {
            return c;
        }
    }
    return "";
}

std::string accentChar(const std::string& latex) {
    static const std::pair<const char*, const char*> map[] = {
        {"\\hat", "^"},       {"\\widehat", "^"},    {"\\tilde", "~"},     {"\\widetilde", "~"},
        {"\\bar", "¯"},       {"\\overline", "‾"},   {"\\underline", "_"}, {"\\dot", "˙"},
        {"\\ddot", "¨"},      {"\\dddot", "⃛"},       {"\\vec", "→"},       {"\\acute", "´"},
        {"\\grave", "`"},     {"\\breve", "˘"},      {"\\check", "ˇ"},     {"\\mathring", "˚"},
        {"\\overbrace", "⏞"}, {"\\underbrace", "⏟"},
    };
    for (const auto& [l, c] : map) {
        if (latex == l) {
            return c;
        }
    }
    return "^";
}

std::string mmlOf(const Node& node);

std::string mrow(const std::string& inner) {
    return "<mrow>" + inner + "</mrow>";
}

std::string spaceWidth(const std::string& latex) {
    if (latex == "\\,") {
        return "0.167em";
    }
    if (latex == "\\:") {
        return "0.222em";
    }
    if (latex == "\\;") {
        return "0.278em";
    }
    if (latex == "\\quad") {
        return "1em";
    }
    if (latex == "\\qquad") {
        return "2em";
    }
    return "0.167em";
}

std::string mmlOf(const Node& node) {
    std::string out;
    switch (node.kind) {
    case Node::Kind::Row:
        if (node.kids.size() == 1) {
            return mmlOf(node.kids[0]);
        }
        for (const auto& k : node.kids) {
            out += mmlOf(k);
        }
        return mrow(out);
    case Node::Kind::Token: {
        if (node.token == 'n') {
            const char* variant = mathVariant(node.alphabet, true);
            const bool plain =
                node.alphabet == Alphabet::Upright || node.alphabet == Alphabet::Italic;
            return std::string("<mn") +
                   (plain ? "" : std::string(" mathvariant=\"") + variant + "\"") + ">" +
                   escaped(node.text) + "</mn>";
        }
        if (node.token == 'i') {
            const bool singleLetter = node.text.size() == 1;
            std::string variant = mathVariant(node.alphabet, singleLetter);
            std::string attr = variant.empty() ? "" : " mathvariant=\"" + variant + "\"";
            if (singleLetter || node.alphabet == Alphabet::Upright) {
                return "<mi" + attr + ">" + escaped(node.text) + "</mi>";
            }
            for (char32_t c : node.text) {
                out += "<mi" + attr + ">" + escaped(std::u32string(1, c)) + "</mi>";
            }
            return mrow(out);
        }
        // Operator names read as identifiers; symbols as operators.
        if (node.latex.rfind("\\operatorname", 0) == 0 ||
            (node.latex.size() > 1 && node.latex[0] == '\\' && !node.text.empty() &&
             node.text.size() > 1 && node.text[0] < 0x80)) {
            return "<mi>" + escaped(node.text) + "</mi><mo>&#x2061;</mo>";
        }
        if (node.text.empty()) {
            return "<mo>" + escapeHTML(node.latex) + "</mo>";
        }
        if (node.text == U"′" || node.latex == "'") {
            return "<mo>′</mo>";
        }
        return "<mo>" + escaped(node.text) + "</mo>";
    }
    case Node::Kind::Text:
        return "<mtext>" + escapeHTML(node.latex) + "</mtext>";
    case Node::Kind::Space:
        return "<mspace width=\"" + spaceWidth(node.latex) + "\"/>";
    case Node::Kind::Frac:
        return "<mfrac>" + mmlOf(node.kids[0]) + mmlOf(node.kids[1]) + "</mfrac>";
    case Node::Kind::Binom:
        return mrow("<mo>(</mo><mfrac linethickness=\"0\">" + mmlOf(node.kids[0]) +
                    mmlOf(node.kids[1]) + "</mfrac><mo>)</mo>");
    case Node::Kind::Sqrt:
        return "<msqrt>" + mmlOf(node.kids[0]) + "</msqrt>";
    case Node::Kind::Root:
        return "<mroot>" + mmlOf(node.kids[0]) + mmlOf(node.kids[1]) + "</mroot>";
    case Node::Kind::Scripts:
    case Node::Kind::Limits: {
        const bool limits = node.kind == Node::Kind::Limits;
        const std::string base = node.kids[0].empty() ? "<mrow/>" : mmlOf(node.kids[0]);
        const Node& sub = node.kids[1];
        const Node& sup = node.kids[2];
        if (!sub.empty() && !sup.empty()) {
            const char* tag = limits ? "munderover" : "msubsup";
            return std::string("<") + tag + ">" + base + mmlOf(sub) + mmlOf(sup) + "</" + tag + ">";
        }
        if (!sub.empty()) {
            const char* tag = limits ? "munder" : "msub";
            return std::string("<") + tag + ">" + base + mmlOf(sub) + "</" + tag + ">";
        }
        if (!sup.empty()) {
            const char* tag = limits ? "mover" : "msup";
            return std::string("<") + tag + ">" + base + mmlOf(sup) + "</" + tag + ">";
        }
        return base;
    }
    case Node::Kind::Accent:
        return "<mover accent=\"true\">" + mmlOf(node.kids[0]) + "<mo>" + accentChar(node.latex) +
               "</mo></mover>";
    case Node::Kind::Over: {
        const bool under = node.latex == "\\underline" || node.latex == "\\underbrace";
        std::string inner =
            std::string(under ? "<munder accentunder=\"true\">" : "<mover accent=\"true\">") +
            mmlOf(node.kids[0]) + "<mo>" + accentChar(node.latex) + "</mo>" +
            (under ? "</munder>" : "</mover>");
        if (node.kids.size() > 1 && !node.kids[1].empty()) {
            inner = std::string(under ? "<munder>" : "<mover>") + inner + mmlOf(node.kids[1]) +
                    (under ? "</munder>" : "</mover>");
        }
        return inner;
    }
    case Node::Kind::Fenced: {
        const std::string open = fenceChar(node.open);
        const std::string close = fenceChar(node.close);
        if (!open.empty()) {
            out += "<mo fence=\"true\" stretchy=\"true\">" + escapeHTML(open) + "</mo>";
        }
        out += mmlOf(node.kids[0]);
        if (!close.empty()) {
            out += "<mo fence=\"true\" stretchy=\"true\">" + escapeHTML(close) + "</mo>";
        }
        return mrow(out);
    }
    case Node::Kind::Table: {
        std::string align;
        std::string open, close;
        const std::string& env = node.latex;
        if (env == "aligned") {
            align = " columnalign=\"right left\"";
        } else if (env == "cases") {
            align = " columnalign=\"left left\"";
            open = "{";
        } else if (env == "pmatrix") {
            open = "(", close = ")";
        } else if (env == "bmatrix") {
            open = "[", close = "]";
        } else if (env == "Bmatrix") {
            open = "{", close = "}";
        } else if (env == "vmatrix") {
            open = close = "|";
        } else if (env == "Vmatrix") {
            open = close = "‖";
        }
        std::string table = "<mtable" + align + ">";
        for (const auto& line : node.kids) {
            table += "<mtr>";
            for (const auto& cell : line.kids) {
                table += "<mtd>" + mmlOf(cell) + "</mtd>";
            }
            table += "</mtr>";
        }
        table += "</mtable>";
        if (open.empty() && close.empty()) {
            return table;
        }
        if (!open.empty()) {
            out += "<mo fence=\"true\" stretchy=\"true\">" + escapeHTML(open) + "</mo>";
        }
        out += table;
        if (!close.empty()) {
            out += "<mo fence=\"true\" stretchy=\"true\">" + escapeHTML(close) + "</mo>";
        }
        return mrow(out);
    }
    }
    return out;
}

} // namespace

std::string toLatex(const Node& node) {
    return latexOf(node);
}

std::string toMathML(const Node& node) {
    return "<math xmlns=\"http://www.w3.org/1998/Math/MathML\" display=\"block\">" + mmlOf(node) +
           "</math>";
}

} // namespace ombrix::formula
