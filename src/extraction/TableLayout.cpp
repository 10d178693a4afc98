#include "extraction/TableLayout.h"

#include "core/HtmlEscape.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <utility>

namespace ombrix::table {

namespace {

// Fractions of the median word height.
constexpr double kPhraseGap = 0.4;     // a wider gap between words may part two cells
constexpr double kColumnGap = 0.4;     // the narrowest gap that parts columns without a rule
constexpr double kSpaceWidth = 0.3;    // a word space
constexpr double kRuleThickness = 2.5; // points: thinner drawn boxes are rules

struct Line {
    std::vector<int> words; // left to right
    double top = 0, bottom = 0, mid = 0;
};

// Words of one line that share a cell, and the columns they cover.
struct Group {
    std::vector<int> words;
    double minX = 0, maxX = 0;
    int first = 0, last = 0;
};

struct LineCells {
    std::vector<Group> groups;
    bool spansAll = false;
};

double median(std::vector<double> values) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

bool overlapsVertically(const Rect& r, double bottom, double top, double share) {
    const double overlap = std::min(r.maxY(), top) - std::max(r.minY(), bottom);
    return overlap >= share * (top - bottom);
}

class Layout {
public:
    Layout(const std::vector<std::vector<int>>& lineWords, const std::vector<FormattedWord>& words,
           const TableRules& rules)
        : words_(words), rules_(rules) {
        std::vector<double> heights;
        for (const auto& w : words) {
            heights.push_back(std::abs(w.bounds.height));
        }
        height_ = std::max(median(heights), 1.0);
        left_ = std::numeric_limits<double>::infinity();
        right_ = -left_;
        for (const auto& w : words) {
            left_ = std::min(left_, w.bounds.minX());
            right_ = std::max(right_, w.bounds.maxX());
        }
        for (const auto& positions : lineWords) {
            if (positions.empty()) {
                continue;
            }
            Line line;
            line.words = positions;
            std::stable_sort(line.words.begin(), line.words.end(),
                             [&](int a, int b) { return box(a).minX() < box(b).minX(); });
            line.top = -std::numeric_limits<double>::infinity();
            line.bottom = std::numeric_limits<double>::infinity();
            double sum = 0;
            for (int p : line.words) {
                line.top = std::max(line.top, box(p).maxY());
                line.bottom = std::min(line.bottom, box(p).minY());
                sum += box(p).midY();
            }
            line.mid = sum / double(line.words.size());
            lines_.push_back(std::move(line));
        }
    }

    TableGrid run() {
        TableGrid grid;
        if (lines_.empty()) {
            return grid;
        }
        findSeparators();
        grid.columns = int(separators_.size()) + 1;
        for (const auto& line : lines_) {
            cells_.push_back(groupLine(line));
        }
        const auto rows = joinWrappedLines();
        for (const auto& lineIndexes : rows) {
            grid.rows.push_back(makeRow(lineIndexes, grid.columns));
        }
        markHeaders(grid, rows);
        return grid;
    }

private:
    const Rect& box(int p) const { return words_[std::size_t(p)].bounds; }

    bool ruleBetween(const Line& line, double x0, double x1) const {
        return std::any_of(rules_.vertical.begin(), rules_.vertical.end(), [&](const Rect& r) {
            return r.midX() > x0 && r.midX() < x1 &&
                   overlapsVertically(r, line.bottom, line.top, 0.5);
        });
    }

    // Runs of words closer than a gap and not parted by a rule.
    std::vector<std::pair<double, double>> phrases(const Line& line) const {
        std::vector<std::pair<double, double>> out;
        for (std::size_t i = 0; i < line.words.size(); ++i) {
            const Rect& b = box(line.words[i]);
            if (i > 0) {
                const Rect& prev = box(line.words[i - 1]);
                const bool apart = b.minX() - prev.maxX() >= kPhraseGap * height_ ||
                                   ruleBetween(line, prev.midX(), b.midX());
                if (!apart) {
                    out.back().second = std::max(out.back().second, b.maxX());
                    continue;
                }
            }
            out.emplace_back(b.minX(), b.maxX());
        }
        return out;
    }

