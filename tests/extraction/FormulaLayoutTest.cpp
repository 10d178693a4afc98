// The layout reader on formulas set by hand, glyph by glyph: where the corpus's typesetters
// never put things (a line of text right above a fraction, an equation number at either end,
// a formula's own parenthesised digits), and the writers on every kind of node.

#include "extraction/FormulaLayout.h"

#include "extraction/MathMLMarkup.h"

#include <gtest/gtest.h>

using namespace ombrix;
using namespace ombrix::formula;

namespace {

// A glyph of Computer Modern at `size` points, its origin at (x, baseline), y down.
Glyph glyph(char32_t c, const char* font, double x, double baseline, double size = 10,
            double width = 5) {
    Glyph g;
    g.text.assign(1, c);
    g.glyphName = "";
    g.fontName = font;
    g.size = size;
    g.origin = Point{x, baseline};
    g.advance = width * size / 10;
    const double height = 0.7 * size, depth = 0.05 * size;
    g.ink = Rect::fromEdges(x + 0.2, baseline - height, x + g.advance - 0.2, baseline + depth);
    return g;
}

std::string latexOf(const Input& input) {
    auto layout = analyse(input);
    return layout ? toLatex(layout->formula) : "(none)";
}

TEST(FormulaLayoutTest, ScriptsFollowBaselineAndSize) {
    Input in;
    in.glyphs = {glyph(U'x', "CMMI10", 0, 50), glyph(U'2', "CMR7", 5.2, 46, 7, 5)};
    EXPECT_EQ(latexOf(in), "x^2");
    in.glyphs = {glyph(U'x', "CMMI10", 0, 50), glyph(U'i', "CMMI7", 5.2, 51.5, 7, 3)};
    EXPECT_EQ(latexOf(in), "x_i");
    in.glyphs = {glyph(U'x', "CMMI10", 0, 50), glyph(U'2', "CMR7", 5.2, 46, 7, 5),
                 glyph(U'i', "CMMI7", 5.2, 52.5, 7, 3)};
    EXPECT_EQ(latexOf(in), "x_i^2");
    // A script of a script, smaller again and raised from its own.
    in.glyphs = {glyph(U'e', "CMMI10", 0, 50), glyph(U'x', "CMMI7", 5.2, 46, 7, 5),
                 glyph(U'2', "CMR5", 9, 43.5, 5, 5)};
    EXPECT_EQ(latexOf(in), "e^{x^2}");
}

TEST(FormulaLayoutTest, AFractionTakesOnlyWhatIsRightAboveAndBelowItsBar) {
    Input in;
    // A line of text 14 points above the numerator: not part of the fraction.
    in.glyphs = {glyph(U'w', "CMMI10", 0, 26), glyph(U'a', "CMMI10", 2, 42),
                 glyph(U'b', "CMMI10", 2, 58)};
    in.rules = {Rect::fromEdges(0, 45.8, 9, 46.2)};
    const std::string latex = latexOf(in);
    EXPECT_NE(latex.find("\\frac{a}{b}"), std::string::npos) << latex;
    EXPECT_EQ(latex.find("\\frac{wa}"), std::string::npos) << latex;
    EXPECT_EQ(latex.find("\\frac{b}{a}"), std::string::npos) << latex;
}

TEST(FormulaLayoutTest, AnEquationNumberSetApartIsLeftOutAndAFormulasOwnIsKept) {
    Input in;
    in.glyphs = {glyph(U'E', "CMMI10", 0, 50),          glyph(U'=', "CMR10", 8, 50, 10, 7.8),
                 glyph(U'm', "CMMI10", 18, 50, 10, 8),  glyph(U'(', "CMR10", 120, 50, 10, 3.9),
                 glyph(U'2', "CMR10", 124, 50),         glyph(U'.', "CMR10", 129, 50, 10, 2.8),
                 glyph(U'1', "CMR10", 132, 50),         glyph(U'a', "CMMI10", 137, 50),
                 glyph(U')', "CMR10", 142, 50, 10, 3.9)};
    EXPECT_EQ(latexOf(in), "E=m");
    // At the left end too.
    for (auto& g : in.glyphs) {
        if (g.origin.x >= 120) {
            g.origin.x -= 200;
            g.ink =
                Rect::fromEdges(g.ink.minX() - 200, g.ink.minY(), g.ink.maxX() - 200, g.ink.maxY());
        }
    }
    EXPECT_EQ(latexOf(in), "E=m");
    // f(1): the formula's own parentheses, close to what they follow.
    in.glyphs = {glyph(U'f', "CMMI10", 0, 50), glyph(U'(', "CMR10", 5.5, 50, 10, 3.9),
                 glyph(U'1', "CMR10", 9.4, 50), glyph(U')', "CMR10", 14.4, 50, 10, 3.9)};
    EXPECT_EQ(latexOf(in), "f(1)");
}

TEST(FormulaLayoutTest, UprightRunsBecomeOperatorNamesAndWordsKeepTheirSpaces) {
    Input in;
    in.glyphs = {glyph(U's', "CMR10", 0, 50, 10, 3.9), glyph(U'i', "CMR10", 3.9, 50, 10, 2.8),
                 glyph(U'n', "CMR10", 6.7, 50, 10, 5.6), glyph(U'x', "CMMI10", 14, 50)};
    EXPECT_EQ(latexOf(in), "\\sin x");
    // "if" then a word space, then x: the space belongs to the text.
    in.glyphs = {glyph(U'i', "CMR10", 0, 50, 10, 2.8), glyph(U'f', "CMR10", 2.8, 50, 10, 3.1),
                 glyph(U'x', "CMMI10", 9.2, 50)};
    EXPECT_EQ(latexOf(in), "\\text{if }x");
}

TEST(FormulaLayoutTest, GlyphsNothingNamesAreNoFormula) {
    Input in;
    for (int i = 0; i < 5; ++i) {
        in.glyphs.push_back(glyph(0, "T3Font", 6.0 * i, 50));
        in.glyphs.back().text.clear();
    }
    in.glyphs.push_back(glyph(U'x', "CMMI10", 40, 50));
    EXPECT_FALSE(analyse(in));
    EXPECT_FALSE(analyse(Input{}));
}

Node token(const char* latex, const char32_t* text, char kind = 'i') {
    Node n;
    n.kind = Node::Kind::Token;
    n.latex = latex;
    n.text = text;
    n.token = kind;
    return n;
}

Node rowOf(std::vector<Node> kids) {
    Node n;
    n.kind = Node::Kind::Row;
    n.kids = std::move(kids);
    return n;
}

TEST(FormulaLayoutTest, EveryKindOfNodeWritesLatexAndPresentationMathML) {
    const Node x = token("x", U"x"), two = token("2", U"2", 'n');
    auto make = [](Node::Kind kind, std::vector<Node> kids, std::string latex = {}) {
        Node n;
        n.kind = kind;
        n.kids = std::move(kids);
        n.latex = std::move(latex);
        return n;
    };
    Node fenced = make(Node::Kind::Fenced, {rowOf({x})});
    fenced.open = "(";
    fenced.close = ".";
    Node sized = fenced;
    sized.sizing = "Big";
    Node table =
        make(Node::Kind::Table,
             {rowOf({rowOf({x}), rowOf({two})}), rowOf({rowOf({two}), rowOf({x})})}, "pmatrix");
    Node bb = token("R", U"R");
    bb.alphabet = Alphabet::Blackboard;
    const std::vector<std::pair<Node, std::string>> cases = {
        {make(Node::Kind::Frac, {rowOf({x}), rowOf({two})}), "\\frac{x}{2}"},
        {make(Node::Kind::Binom, {rowOf({x}), rowOf({two})}), "\\binom{x}{2}"},
        {make(Node::Kind::Root, {rowOf({x}), rowOf({two})}), "\\sqrt[2]{x}"},
        {make(Node::Kind::Scripts, {rowOf({x}), rowOf({two}), rowOf({two})}), "x_2^2"},
        {make(Node::Kind::Limits, {rowOf({token("\\sum", U"∑", 'o')}), rowOf({x}), rowOf({})}),
         "\\sum_x"},
        {make(Node::Kind::Accent, {rowOf({x})}, "\\hat"), "\\hat{x}"},
        {make(Node::Kind::Over, {rowOf({x}), rowOf({two})}, "\\underbrace"), "\\underbrace{x}_2"},
        {fenced, "\\left(x\\right."},
        {sized, "\\Bigl(x"},
        {table, "\\begin{pmatrix} x & 2 \\\\ 2 & x \\end{pmatrix}"},
        {bb, "\\mathbb{R}"},
    };
    for (const auto& [node, latex] : cases) {
        EXPECT_EQ(toLatex(node), latex);
        const std::string mathml = toMathML(node);
        auto clean = mathml::sanitize(mathml);
        ASSERT_TRUE(clean) << mathml;
        // Nothing of what was written is dropped as foreign.
        EXPECT_EQ(std::count(clean->begin(), clean->end(), '<'),
                  std::count(mathml.begin(), mathml.end(), '<'))
            << mathml << "\n"
            << *clean;
    }
    // Commands keep apart from the letters after them.
    EXPECT_EQ(toLatex(rowOf({token("\\alpha", U"α"), x})), "\\alpha x");
}

} // namespace
