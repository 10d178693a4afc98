#include "support/FormulaCorpus.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <map>
#include <sstream>

namespace ombrix::testing {

std::filesystem::path formulaCorpusDir() {
    return std::filesystem::path(OMBRIX_SOURCE_DIR) / "tests" / "data" / "formulas";
}

std::vector<CorpusFormula> corpusFormulas(const std::string& corpus) {
    std::vector<CorpusFormula> out;
    const bool libreoffice = corpus == "libreoffice-math";
    std::ifstream in(formulaCorpusDir() / (libreoffice ? "libreoffice.tsv" : "formulas.tsv"));
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        std::istringstream fields(line);
        CorpusFormula f;
        std::string constructs;
        std::getline(fields, f.id, '\t');
        std::getline(fields, constructs, '\t');
        if (libreoffice) {
            std::string starmath;
            std::getline(fields, starmath, '\t');
        }
        std::getline(fields, f.latex);
        std::istringstream list(constructs);
        for (std::string c; std::getline(list, c, ',');) {
            f.constructs.push_back(c);
        }
        out.push_back(std::move(f));
    }
    return out;
}

std::vector<std::string> formulaCorpora() {
    return {"pdflatex-cm",    "pdflatex-lm",  "pdflatex-newtx", "pdflatex-pazo",
            "xelatex-lmmath", "xelatex-fira", "lualatex-stix2", "libreoffice-math"};
}

namespace {

std::vector<std::string> tokens(const std::string& s) {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < s.size();) {
        const char c = s[i];
        if (std::isspace(static_cast<unsigned char>(c))) {
            ++i;
        } else if (c == '\\' && i + 1 < s.size()) {
            std::size_t j = i + 1;
            if (std::isalpha(static_cast<unsigned char>(s[j]))) {
                while (j < s.size() && std::isalpha(static_cast<unsigned char>(s[j]))) {
                    ++j;
                }
            } else {
                ++j;
            }
            out.push_back(s.substr(i, j - i));
            i = j;
        } else {
            // One UTF-8 character.
            std::size_t j = i + 1;
            while (j < s.size() && (static_cast<unsigned char>(s[j]) & 0xC0) == 0x80) {
                ++j;
            }
            out.push_back(s.substr(i, j - i));
            i = j;
        }
    }
    return out;
}

// A token or a braced group, as a tree.
struct Element {
    std::string token; // empty for a group
    std::vector<Element> kids;
    bool group() const { return token.empty(); }
};

std::vector<Element> parse(const std::vector<std::string>& t, std::size_t& at, bool inGroup) {
    std::vector<Element> out;
    while (at < t.size()) {
        const std::string& tok = t[at++];
        if (tok == "{") {
            Element g;
            g.kids = parse(t, at, true);
            out.push_back(std::move(g));
        } else if (tok == "}") {
            if (inGroup) {
                return out;
            }
        } else {
            out.push_back(Element{tok, {}});
        }
    }
    return out;
}

void tidy(std::vector<Element>& list) {
    for (auto& e : list) {
        if (e.group()) {
            tidy(e.kids);
        }
    }
    // Script arguments always braced; the subscript before the superscript.
    for (std::size_t i = 0; i + 1 < list.size(); ++i) {
        if ((list[i].token == "_" || list[i].token == "^") && !list[i + 1].group()) {
            Element g;
            g.kids.push_back(list[i + 1]);
            list[i + 1] = g;
        }
    }
    for (std::size_t i = 0; i + 3 < list.size(); ++i) {
        if (list[i].token == "^" && list[i + 2].token == "_") {
            std::swap(list[i], list[i + 2]);
            std::swap(list[i + 1], list[i + 3]);
        }
    }
}

std::string print(const std::vector<Element>& list, bool inScript = false);

std::string printElement(const Element& e, bool script) {
    if (!e.group()) {
        return e.token;
    }
    // {x} around a single token means nothing, except as a script argument.
    if (!script && e.kids.size() == 1 && !e.kids[0].group()) {
        return e.kids[0].token;
    }
    return "{" + print(e.kids) + "}";
}

