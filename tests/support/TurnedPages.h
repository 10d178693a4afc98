#pragma once

#include "core/Geometry.h"
#include "support/Fixtures.h"

#include <string>
#include <vector>

namespace ombrix::testing {

// One US Letter page per rotation, each turned by its /Rotate with three lines of text
// drawn turned the same way, so they read upright, one under the other, as the page is
// shown (a landscape page as scanners and word processors write it).
struct TurnedPages {
    static constexpr double kLeft = 72;                      // shown x of each line's start
    static constexpr double kBaselines[3] = {100, 124, 148}; // shown y of the baselines
    static const std::vector<std::string>& lines();          // their text, top to bottom

    std::vector<int> rotations;
    FixtureDocument document;

    explicit TurnedPages(std::vector<int> rotations);
    // Line `line` of page `page` in display space (origin top left, y down), from its
    // font's descender to its ascender.
    Rect shownLine(int page, int line) const;
};

} // namespace ombrix::testing