    // Column separators: where few lines have text compared with the columns on either side
    // (a title or a spanning header may cross), the stretches with the fewest; and the
    // vertical rules found there.
    void findSeparators() {
        std::vector<std::pair<double, double>> all;
        for (const auto& line : lines_) {
            const auto p = phrases(line);
            all.insert(all.end(), p.begin(), p.end());
        }
        std::vector<double> points;
        for (const auto& [a, b] : all) {
            points.push_back(a);
            points.push_back(b);
        }
        std::sort(points.begin(), points.end());
        points.erase(std::unique(points.begin(), points.end()), points.end());
        if (points.size() < 2) {
            return;
        }
        const std::size_t n = points.size() - 1;
        std::vector<int> count(n, 0);
        for (std::size_t k = 0; k < n; ++k) {
            for (const auto& [a, b] : all) {
                if (a <= points[k] && b >= points[k + 1]) {
                    ++count[k];
                }
            }
        }
        std::vector<int> before(n, 0), after(n, 0);
        for (std::size_t k = 1; k < n; ++k) {
            before[k] = std::max(before[k - 1], count[k - 1]);
        }
        for (std::size_t k = n - 1; k-- > 0;) {
            after[k] = std::max(after[k + 1], count[k + 1]);
        }
        auto low = [&](std::size_t k) {
            const int side = std::min(before[k], after[k]);
            return side > 0 && count[k] * 3 <= side;
        };
        const double top = lines_.front().top, bottom = lines_.back().bottom;
        // A table framed by vertical rules with rules inside: the rules are its columns.
        auto tall = [&](const Rect& r) {
            return overlapsVertically(r, bottom, top, 0.5) && r.height >= height_ * 0.8;
        };
        auto ruleAt = [&](auto test) {
            return std::any_of(rules_.vertical.begin(), rules_.vertical.end(),
                               [&](const Rect& r) { return tall(r) && test(r.midX()); });
        };
        gridded_ = ruleAt([&](double x) { return x <= left_; }) &&
                   ruleAt([&](double x) { return x >= right_; }) &&
                   ruleAt([&](double x) { return x > left_ && x < right_; });
        for (std::size_t k = 0; k < n;) {
            if (!low(k)) {
                ++k;
                continue;
            }
            std::size_t end = k;
            int least = count[k];
            while (end < n && low(end)) {
                least = std::min(least, count[end]);
                ++end;
            }
            const double from = points[k], to = points[end];
            // Vertical rules in the low stretch part the columns where they stand.
            std::vector<double> ruled;
            for (const auto& r : rules_.vertical) {
                if (r.midX() >= from && r.midX() <= to && overlapsVertically(r, bottom, top, 0) &&
                    r.height >= height_ * 0.8) {
                    ruled.push_back(r.midX());
                }
            }
            std::sort(ruled.begin(), ruled.end());
            for (double x : ruled) {
                if (separators_.empty() || x - separators_.back() > height_ * kColumnGap) {
                    separators_.push_back(x);
                }
            }
            if (ruled.empty() && !gridded_) {
                // Every stretch with the fewest lines, wide enough to be a gap; or, when the
                // low stretch as a whole is that wide, its widest stretch with the fewest.
                double widest = 0, widestAt = 0;
                bool found = false;
                for (std::size_t s = k; s < end;) {
                    if (count[s] != least) {
                        ++s;
                        continue;
                    }
                    std::size_t e = s;
                    while (e < end && count[e] == least) {
                        ++e;
                    }
                    const double width = points[e] - points[s];
                    if (width >= kColumnGap * height_) {
                        separators_.push_back((points[s] + points[e]) / 2);
                        if (least > 0) {
                            crossed_.emplace_back(from, to);
                        }
                        found = true;
                    }
                    if (width > widest) {
                        widest = width;
                        widestAt = (points[s] + points[e]) / 2;
                    }
                    s = e;
                }
                if (!found && least == 0 && to - from >= kColumnGap * height_ && widest > 0) {
                    separators_.push_back(widestAt);
                }
            }
            k = end;
        }
        std::sort(separators_.begin(), separators_.end());
        if (!gridded_) {
            findAlignedSeparators();
        }
    }

