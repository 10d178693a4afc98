#pragma once

// The formula corpus of tests/data/formulas: formulas.tsv holds each formula's LaTeX and
// the constructs it uses; each PDF typesets them all, one per page, with one engine and
// math font (see scripts/make-formula-corpus).

#include <filesystem>
#include <string>
#include <vector>

namespace ombrix::testing {

struct CorpusFormula {
    std::string id;
    std::vector<std::string> constructs;
    std::string latex;
};

std::filesystem::path formulaCorpusDir();
// The formulas a corpus typesets, one per page in order: those of formulas.tsv for the TeX
// corpora, those of libreoffice.tsv (StarMath sources, LaTeX truths) for LibreOffice's.
std::vector<CorpusFormula> corpusFormulas(const std::string& corpus = "pdflatex-cm");
// The typeset corpora, by name ("pdflatex-cm", "xelatex-lmmath", "libreoffice-math", …).
std::vector<std::string> formulaCorpora();

// LaTeX in the form two formulas are compared in: spacing commands, \left/\right and the
// \big family dropped, one spelling for each symbol with aliases, scripts always braced and
// the subscript first, braces around a single token dropped, the matrix environments as
// delimiters around `matrix`, no white space.
std::string normaliseLatex(const std::string& latex);

} // namespace ombrix::testing
