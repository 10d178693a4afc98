#include "support/TurnedPages.h"

namespace ombrix::testing {

namespace {

constexpr double kWidth = 612, kHeight = 792;

// Between page space and the page as shown turned clockwise by `rotation`, worked out by
// hand rather than taken from the code under test.
Point pageFromShown(int rotation, Point s) {
    switch (rotation) {
    case 90:
        return {s.y, s.x};
    case 180:
        return {kWidth - s.x, s.y};
    case 270:
        return {kWidth - s.y, kHeight - s.x};
    default:
        return {s.x, kHeight - s.y};
    }
}

Point shownFromPage(int rotation, Point p) {
    switch (rotation) {
    case 90:
        return {p.y, p.x};
    case 180:
        return {kWidth - p.x, p.y};
    case 270:
        return {kHeight - p.y, kWidth - p.x};
    default:
        return {p.x, kHeight - p.y};
    }
}

} // namespace

const std::vector<std::string>& TurnedPages::lines() {
    static const std::vector<std::string> text = {
        "First line of the turned page.",
        "Second line sits in the middle.",
        "Third line closes the page.",
    };
    return text;
}

TurnedPages::TurnedPages(std::vector<int> turns) : rotations(std::move(turns)) {
    for (int rotation : rotations) {
        FixturePage page;
        page.rotation = rotation;
        for (int i = 0; i < 3; ++i) {
            const Point origin = pageFromShown(rotation, Point{kLeft, kBaselines[i]});
            TextRun run;
            run.text = lines()[std::size_t(i)];
            run.x = origin.x;
            run.y = origin.y;
            run.size = 12;
            run.angle = rotation;
            page.runs.push_back(run);
        }
        document.pages.push_back(std::move(page));
    }
}

Rect TurnedPages::shownLine(int page, int line) const {
    const int rotation = rotations[std::size_t(page)];
    const Rect r = textBounds(document.pages[std::size_t(page)].runs[std::size_t(line)]);
    const Point a = shownFromPage(rotation, Point{r.minX(), r.minY()});
    const Point b = shownFromPage(rotation, Point{r.maxX(), r.maxY()});
    return Rect::fromEdges(a.x, a.y, b.x, b.y);
}

} // namespace ombrix::testing