    // Columns set closer than a word space: a stretch no word of any line crosses, with
    // most lines' words starting right after it or ending right before it.
    void findAlignedSeparators() {
        std::vector<std::pair<double, double>> extents;
        for (const auto& w : words_) {
            extents.emplace_back(w.bounds.minX(), w.bounds.maxX());
        }
        std::sort(extents.begin(), extents.end());
        const double near = kSpaceWidth * height_;
        const std::size_t needed = std::max<std::size_t>(3, (lines_.size() * 3 + 3) / 4);
        double reach = extents.empty() ? 0 : extents.front().second;
        for (const auto& [a, b] : extents) {
            if (a - reach >= 1.0 && !separatorBetween(reach, a)) {
                std::size_t before = 0, after = 0;
                for (const auto& line : lines_) {
                    bool ends = false, starts = false;
                    for (int p : line.words) {
                        ends = ends || (box(p).maxX() <= reach && box(p).maxX() >= reach - near);
                        starts = starts || (box(p).minX() >= a && box(p).minX() <= a + near);
                    }
                    before += ends;
                    after += starts;
                }
                std::size_t startsSoon = 0, endsLately = 0;
                for (const auto& line : lines_) {
                    bool starts = false, ends = false;
                    for (int p : line.words) {
                        starts = starts || (box(p).minX() >= a && box(p).minX() <= a + 2 * height_);
                        ends = ends ||
                               (box(p).maxX() <= reach && box(p).maxX() >= reach - 2 * height_);
                    }
                    startsSoon += starts;
                    endsLately += ends;
                }
                // Aligned on one side, and a column close by on the other.
                const double at = (reach + a) / 2;
                auto inCrossed = [&](double s) {
                    return std::any_of(crossed_.begin(), crossed_.end(), [&](const auto& c) {
                        return s >= c.first && s <= c.second && at >= c.first && at <= c.second;
                    });
                };
                const bool apart =
                    std::none_of(separators_.begin(), separators_.end(), [&](double s) {
                        return std::abs(s - at) < 1.5 * height_ && !inCrossed(s);
                    });
                if (apart && ((before >= needed && startsSoon >= needed) ||
                              (after >= needed && endsLately >= needed))) {
                    tight_.push_back(at);
                }
            }
            reach = std::max(reach, b);
        }
        // A stretch that a line crosses gives way to a clear gap in it.
        for (const auto& [from, to] : crossed_) {
            if (std::any_of(tight_.begin(), tight_.end(),
                            [&](double t) { return t >= from && t <= to; })) {
                std::erase_if(separators_, [&](double s) { return s >= from && s <= to; });
            }
        }
        separators_.insert(separators_.end(), tight_.begin(), tight_.end());
        std::sort(separators_.begin(), separators_.end());
        dropLoneColumns();
    }

    // A column that only one line has words in (a header centred over narrow cells) joins
    // the neighbour it stands closer to.
    void dropLoneColumns() {
        if (lines_.size() < 3) {
            return;
        }
        for (bool changed = true; changed && !separators_.empty();) {
            changed = false;
            const std::size_t columns = separators_.size() + 1;
            for (std::size_t c = 0; c < columns && !changed; ++c) {
                const double from =
                    c == 0 ? -std::numeric_limits<double>::infinity() : separators_[c - 1];
                const double to =
                    c + 1 == columns ? std::numeric_limits<double>::infinity() : separators_[c];
                int linesIn = 0;
                double minX = to, maxX = from;
                for (const auto& line : lines_) {
                    bool in = false;
                    for (int p : line.words) {
                        const double mid = box(p).midX();
                        if (mid > from && mid < to) {
                            in = true;
                            minX = std::min(minX, box(p).minX());
                            maxX = std::max(maxX, box(p).maxX());
                        }
                    }
                    linesIn += in;
                }
                if (linesIn != 1) {
                    continue;
                }
                const bool left = c > 0 && (c + 1 == columns || minX - from <= to - maxX);
                separators_.erase(separators_.begin() + std::ptrdiff_t(left ? c - 1 : c));
                changed = true;
            }
        }
    }

    bool tightSeparatorBetween(double x0, double x1) const {
        return std::any_of(tight_.begin(), tight_.end(),
                           [&](double s) { return s > x0 && s < x1; });
    }

    int columnOf(double x) const {
        return int(std::upper_bound(separators_.begin(), separators_.end(), x) -
                   separators_.begin());
    }

    bool separatorBetween(double x0, double x1) const {
        return std::any_of(separators_.begin(), separators_.end(),
                           [&](double s) { return s >= x0 - 0.5 && s <= x1 + 0.5; });
    }

