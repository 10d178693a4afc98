#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include <string>

// What a glyph of a formula stands for: its LaTeX, its MathML token and how TeX spaces it.
// Pure lookups, any thread.
namespace ombrix::formula {

// TeX's classes of math atoms, which decide the automatic spacing between them.
enum class Atom { Ord, Op, Bin, Rel, Open, Close, Punct, Inner };

// The parts of a formula a glyph can be beside an ordinary symbol.
enum class Role {
    Symbol,     // letter, digit, operator, relation, punctuation
    BigOp,      // \sum, \int, …: limits above and below in a display
    Delimiter,  // a fence that may grow: ( [ \{ \langle | …
    Radical,    // the root sign
    Accent,     // \hat, \bar, … over the symbol below
    WideAccent, // \widehat, \widetilde: over a group
    Piece,      // a part of a delimiter built from several glyphs
};

// Which piece of a built-up delimiter a glyph is.
enum class Piece {
    None,
    Top,
    Middle,
    Extension,
    Bottom,
    // The ends and middle of a horizontal brace: tips pointing down or up.
    BraceDown,
    BraceUp,
    BraceExtension,
};

// The alphabet a letter is set in: the font's or the Unicode math alphanumeric's.
enum class Alphabet {
    Italic, // the default for variables: no command
    Upright,
    Bold,
    BoldItalic,
    Blackboard,
    Calligraphic,
    Fraktur,
    SansSerif,
    Monospace,
};

struct Symbol {
    std::string latex;   // "\\alpha", "+", "(", "\\sum"; empty when nothing is known
    std::u32string text; // the Unicode text the MathML shows
    Atom atom = Atom::Ord;
    Role role = Role::Symbol;
    Piece piece = Piece::None;
    // For delimiters and pieces: the delimiter they make ("(", "\\{", "|"), and whether
    // it opens, closes or may do either (|, ‖).
    bool opens = false, closes = false;
    bool letter = false; // a Latin or Greek letter: alphabets and function names apply
    bool digit = false;
    Alphabet alphabet = Alphabet::Italic;
    bool textFont = false; // set in the document's text font: words become \text
    // From TeX's extension font, whose glyphs hang from their origin: placed by their
    // ink, not by a baseline.
    bool extension = false;
    bool opentype = false; // from an OpenType math font, laid out by Unicode
    // From one of TeX's math fonts (or an OpenType math font): TeX set it, with TeX's
    // spacing between atoms.
    bool texMath = false;
    // Set in a font whose advances are the widths TeX placed it by (Computer Modern, Latin
    // Modern, the AMS fonts, OpenType math fonts), not through a virtual font.
    bool exactMetrics = false;
};

// What the glyph drawn with `fontName` stands for, from its Unicode text and its glyph
// name (math fonts without a Unicode map are read by their glyph names).
Symbol classify(const std::u32string& text, const std::string& glyphName,
                const std::string& fontName, bool fontItalic, bool fontBold);

// The LaTeX command of an alphabet ("\\mathbb"), empty for the italic default.
const char* alphabetCommand(Alphabet alphabet);
// MathML's mathvariant for a letter in the alphabet; "" for the default.
const char* mathVariant(Alphabet alphabet, bool singleLetter);

// Names TeX sets upright as operators (\sin, \lim); those taking limits in a display
// answer `limits`.
bool isOperatorName(const std::string& word, bool* limits = nullptr);

} // namespace ombrix::formula

OMBRIX_API_END
