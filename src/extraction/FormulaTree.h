#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "core/Geometry.h"
#include "extraction/FormulaSymbols.h"

#include <string>
#include <vector>

namespace ombrix::formula {

// One glyph of a formula region, in points with y running down.
struct Glyph {
    std::u32string text; // what the file says it stands for; empty when nothing does
    std::string glyphName;
    std::string fontName;
    bool bold = false;
    bool italic = false;
    double size = 0;
    Point origin; // on the baseline
    double advance = 0;
    Rect ink;
};

// What a formula region holds: its glyphs and the straight rules drawn in it (fraction
// bars, the overline of a root), in the glyphs' space.
struct Input {
    std::vector<Glyph> glyphs;
    std::vector<Rect> rules;
};

// A formula as a tree, the one both writers read.
struct Node {
    enum class Kind {
        Row,     // kids in order
        Token,   // one symbol, a number or a run of letters in one alphabet
        Text,    // \text{…}
        Space,   // an explicit space: latex holds its command
        Frac,    // kids: numerator, denominator
        Binom,   // kids: top, bottom
        Sqrt,    // kids: body
        Root,    // kids: body, index
        Scripts, // kids: base, subscript, superscript (empty rows when absent)
        Limits,  // kids: base, under, over (empty rows when absent)
        Accent,  // latex: the accent command; kids: base
        Over,    // \overline, \underline, \overbrace, \underbrace; kids: base, label
        Fenced,  // open/close with `sizing`; kids: body
        Table,   // latex: the environment; kids: rows, each a Row of cells
    };
    Kind kind = Kind::Row;
    std::string latex;
    std::u32string text; // Token and Text: what MathML shows
    char token = 'i';    // Token: 'i' identifier, 'n' number, 'o' operator
    Alphabet alphabet = Alphabet::Italic;
    Atom atom = Atom::Ord;
    std::string open, close; // Fenced: LaTeX delimiters, "." for none
    std::string sizing;      // Fenced: "" for \left…\right, else "big", "Big", "bigg", "Bigg"
    std::string columns;     // Table: the array's column alignments ("cc", "rl")
    std::vector<Node> kids;

    bool empty() const { return kind == Kind::Row && kids.empty(); }
};

std::string toLatex(const Node& node);
// Presentation MathML: one math element in the MathML namespace, display block.
std::string toMathML(const Node& node);

} // namespace ombrix::formula

OMBRIX_API_END