    LineCells groupLine(const Line& line) const {
        LineCells cells;
        std::vector<Group>& groups = cells.groups;
        for (std::size_t i = 0; i < line.words.size(); ++i) {
            const int p = line.words[i];
            const Rect& b = box(p);
            if (i > 0) {
                const Rect& prev = box(line.words[i - 1]);
                const bool rule = ruleBetween(line, prev.midX(), b.midX());
                const bool phraseGap = b.minX() - prev.maxX() >= kPhraseGap * height_;
                const bool apart = rule || (phraseGap && separatorBetween(prev.maxX(), b.minX())) ||
                                   tightSeparatorBetween(prev.maxX(), b.minX());
                if (!apart) {
                    groups.back().words.push_back(p);
                    groups.back().maxX = std::max(groups.back().maxX, b.maxX());
                    continue;
                }
            }
            groups.push_back(Group{{p}, b.minX(), b.maxX(), 0, 0});
        }
        const double slack = height_ * 0.1;
        std::vector<Group> merged;
        for (auto& g : groups) {
            g.first = columnOf(g.minX + slack);
            g.last = std::max(g.first, columnOf(g.maxX - slack));
            if (!merged.empty() && g.first <= merged.back().last) {
                // Two stretches of one cell (wide word spaces): one group.
                auto& m = merged.back();
                m.words.insert(m.words.end(), g.words.begin(), g.words.end());
                m.maxX = std::max(m.maxX, g.maxX);
                m.last = std::max(m.last, g.last);
            } else {
                merged.push_back(std::move(g));
            }
        }
        groups = std::move(merged);
        const int columns = int(separators_.size()) + 1;
        cells.spansAll = columns > 1 && groups.size() == 1 && groups[0].first == 0 &&
                         groups[0].last == columns - 1;
        return cells;
    }

    // Rules between the two lines covering at least half of [x0, x1] (rules drawn cell by
    // cell add up).
    bool horizontalRuleBetween(const Line& above, const Line& below, double x0, double x1) const {
        std::vector<std::pair<double, double>> spans;
        for (const auto& r : rules_.horizontal) {
            if (r.midY() < above.mid && r.midY() > below.mid) {
                spans.emplace_back(std::max(r.minX(), x0), std::min(r.maxX(), x1));
            }
        }
        std::sort(spans.begin(), spans.end());
        double covered = 0, reach = x0;
        for (const auto& [a, b] : spans) {
            if (b > reach) {
                covered += b - std::max(a, reach);
                reach = b;
            }
        }
        return covered >= 0.5 * std::max(x1 - x0, 1.0);
    }

    // Every group of the lower line continues a group of the upper one in the same columns.
    bool wrapShaped(std::size_t upper, std::size_t lower) const {
        const auto& a = cells_[upper];
        const auto& b = cells_[lower];
        if (a.spansAll || b.spansAll || b.groups.empty()) {
            return false;
        }
        for (const auto& g : b.groups) {
            const auto match = std::find_if(a.groups.begin(), a.groups.end(), [&](const Group& h) {
                return h.first == g.first && h.last == g.last;
            });
            if (match == a.groups.end()) {
                return false;
            }
            const auto& last = words_[std::size_t(match->words.back())];
            const auto& next = words_[std::size_t(g.words.front())];
            if (last.isBold != next.isBold || last.isItalic != next.isItalic) {
                return false;
            }
        }
        return true;
    }

    // The lower line's first word of each cell would not have fitted on the upper line.
    bool wouldNotFit(std::size_t upper, std::size_t lower) const {
        for (const auto& g : cells_[lower].groups) {
            double right = -std::numeric_limits<double>::infinity();
            for (const auto& line : cells_) {
                for (const auto& h : line.groups) {
                    if (h.first == g.first && h.last == g.last) {
                        right = std::max(right, h.maxX);
                    }
                }
            }
            const auto& above = *std::find_if(
                cells_[upper].groups.begin(), cells_[upper].groups.end(),
                [&](const Group& h) { return h.first == g.first && h.last == g.last; });
            const double width = std::abs(box(g.words.front()).width);
            // A one-word cell over another is a column of values, not a paragraph.
            if (above.words.size() < 2) {
                return false;
            }
            if (above.maxX + kSpaceWidth * height_ + width <= right + 0.5) {
                return false;
            }
        }
        return true;
    }

    bool allBold(std::size_t line) const {
        return std::all_of(lines_[line].words.begin(), lines_[line].words.end(),
                           [&](int p) { return words_[std::size_t(p)].isBold; });
    }

    // Two bold lines over a body that is not bold, set as tight as lines of text, whose cells
    // meet only in the same columns: one header row broken over two lines ("Unit" over
    // "price").
    bool headerLines(std::size_t upper, std::size_t lower, bool rule, double tightest) const {
        const auto& a = cells_[upper];
        const auto& b = cells_[lower];
        if (rule || a.spansAll || b.spansAll || !allBold(upper) || !allBold(lower) ||
            lines_[upper].mid - lines_[lower].mid > 1.12 * tightest) {
            return false;
        }
        bool bodyBelow = false;
        for (std::size_t k = lower + 1; k < lines_.size() && !bodyBelow; ++k) {
            bodyBelow = !allBold(k);
        }
        const int columns = int(separators_.size()) + 1;
        if (!bodyBelow || (int(a.groups.size()) >= columns && int(b.groups.size()) >= columns)) {
            return false;
        }
        for (const auto& g : b.groups) {
            for (const auto& h : a.groups) {
                const bool overlap = g.first <= h.last && h.first <= g.last;
                if (overlap && (g.first != h.first || g.last != h.last)) {
                    return false;
                }
            }
        }
        return true;
    }

