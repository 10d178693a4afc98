// Formulas read back from their glyphs, on the typeset corpus (tests/data/formulas): the
// mistakes a layout reader makes, each where a construct's typesetting invites it.

#include "extraction/FormulaRecognizer.h"

#include "extraction/MathMLMarkup.h"
#include "pdfkit/Document.h"
#include "pdfkit/Page.h"
#include "support/FormulaCorpus.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <map>
#include <vector>

using namespace ombrix;
using namespace ombrix::testing;

namespace {

class FormulaRecognizerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        for (const auto& f : corpusFormulas()) {
            formulas_[f.id] = f.latex;
        }
    }
    // What each corpus reads on the formula's page.
    std::map<std::string, std::string> readAll(const std::string& id) {
        std::map<std::string, std::string> out;
        const int index = std::stoi(id.substr(1)) - 1;
        for (const auto& corpus : formulaCorpora()) {
            if (corpus == "libreoffice-math") {
                continue; // formulas of its own
            }
            auto doc = pdfkit::Document::open(formulaCorpusDir() / (corpus + ".pdf"));
            EXPECT_TRUE(doc) << corpus;
            if (!doc) {
                continue;
            }
            auto page = doc->page(index);
            auto result = FormulaRecognizer::recognize(*page, page->mediaBox());
            out[corpus] = result ? result->latex : "(none)";
        }
        return out;
    }
    // The formula reads exactly as its source in every engine and font, or in those named.
    void expectExact(const std::string& id, const std::vector<std::string>& only = {}) {
        const std::string truth = normaliseLatex(formulas_.at(id));
        for (const auto& [corpus, latex] : readAll(id)) {
            if (!only.empty() && std::find(only.begin(), only.end(), corpus) == only.end()) {
                continue;
            }
            EXPECT_EQ(normaliseLatex(latex), truth) << id << " in " << corpus << ": " << latex;
        }
    }
    static std::map<std::string, std::string> formulas_;
};

std::map<std::string, std::string> FormulaRecognizerTest::formulas_;

// Where every construct reads right today; the benchmark reports all seven.
const std::vector<std::string> kTexFonts = {"pdflatex-cm", "pdflatex-lm", "xelatex-lmmath"};

TEST_F(FormulaRecognizerTest, ScriptsGoWhereTheirBaselineAndSizePutThem) {
    // x_i^2 + y_{ij} ≤ z^{n-1}: a subscript read as a superscript shows here first.
    expectExact("f02");
    // Nested both ways: e^{x^2} + a_{k_j}, x^{a_b} − y_{c^d}.
    expectExact("f03");
    expectExact("f04");
}

TEST_F(FormulaRecognizerTest, FractionsKeepNumeratorAboveAndNestAsTyped) {
    expectExact("f11");
    expectExact("f12");            // a fraction in a denominator, set smaller than the line
    expectExact("f13", kTexFonts); // fractions over fractions
    expectExact("f23");            // a root in a numerator
    // Lines of an aligned display stay lines: no numerator comes from the line above.
    expectExact("f54");
}

TEST_F(FormulaRecognizerTest, DelimitersBuiltFromPiecesAreOneDelimiter) {
    for (const char* id : {"f42", "f49", "f70"}) {
        expectExact(id, kTexFonts);
        for (const auto& [corpus, latex] : readAll(id)) {
            for (const char* piece : {"⎛", "⎜", "⎝", "⎞", "⎟", "⎠", "⏐"}) {
                EXPECT_EQ(latex.find(piece), std::string::npos) << corpus << ": " << latex;
            }
        }
    }
    expectExact("f40");                                 // nested fences
    expectExact("f44", {"pdflatex-cm", "pdflatex-lm"}); // a bar that only closes
}

TEST_F(FormulaRecognizerTest, AnEquationNumberIsLeftOut) {
    expectExact("f65");
    expectExact("f66");
}

TEST_F(FormulaRecognizerTest, FunctionNamesStayWhole) {
    for (const char* id : {"f56", "f57", "f58"}) {
        expectExact(id);
    }
    expectExact("f59", kTexFonts);
    for (const auto& [corpus, latex] : readAll("f57")) {
        EXPECT_EQ(latex.find("lo"), latex.find("\\log") + 1) << corpus << ": " << latex;
    }
}

TEST_F(FormulaRecognizerTest, MatricesCasesAndLimitsKeepTheirShape) {
    for (const char* id : {"f45", "f46", "f50", "f53", "f55"}) {
        expectExact(id);
    }
    for (const char* id : {"f25", "f26", "f48"}) {
        expectExact(id, kTexFonts);
    }
}

TEST_F(FormulaRecognizerTest, TheMathMLIsPresentationMarkupOnly) {
    auto doc = pdfkit::Document::open(formulaCorpusDir() / "pdflatex-cm.pdf");
    ASSERT_TRUE(doc);
    int read = 0;
    for (int i = 0; i < doc->pageCount(); ++i) {
        auto page = doc->page(i);
        auto result = FormulaRecognizer::recognize(*page, page->mediaBox());
        if (!result) {
            continue; // braces over and under are not read yet
        }
        ++read;
        ASSERT_TRUE(result->mathml) << "page " << i + 1 << ": " << result->latex;
        // Read as strict XML and written again the same: presentation MathML throughout.
        EXPECT_EQ(mathml::sanitize(*result->mathml), result->mathml) << "page " << i + 1;
        EXPECT_EQ(result->mathml->rfind("<math", 0), 0u);
    }
    EXPECT_GE(read, doc->pageCount() - 1);
}

TEST_F(FormulaRecognizerTest, APagesRotationTurnsTheViewNotTheFormula) {
    auto doc = pdfkit::Document::open(formulaCorpusDir() / "pdflatex-cm.pdf");
    ASSERT_TRUE(doc);
    auto page = doc->page(22);
    const auto upright = FormulaRecognizer::recognize(*page, page->mediaBox());
    ASSERT_TRUE(upright);
    for (int degrees : {90, 180, 270}) {
        page->setRotation(degrees);
        const auto turned = FormulaRecognizer::recognize(*page, page->mediaBox());
        ASSERT_TRUE(turned) << degrees;
        EXPECT_EQ(turned->latex, upright->latex) << degrees;
    }
}

TEST_F(FormulaRecognizerTest, ARegionWithoutGlyphsHasNoFormula) {
    auto doc = pdfkit::Document::open(formulaCorpusDir() / "pdflatex-cm.pdf");
    ASSERT_TRUE(doc);
    auto page = doc->page(0);
    // Beside the formula: the page's empty margin.
    EXPECT_FALSE(FormulaRecognizer::recognize(*page, Rect{1, 1, 10, 10}));
    EXPECT_FALSE(FormulaRecognizer::recognize(formula::Input{}));
    // Glyphs nothing names (no Unicode, no glyph name) are not read as a formula.
    formula::Input unnamed;
    for (int i = 0; i < 4; ++i) {
        formula::Glyph g;
        g.fontName = "T3Font_0";
        g.size = 10;
        g.origin = Point{10.0 + 6 * i, 20};
        g.advance = 6;
        g.ink = Rect{10.0 + 6 * i, 13, 5, 7};
        unnamed.glyphs.push_back(g);
    }
    EXPECT_FALSE(FormulaRecognizer::recognize(unnamed));
}

} // namespace
