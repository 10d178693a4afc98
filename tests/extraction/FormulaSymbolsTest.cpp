// What a glyph of a formula stands for, from the three sources a PDF gives: its Unicode, its
// glyph name and its font.

#include "extraction/FormulaSymbols.h"

#include <gtest/gtest.h>

using namespace ombrix::formula;

namespace {

Symbol of(const std::u32string& text, const std::string& name, const std::string& font,
          bool italic = false) {
    return classify(text, name, font, italic, false);
}

TEST(FormulaSymbols, TeXGlyphNamesSayWhatAFileWithoutUnicodeDrawn) {
    const auto sum = of(U"", "summationdisplay", "CMEX10");
    EXPECT_EQ(sum.latex, "\\sum");
    EXPECT_EQ(sum.role, Role::BigOp);
    EXPECT_TRUE(sum.extension);
    const auto paren = of(U"\uFFFD", "parenleftbigg", "CMEX10");
    EXPECT_EQ(paren.latex, "(");
    EXPECT_EQ(paren.role, Role::Delimiter);
    EXPECT_TRUE(paren.opens);
    const auto top = of(U"", "bracelefttp", "CMEX10");
    EXPECT_EQ(top.role, Role::Piece);
    EXPECT_EQ(top.piece, Piece::Top);
    EXPECT_EQ(top.latex, "\\{");
    // The extension font's union is the big one; the symbol font's the small one.
    EXPECT_EQ(of(U"∪", "union", "CMEX10").latex, "\\bigcup");
    EXPECT_EQ(of(U"∪", "union", "CMSY10").latex, "\\cup");
    EXPECT_EQ(of(U"", "hatwide", "CMEX10").role, Role::WideAccent);
    // A name with a font's variant suffix.
    EXPECT_EQ(of(U"", "parenlefttpA", "txexs").piece, Piece::Top);
    // Nothing at all: nothing known.
    EXPECT_TRUE(of(U"", "g17", "T3Font").latex.empty());
}

TEST(FormulaSymbols, TheFontOrTheMathAlphanumericGivesTheAlphabet) {
    EXPECT_EQ(of(U"R", "R", "MSBM10").alphabet, Alphabet::Blackboard);
    EXPECT_EQ(of(U"F", "F", "CMSY10").alphabet, Alphabet::Calligraphic);
    EXPECT_EQ(of(U"g", "g", "EUFM10").alphabet, Alphabet::Fraktur);
    EXPECT_EQ(of(U"x", "x", "CMBX10").alphabet, Alphabet::Bold);
    EXPECT_EQ(of(U"x", "x", "CMMI10").alphabet, Alphabet::Italic);
    EXPECT_EQ(of(U"d", "d", "CMR10").alphabet, Alphabet::Upright);
    EXPECT_TRUE(of(U"d", "d", "CMR10").textFont);
    // Unicode math alphanumerics, their holes, and Greek.
    auto a = of(U"\U0001D44E", "", "LatinModernMath-Regular");
    EXPECT_EQ(a.latex, "a");
    EXPECT_EQ(a.alphabet, Alphabet::Italic);
    EXPECT_EQ(of(U"\U0001D538", "", "STIXTwoMath-Regular").alphabet, Alphabet::Blackboard);
    EXPECT_EQ(of(U"ℝ", "", "STIXTwoMath-Regular").alphabet, Alphabet::Blackboard);
    EXPECT_EQ(of(U"ℎ", "", "LatinModernMath-Regular").latex, "h");
    const auto alpha = of(U"\U0001D6FC", "", "LatinModernMath-Regular");
    EXPECT_EQ(alpha.latex, "\\alpha");
    EXPECT_TRUE(alpha.letter);
    // A plain letter of an OpenType math font is upright; its Greek capitals too.
    EXPECT_EQ(of(U"d", "", "LatinModernMath-Regular").alphabet, Alphabet::Upright);
    EXPECT_EQ(of(U"Γ", "", "LatinModernMath-Regular").latex, "\\Gamma");
    EXPECT_EQ(of(U"\U0001D7D9", "", "LatinModernMath-Regular").alphabet, Alphabet::Blackboard);
}

TEST(FormulaSymbols, WhoSetTheGlyphDecidesHowItsGapsRead) {
    // TeX's fonts with TeX's own widths; virtual fonts with other widths; LibreOffice's.
    EXPECT_TRUE(of(U"x", "x", "CMMI10").exactMetrics);
    EXPECT_TRUE(of(U"x", "", "LatinModernMath-Regular").exactMetrics);
    EXPECT_FALSE(of(U"x", "", "NewTXMI").exactMetrics);
    EXPECT_TRUE(of(U"x", "", "NewTXMI").texMath);
    EXPECT_FALSE(of(U"+", "", "OpenSymbol").texMath);
    EXPECT_FALSE(of(U"x", "", "DejaVuSerif-Italic", true).texMath);
}

TEST(FormulaSymbols, OperatorsRelationsAndAccentsHaveTheirClasses) {
    EXPECT_EQ(of(U"+", "plus", "CMR10").atom, Atom::Bin);
    EXPECT_EQ(of(U"≤", "lessequal", "CMSY10").atom, Atom::Rel);
    EXPECT_EQ(of(U"≤", "lessequal", "CMSY10").latex, "\\leq");
    EXPECT_EQ(of(U",", "comma", "CMMI10").atom, Atom::Punct);
    EXPECT_EQ(of(U"ˆ", "circumflex", "CMR10").role, Role::Accent);
    EXPECT_EQ(of(U"~", "", "OpenSymbol").role, Role::Accent); // LibreOffice's tilde accent
    EXPECT_EQ(of(U"∶", "", "LatinModernMath-Regular").latex, ":");
    bool limits = false;
    EXPECT_TRUE(isOperatorName("lim", &limits));
    EXPECT_TRUE(limits);
    EXPECT_TRUE(isOperatorName("sin", &limits));
    EXPECT_FALSE(limits);
    EXPECT_FALSE(isOperatorName("rank"));
}

} // namespace