    std::vector<std::vector<std::size_t>> joinWrappedLines() const {
        const std::size_t n = lines_.size();
        double x0 = std::numeric_limits<double>::infinity(), x1 = -x0;
        for (const auto& w : words_) {
            x0 = std::min(x0, w.bounds.minX());
            x1 = std::max(x1, w.bounds.maxX());
        }
        // How the table marks its rows: a rule between rows, or more space between rows
        // than between the lines of a cell (pitches next to a rule or a spanning line do
        // not count: rules and titles bring space of their own).
        // Ruled: rules between the lines of the body, not only under the header.
        std::size_t firstFull = 0;
        while (firstFull < n && cells_[firstFull].groups.size() < 2) {
            ++firstFull;
        }
        int bodyPairs = 0, ruledPairs = 0;
        std::vector<double> pitches;
        for (std::size_t i = 1; i < n; ++i) {
            const bool rule = horizontalRuleBetween(lines_[i - 1], lines_[i], x0, x1);
            const bool spanning = cells_[i].spansAll || cells_[i - 1].spansAll;
            if (i > firstFull + 1) {
                ++bodyPairs;
                ruledPairs += rule;
            }
            if (!rule && !spanning) {
                pitches.push_back(lines_[i - 1].mid - lines_[i].mid);
            }
        }
        const bool ruled = ruledPairs >= 2 && ruledPairs * 4 >= bodyPairs;
        const double tightest =
            pitches.empty() ? 0 : *std::min_element(pitches.begin(), pitches.end());
        const bool spaced = std::any_of(pitches.begin(), pitches.end(),
                                        [&](double p) { return p >= 1.25 * tightest; });

        std::vector<std::vector<std::size_t>> rows;
        for (std::size_t i = 0; i < n; ++i) {
            if (!rows.empty()) {
                const std::size_t upper = rows.back().back();
                const bool rule = horizontalRuleBetween(lines_[upper], lines_[i], x0, x1);
                // In a ruled table the rules alone part rows: a cell's lines may stand
                // above and below the middle of its neighbours.
                const int columns = int(separators_.size()) + 1;
                const bool bothFull = int(cells_[i].groups.size()) >= columns &&
                                      int(cells_[upper].groups.size()) >= columns;
                bool join =
                    ruled ? !rule && !cells_[i].spansAll && !cells_[upper].spansAll && !bothFull
                          : wrapShaped(upper, i) && !rule;
                if (join && !ruled) {
                    // Without rules, a line with text in every column the line above has
                    // is a row of its own.
                    const double pitch = lines_[upper].mid - lines_[i].mid;
                    join = cells_[i].groups.size() < cells_[rows.back().front()].groups.size() &&
                           (spaced ? pitch <= 1.12 * tightest : wouldNotFit(upper, i));
                }
                join = join || headerLines(upper, i, rule, tightest);
                if (join) {
                    rows.back().push_back(i);
                    continue;
                }
            }
            rows.push_back({i});
        }
        return rows;
    }

    std::vector<FormattedWord> groupWords(const Group& g) const {
        std::vector<FormattedWord> out;
        for (int p : g.words) {
            out.push_back(words_[std::size_t(p)]);
        }
        return out;
    }

    // A word broken at the end of a cell's line joins its rest on the next line.
    static void appendLine(std::vector<FormattedWord>& cell, std::vector<FormattedWord> more) {
        if (!cell.empty() && !more.empty()) {
            std::string& tail = cell.back().text;
            const std::string& head = more.front().text;
            if (tail.size() >= 2 && tail.back() == '-' &&
                std::isalpha(static_cast<unsigned char>(tail[tail.size() - 2])) &&
                std::islower(static_cast<unsigned char>(head[0]))) {
                tail.pop_back();
                tail += head;
                more.erase(more.begin());
            }
        }
        cell.insert(cell.end(), more.begin(), more.end());
    }