std::string print(const std::vector<Element>& list, bool) {
    std::string out;
    for (std::size_t i = 0; i < list.size(); ++i) {
        const bool script = i > 0 && (list[i - 1].token == "_" || list[i - 1].token == "^");
        const bool argument = i > 0 && !list[i - 1].token.empty() && list[i - 1].token[0] == '\\' &&
                              std::isalpha(static_cast<unsigned char>(list[i - 1].token.back()));
        std::string piece = printElement(list[i], script || argument);
        if (!out.empty() && std::isalpha(static_cast<unsigned char>(out.back())) &&
            !piece.empty() && std::isalpha(static_cast<unsigned char>(piece[0]))) {
            // keep \alpha x apart from \alphax
            std::size_t k = out.size();
            while (k > 0 && std::isalpha(static_cast<unsigned char>(out[k - 1]))) {
                --k;
            }
            if (k > 0 && out[k - 1] == '\\') {
                out += ' ';
            }
        }
        out += piece;
    }
    return out;
}

} // namespace

std::string normaliseLatex(const std::string& latex) {
    static const std::map<std::string, std::string> aliases = {
        {"\\le", "\\leq"},         {"\\ge", "\\geq"},
        {"\\ne", "\\neq"},         {"\\rightarrow", "\\to"},
        {"\\gets", "\\leftarrow"}, {"\\lbrace", "\\{"},
        {"\\rbrace", "\\}"},       {"\\vert", "|"},
        {"\\Vert", "\\|"},         {"\\lvert", "|"},
        {"\\rvert", "|"},          {"\\lVert", "\\|"},
        {"\\rVert", "\\|"},        {"\\dots", "\\ldots"},
        {"\\land", "\\wedge"},     {"\\lor", "\\vee"},
        {"\\lnot", "\\neg"},       {"\\prime", "'"},
        {"\\dfrac", "\\frac"},     {"\\mid", "|"},
    };
    static const std::map<std::string, std::pair<std::string, std::string>> matrices = {
        {"pmatrix", {"(", ")"}}, {"bmatrix", {"[", "]"}},     {"Bmatrix", {"\\{", "\\}"}},
        {"vmatrix", {"|", "|"}}, {"Vmatrix", {"\\|", "\\|"}},
    };
    std::vector<std::string> in = tokens(latex);
    std::vector<std::string> t;
    for (std::size_t i = 0; i < in.size(); ++i) {
        const std::string& tok = in[i];
        static const char* dropped[] = {
            "\\,",    "\\:",     "\\;",     "\\!",     "\\ ",      "~",
            "\\quad", "\\qquad", "\\left",  "\\right", "\\middle", "\\big",
            "\\Big",  "\\bigg",  "\\Bigg",  "\\bigl",  "\\bigr",   "\\Bigl",
            "\\Bigr", "\\biggl", "\\biggr", "\\Biggl", "\\Biggr",  "\\displaystyle"};
        if (std::find(std::begin(dropped), std::end(dropped), tok) != std::end(dropped)) {
            continue;
        }
        if (tok == "." && !t.empty() && t.back() == "\\left") {
            continue;
        }
        if ((tok == "\\begin" || tok == "\\end") && i + 3 < in.size() && in[i + 1] == "{") {
            std::string env;
            std::size_t j = i + 2;
            for (; j < in.size() && in[j] != "}"; ++j) {
                env += in[j];
            }
            if (auto m = matrices.find(env); m != matrices.end()) {
                if (tok == "\\begin") {
                    t.push_back(m->second.first);
                }
                for (const char* p : {tok.c_str(), "{", "matrix", "}"}) {
                    t.push_back(p);
                }
                if (tok == "\\end") {
                    t.push_back(m->second.second);
                }
                i = j;
                continue;
            }
            for (std::size_t k = i; k <= j && k < in.size(); ++k) {
                t.push_back(k == i + 2 ? env : in[k]);
                if (k == i + 2) {
                    k = j - 1;
                }
            }
            i = j;
            continue;
        }
        auto a = aliases.find(tok);
        t.push_back(a != aliases.end() ? a->second : tok);
    }
    // "^{'}" and "^'" are the prime written out.
    std::size_t at = 0;
    auto tree = parse(t, at, false);
    tidy(tree);
    std::string out = print(tree);
    for (std::string from : {std::string("^{'}"), std::string("^{''}")}) {
        for (std::size_t p; (p = out.find(from)) != std::string::npos;) {
            out.replace(p, from.size(), from.substr(2, from.size() - 3));
        }
    }
    return out;
}

} // namespace ombrix::testing
