#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "extraction/FormulaTree.h"

#include <optional>

namespace ombrix::formula {

// Rebuilds a formula from its glyphs and rules: scripts from baselines and sizes,
// fractions and roots from their rules, limits, accents, growing delimiters (also those
// built from several pieces), matrices, cases and aligned lines; an equation number at a
// line's end is left out. None when the region holds no glyph, or glyphs of which too many
// say nothing about what they are (a font without Unicode or glyph names). Any thread.
struct Layout {
    Node formula;
    int glyphCount = 0;   // glyphs that went in
    int unknownCount = 0; // of them, glyphs nothing identified
};
std::optional<Layout> analyse(const Input& input);

} // namespace ombrix::formula

OMBRIX_API_END