    TableRow makeRow(const std::vector<std::size_t>& lineIndexes, int columns) const {
        TableRow row;
        const LineCells& first = cells_[lineIndexes.front()];
        // A line of one cell that starts the table's first column, crosses columns or
        // stands centred over the table (a title, a section heading) spans the row.
        bool spans = first.spansAll;
        if (lineIndexes.size() == 1 && columns > 1 && first.groups.size() == 1) {
            const Group& g = first.groups[0];
            spans = g.first == 0 || g.last > g.first ||
                    std::abs((g.minX + g.maxX) / 2 - (left_ + right_) / 2) < 0.1 * (right_ - left_);
        }
        if (spans) {
            row.cells.push_back(TableCell{groupWords(first.groups[0]), columns});
            return row;
        }
        std::vector<TableCell> slots{std::size_t(columns)};
        std::vector<int> spanOf(std::size_t(columns), 0);
        for (std::size_t li : lineIndexes) {
            for (const auto& g : cells_[li].groups) {
                auto& slot = slots[std::size_t(g.first)];
                appendLine(slot.words, groupWords(g));
                spanOf[std::size_t(g.first)] =
                    std::max(spanOf[std::size_t(g.first)], g.last - g.first + 1);
            }
        }
        for (int c = 0; c < columns;) {
            TableCell cell = std::move(slots[std::size_t(c)]);
            cell.colspan = std::max(1, spanOf[std::size_t(c)]);
            cell.colspan = std::min(cell.colspan, columns - c);
            // Words of covered columns stay in the spanning cell.
            for (int k = c + 1; k < c + cell.colspan; ++k) {
                appendLine(cell.words, std::move(slots[std::size_t(k)].words));
            }
            c += cell.colspan;
            row.cells.push_back(std::move(cell));
        }
        return row;
    }

    void markHeaders(TableGrid& grid, const std::vector<std::vector<std::size_t>>& rows) const {
        auto allBold = [](const TableRow& row) {
            bool any = false;
            for (const auto& cell : row.cells) {
                for (const auto& w : cell.words) {
                    if (!w.isBold) {
                        return false;
                    }
                    any = true;
                }
            }
            return any;
        };
        auto spanning = [](const TableRow& row) { return row.cells.size() == 1; };
        std::size_t headers = std::min<std::size_t>(2, grid.rows.size());
        // Bold leading rows over a body that is not bold.
        std::size_t k = 0;
        bool boldRow = false;
        while (k < grid.rows.size() && (allBold(grid.rows[k]) || spanning(grid.rows[k]))) {
            boldRow = boldRow || (allBold(grid.rows[k]) && !spanning(grid.rows[k]));
            ++k;
        }
        if (boldRow && k < grid.rows.size()) {
            headers = k;
            grid.headerRule = HeaderRule::boldText;
        } else {
            // A rule under one of the first rows, in a table not ruled under every row.
            double x0 = std::numeric_limits<double>::infinity(), x1 = -x0;
            for (const auto& w : words_) {
                x0 = std::min(x0, w.bounds.minX());
                x1 = std::max(x1, w.bounds.maxX());
            }
            for (std::size_t r = 0; r + 1 < rows.size() && r < 3; ++r) {
                if (horizontalRuleBetween(lines_[rows[r].back()], lines_[rows[r + 1].front()], x0,
                                          x1)) {
                    headers = r + 1;
                    grid.headerRule = HeaderRule::rules;
                    break;
                }
            }
        }
        for (std::size_t r = 0; r < grid.rows.size(); ++r) {
            grid.rows[r].header = r < headers;
        }
    }

    const std::vector<FormattedWord>& words_;
    const TableRules& rules_;
    double height_ = 1;
    double left_ = 0, right_ = 0; // of all words
    std::vector<Line> lines_;
    std::vector<double> separators_;
    std::vector<double> tight_;                      // separators narrower than a phrase gap
    std::vector<std::pair<double, double>> crossed_; // low stretches some line crosses
    bool gridded_ = false;
    std::vector<LineCells> cells_;
};

std::string csvField(const std::string& s) {
    if (s.find_first_of(",\"\r\n") == std::string::npos) {
        return s;
    }
    std::string out = "\"";
    for (char c : s) {
        out += c;
        if (c == '"') {
            out += '"';
        }
    }
    return out + "\"";
}

std::string markdownCell(const TableCell& cell) {
    // Runs of words in one style share their emphasis marks.
    std::string out;
    for (std::size_t i = 0; i < cell.words.size();) {
        const auto& first = cell.words[i];
        std::string run;
        std::size_t j = i;
        for (; j < cell.words.size() && cell.words[j].isBold == first.isBold &&
               cell.words[j].isItalic == first.isItalic;
             ++j) {
            run += j > i ? " " : "";
            for (char c : cell.words[j].text) {
                if (c == '|' || c == '\\' || c == '*' || c == '_') {
                    run += '\\';
                }
                run += c;
            }
        }
        const std::string mark = first.isBold && first.isItalic ? "***"
                                 : first.isBold                 ? "**"
                                 : first.isItalic               ? "*"
                                                                : "";
        out += (out.empty() ? "" : " ") + mark + run + mark;
        i = j;
    }
    return out;
}

// Each row as its columns' texts; a spanning cell fills its first column.
template <class CellText>
std::vector<std::vector<std::string>> columnTexts(const TableGrid& grid, CellText cellText) {
    std::vector<std::vector<std::string>> out;
    for (const auto& row : grid.rows) {
        std::vector<std::string> fields;
        for (const auto& cell : row.cells) {
            fields.push_back(cellText(cell));
            for (int k = 1; k < cell.colspan; ++k) {
                fields.emplace_back();
            }
        }
        fields.resize(std::size_t(std::max(grid.columns, 1)));
        out.push_back(std::move(fields));
    }
    return out;
}

} // namespace

TableRules classifyRules(const std::vector<Rect>& drawn, const Rect& region) {
    TableRules rules;
    const Rect area = region.standardized().insetBy(-2, -2);
    auto add = [&](const Rect& r) {
        if (!r.intersects(area) && !area.contains(r)) {
            return;
        }
        if (r.width <= kRuleThickness && r.height > r.width * 3) {
            rules.vertical.push_back(r);
        } else if (r.height <= kRuleThickness && r.width > r.height * 3) {
            rules.horizontal.push_back(r);
        }
    };
    for (const Rect& raw : drawn) {
        const Rect r = raw.standardized();
        if (r.width <= kRuleThickness || r.height <= kRuleThickness) {
            add(r);
            continue;
        }
        // A filled cell or row: its edges part it from its neighbours.
        add(Rect{r.minX(), r.minY(), 0.1, r.height});
        add(Rect{r.maxX() - 0.1, r.minY(), 0.1, r.height});
        add(Rect{r.minX(), r.minY(), r.width, 0.1});
        add(Rect{r.minX(), r.maxY() - 0.1, r.width, 0.1});
    }
    return rules;
}

TableGrid layoutTable(const std::vector<std::vector<int>>& lines,
                      const std::vector<FormattedWord>& words, const TableRules& rules) {
    return Layout(lines, words, rules).run();
}

std::string cellText(const TableCell& cell) {
    std::string out;
    for (const auto& w : cell.words) {
        out += (out.empty() ? "" : " ") + w.text;
    }
    return out;
}

std::string toHTML(const TableGrid& grid) {
    if (grid.rows.empty()) {
        return {};
    }
    std::string html = "<table style=\"" + std::string(kTableStyle) + "\">\n";
    for (const auto& row : grid.rows) {
        html += "  <tr>\n";
        const bool spanning = row.cells.size() == 1 && grid.columns > 1;
        for (const auto& cell : row.cells) {
            const bool header = row.header || spanning;
            std::string open = header ? "    <th" : "    <td";
            if (cell.colspan > 1) {
                open += " colspan=\"" + std::to_string(cell.colspan) + "\"";
            }
            open += " style=\"";
            open += header ? kHeaderStyle : kDataStyle;
            open += "\">";
            html += open + cellHTML(cell.words) + (header ? "</th>\n" : "</td>\n");
        }
        html += "  </tr>\n";
    }
    html += "</table>";
    return html;
}

std::string toCSV(const TableGrid& grid) {
    std::string out;
    for (const auto& fields : columnTexts(grid, cellText)) {
        for (std::size_t i = 0; i < fields.size(); ++i) {
            out += (i ? "," : "") + csvField(fields[i]);
        }
        out += "\r\n";
    }
    return out;
}

std::string toTabSeparated(const TableGrid& grid) {
    std::string out;
    for (const auto& fields : columnTexts(grid, cellText)) {
        for (std::size_t i = 0; i < fields.size(); ++i) {
            std::string field = fields[i];
            // A tab or line break inside a cell would shift every cell after it.
            std::replace_if(
                field.begin(), field.end(),
                [](char c) { return c == '\t' || c == '\n' || c == '\r'; }, ' ');
            out += (i ? "\t" : "") + field;
        }
        out += "\n";
    }
    return out;
}

namespace {

// The start of an element `<name` (followed by a space or '>'), from `from` on.
std::size_t findTag(const std::string& html, const std::string& name, std::size_t from) {
    for (auto at = html.find("<" + name, from); at != std::string::npos;
         at = html.find("<" + name, at + 1)) {
        const std::size_t next = at + 1 + name.size();
        if (next < html.size() && (html[next] == ' ' || html[next] == '>')) {
            return at;
        }
    }
    return std::string::npos;
}

// A cell's content as plain text: tags dropped, entities decoded, white space collapsed.
std::string plainCell(const std::string& content) {
    std::string text;
    bool inTag = false;
    for (char c : content) {
        if (c == '<') {
            inTag = true;
        } else if (c == '>') {
            inTag = false;
        } else if (!inTag) {
            text += c;
        }
    }
    static const std::pair<const char*, const char*> kEntities[] = {
        {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&#39;", "'"}, {"&amp;", "&"}};
    for (const auto& [entity, character] : kEntities) {
        const std::string from = entity;
        for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + 1)) {
            text.replace(at, from.size(), character);
        }
    }
    std::string out;
    for (char c : text) {
        const bool space = c == ' ' || c == '\t' || c == '\n' || c == '\r';
        if (space) {
            if (!out.empty() && out.back() != ' ') {
                out += ' ';
            }
        } else {
            out += c;
        }
    }
    if (!out.empty() && out.back() == ' ') {
        out.pop_back();
    }
    return out;
}

} // namespace

std::string tabSeparatedFromHTML(const std::string& html) {
    std::string out;
    for (auto row = findTag(html, "tr", 0); row != std::string::npos;
         row = findTag(html, "tr", row + 1)) {
        const auto rowEnd = html.find("</tr>", row);
        const auto limit = rowEnd == std::string::npos ? html.size() : rowEnd;
        std::vector<std::string> fields;
        for (std::size_t at = row + 3; at < limit;) {
            const auto td = findTag(html, "td", at);
            const auto th = findTag(html, "th", at);
            const auto cell = std::min(td, th);
            if (cell == std::string::npos || cell >= limit) {
                break;
            }
            const bool header = cell == th;
            const auto open = html.find('>', cell);
            if (open == std::string::npos || open >= limit) {
                break;
            }
            int colspan = 1;
            const std::string tag = html.substr(cell, open - cell);
            if (auto span = tag.find("colspan=\""); span != std::string::npos) {
                colspan = std::clamp(std::atoi(tag.c_str() + span + 9), 1, 1000);
            }
            auto close = html.find(header ? "</th>" : "</td>", open);
            if (close == std::string::npos || close > limit) {
                close = limit;
            }
            fields.push_back(plainCell(html.substr(open + 1, close - open - 1)));
            fields.insert(fields.end(), std::size_t(colspan - 1), std::string());
            at = close;
        }
        for (std::size_t i = 0; i < fields.size(); ++i) {
            out += (i ? "\t" : "") + fields[i];
        }
        out += "\n";
        if (rowEnd == std::string::npos) {
            break;
        }
    }
    return out;
}

std::string toMarkdown(const TableGrid& grid) {
    std::string out;
    const auto rows = columnTexts(grid, markdownCell);
    for (std::size_t r = 0; r < rows.size(); ++r) {
        out += "|";
        for (const auto& field : rows[r]) {
            out += field.empty() ? " |" : " " + field + " |";
        }
        out += "\n";
        if (r == 0) {
            out += "|";
            for (std::size_t c = 0; c < rows[r].size(); ++c) {
                out += " --- |";
            }
            out += "\n";
        }
    }
    return out;
}

std::string fontNameForStyle(const std::string& name) {
    std::string out;
    for (char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (c != '\'' && c != '\\' && u >= 0x20 && u != 0x7F) {
            out += c;
        }
    }
    return out;
}

std::string cellHTML(const std::vector<FormattedWord>& words) {
    std::string out;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const FormattedWord& word = words[i];
        std::string text = escapeHTML(word.text);
        if (word.isBold && word.isItalic) {
            text = "<b><i>" + text + "</i></b>";
        } else if (word.isBold) {
            text = "<b>" + text + "</b>";
        } else if (word.isItalic) {
            text = "<i>" + text + "</i>";
        }
        const std::string font = word.fontName ? fontNameForStyle(*word.fontName) : "";
        if (!font.empty()) {
            std::string lowered = font;
            std::transform(lowered.begin(), lowered.end(), lowered.begin(),
                           [](unsigned char c) { return char(std::tolower(c)); });
            if (lowered != "sans-serif") {
                text = "<span style=\"" + std::string(kFontStylePrefix) + escapeHTML(font) +
                       std::string(kFontStyleSuffix) + "\">" + text + "</span>";
            }
        }
        if (i > 0) {
            out += ' ';
        }
        out += text;
    }
    return out;
}

} // namespace ombrix::table
