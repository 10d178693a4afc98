#include "extraction/FormulaLayout.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <numeric>

namespace ombrix::formula {

namespace {

// TeX's metrics that decide where things go, in em of the symbol's own size.
constexpr double kAxis = 0.25;          // the math axis above the baseline
constexpr double kNullDelimiter = 0.12; // the space a fraction keeps on either side
constexpr double kScriptSpace = 0.05;   // after a script
constexpr double kMu = 1.0 / 18;        // a math unit

struct Item {
    Rect box;
    double baseline = 0;
    double size = 10;
    double penLeft = 0, penRight = 0;
    Node node;
    Symbol sym;
    bool glyph = false;
    bool rule = false;
    bool axisCentred = false; // centred on the axis rather than sitting on a baseline
    bool limits = false;      // takes limits above and below in a display
    bool word = false;        // a run of upright text letters
    bool used = false;
    Atom atom = Atom::Ord;
};

using Items = std::vector<Item>;

Item tokenItem(const Glyph& g, const Symbol& sym) {
    Item item;
    item.glyph = true;
    item.box = g.ink;
    item.baseline = g.origin.y;
    item.size = g.size > 0 ? g.size : 10;
    item.penLeft = g.origin.x;
    item.penRight = g.origin.x + g.advance;
    if (sym.atom == Atom::Ord && sym.role == Role::Symbol && !sym.digit &&
        sym.alphabet == Alphabet::Italic && g.ink.maxX() > item.penRight) {
        // TeX adds an italic letter's overhang (its italic correction) to its width.
        item.penRight = g.ink.maxX();
    }
    item.sym = sym;
    item.atom = sym.atom;
    item.node.kind = Node::Kind::Token;
    item.node.latex = sym.latex;
    item.node.text = sym.text;
    item.node.atom = sym.atom;
    item.node.alphabet = sym.letter ? sym.alphabet : Alphabet::Italic;
    item.node.token = sym.digit ? 'n' : sym.letter ? 'i' : 'o';
    if (sym.extension || sym.role == Role::BigOp) {
        item.axisCentred = true;
    }
    if (sym.role == Role::BigOp) {
        item.limits = sym.latex.find("int") == std::string::npos;
    }
    return item;
}

Rect unionOf(const Items& items) {
    Rect r;
    bool first = true;
    for (const auto& it : items) {
        r = first ? it.box : r.united(it.box);
        first = false;
    }
    return r;
}

double medianSize(const Items& items) {
    std::vector<double> sizes;
    for (const auto& it : items) {
        if (!it.rule) {
            sizes.push_back(it.size);
        }
    }
    if (sizes.empty()) {
        return 10;
    }
    std::nth_element(sizes.begin(), sizes.begin() + sizes.size() / 2, sizes.end());
    return sizes[sizes.size() / 2];
}

Node row(std::vector<Node> kids) {
    Node n;
    n.kind = Node::Kind::Row;
    n.kids = std::move(kids);
    return n;
}

Node single(Node kid) {
    if (kid.kind == Node::Kind::Row) {
        return kid;
    }
    return row({std::move(kid)});
}

// The composite item a structure makes of its parts.
Item composite(Node node, const Items& parts, double baseline, double size) {
    Item item;
    item.node = std::move(node);
    item.box = unionOf(parts);
    item.baseline = baseline;
    item.size = size;
    item.penLeft = std::numeric_limits<double>::max();
    item.penRight = std::numeric_limits<double>::lowest();
    for (const auto& p : parts) {
        item.penLeft = std::min(item.penLeft, p.rule ? p.box.minX() : p.penLeft);
        item.penRight = std::max(item.penRight, p.rule ? p.box.maxX() : p.penRight);
    }
    return item;
}

struct Built {
    Node node;
    double baseline = 0;
    double size = 10;
    double right = 0; // where the pen ends after it
};

class Analyser {
public:
    Analyser(double topSize, bool texSpacing) : topSize_(topSize), texSpacing_(texSpacing) {}

    Built parse(Items items, const std::string& fenceOpen = {}, const std::string& fenceClose = {});

private:
    void radicals(Items& items);
    void fences(Items& items);
    void fractions(Items& items);
    void limits(Items& items);
    void accents(Items& items);
    Built rowOf(Items items);
    Built table(std::vector<Items> rows, const std::string& open, const std::string& close);
    std::vector<Items> splitRows(const Items& items) const;

    double topSize_;
    // Set by TeX: spaces beyond TeX's own between atoms were typed. Other typesetters
    // space by rules of their own, so only wide spaces count there.
    bool texSpacing_;
};

void compact(Items& items) {
    items.erase(std::remove_if(items.begin(), items.end(), [](const Item& i) { return i.used; }),
                items.end());
}

// Items whose box lies over or under a rule's stretch, nearest first, as long as they
// stay together: the numerator above a fraction bar, the denominator below it.
Items gatherBeside(Items& items, const Rect& bar, bool above, std::size_t self) {
    std::vector<std::size_t> candidates;
    for (std::size_t i = 0; i < items.size(); ++i) {
        const Item& it = items[i];
        if (i == self || it.used) {
            continue;
        }
        const double slack = 0.15 * it.size;
        if (it.box.midX() < bar.minX() - slack || it.box.midX() > bar.maxX() + slack ||
            it.box.minX() < bar.minX() - 2 * slack || it.box.maxX() > bar.maxX() + 2 * slack) {
            continue;
        }
        if (above ? it.box.maxY() > bar.midY() + 0.05 * it.size
                  : it.box.minY() < bar.midY() - 0.05 * it.size) {
            continue;
        }
        candidates.push_back(i);
    }
    auto distance = [&](std::size_t i) {
        return above ? bar.minY() - items[i].box.maxY() : items[i].box.minY() - bar.maxY();
    };
    std::sort(candidates.begin(), candidates.end(),
              [&](std::size_t a, std::size_t b) { return distance(a) < distance(b); });
    Items out;
    double reach = 0; // the cluster's far edge
    bool lastRule = false;
    for (std::size_t i : candidates) {
        const Item& it = items[i];
        const double near = above ? it.box.maxY() : it.box.minY();
        const double far = above ? it.box.minY() : it.box.maxY();
        if (out.empty()) {
            if (distance(i) > 0.8 * it.size) {
                break;
            }
            reach = far;
        } else {
            const double gap = above ? reach - near : near - reach;
            // Next to a nested fraction's bar the gaps are the bar's own clearance.
            if (gap > (it.rule || lastRule ? 0.6 : 0.3) * it.size) {
                continue;
            }
            reach = above ? std::min(reach, far) : std::max(reach, far);
        }
        // Another bar between this item and ours ends the cluster there.
        bool blocked = false;
        for (std::size_t j = 0; j < items.size(); ++j) {
            const Item& r = items[j];
            if (j == self || !r.rule || r.used || j == i) {
                continue;
            }
            if (r.box.minX() <= it.box.midX() && r.box.maxX() >= it.box.midX() &&
                (above ? (r.box.midY() < bar.minY() && r.box.midY() > it.box.maxY())
                       : (r.box.midY() > bar.maxY() && r.box.midY() < it.box.minY()))) {
                blocked = true;
                break;
            }
        }
        if (blocked) {
            continue;
        }
        out.push_back(it);
        lastRule = it.rule;
        items[i].used = true;
    }
    return out;
}

void Analyser::radicals(Items& items) {
    std::vector<std::size_t> order;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (items[i].glyph && items[i].sym.role == Role::Radical) {
            order.push_back(i);
        }
    }
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return items[a].box.height > items[b].box.height;
    });
    std::vector<Item> made;
    for (std::size_t r : order) {
        if (items[r].used) {
            continue;
        }
        const Item rad = items[r];
        const double s = rad.size;
        std::size_t bar = items.size();
        for (std::size_t j = 0; j < items.size(); ++j) {
            const Item& it = items[j];
            if (!it.rule || it.used) {
                continue;
            }
            if (std::abs(it.box.minX() - rad.box.maxX()) < 0.4 * s &&
                std::abs(it.box.minY() - rad.box.minY()) < 0.3 * s) {
                bar = j;
                break;
            }
        }
        if (bar == items.size()) {
            continue; // a lone root sign: \surd
        }
        const Rect barBox = items[bar].box;
        items[r].used = true;
        items[bar].used = true;
        Items body, index;
        for (auto& it : items) {
            if (it.used) {
                continue;
            }
            if (it.box.midX() > rad.box.maxX() - 0.1 * s && it.box.midX() < barBox.maxX() &&
                it.box.minX() > rad.box.midX() && it.box.maxX() < barBox.maxX() + 0.1 * s &&
                it.box.minY() >= barBox.minY() - 0.1 * s &&
                it.box.maxY() <= rad.box.maxY() + 0.25 * s) {
                body.push_back(it);
                it.used = true;
            } else if (it.box.maxY() <= rad.box.midY() + 0.05 * s &&
                       it.box.maxX() <= rad.box.minX() + 0.8 * rad.box.width &&
                       it.box.maxX() > rad.box.minX() - 0.4 * s &&
                       it.box.minY() >= rad.box.minY() - 1.2 * s && it.size < 0.9 * s) {
                index.push_back(it);
                it.used = true;
            }
        }
        Items parts = body;
        parts.push_back(rad);
        Item barItem = items[bar];
        parts.push_back(barItem);
        parts.insert(parts.end(), index.begin(), index.end());
        Node node;
        Built inner = parse(body);
        node.kids.push_back(single(inner.node));
        if (!index.empty()) {
            node.kind = Node::Kind::Root;
            node.kids.push_back(single(parse(index).node));
        } else {
            node.kind = Node::Kind::Sqrt;
        }
        Item item = composite(std::move(node), parts, body.empty() ? rad.baseline : inner.baseline,
                              body.empty() ? s : inner.size);
        item.penLeft = rad.penLeft;
        for (const auto& it : index) {
            // TeX sets a root's index after a kern of 5 mu.
            item.penLeft = std::min(item.penLeft, it.penLeft - 5 * kMu * s);
        }
        made.push_back(std::move(item));
    }
    compact(items);
    items.insert(items.end(), made.begin(), made.end());
}

// The size command a delimiter of this height needs, or "" when \left would choose it for
// the material between.
std::string sizingFor(double delimiterHeight, double contentTop, double contentBottom, double axisY,
                      double size) {
    const double ratio = delimiterHeight / size;
    // TeX's sized variants of ( in Computer Modern: 1, 1.2, 1.8, 2.4 and 3 em tall.
    const double variants[] = {1.0, 1.2, 1.8, 2.4, 3.0};
    int measured = 0;
    double best = 1e9;
    for (int i = 0; i < 5; ++i) {
        if (std::abs(variants[i] - ratio) < best) {
            best = std::abs(variants[i] - ratio);
            measured = i;
        }
    }
    if (ratio > 3.3) {
        return ""; // built from pieces: only \left makes those
    }
    const double delta = std::max(axisY - contentTop, contentBottom - axisY);
    const double required = std::max(2 * delta * 0.901, 2 * delta - 0.5 * size) / size;
    int chosen = 4;
    for (int i = 0; i < 5; ++i) {
        if (variants[i] >= required - 0.02) {
            chosen = i;
            break;
        }
    }
    if (chosen == measured) {
        return "";
    }
    static const char* names[] = {"", "big", "Big", "bigg", "Bigg"};
    return names[measured];
}

bool tallDelimiter(const Item& it) {
    // An OpenType font's sized variants are glyphs of the font itself.
    const double taller = it.sym.opentype ? 1.05 : 1.3;
    return it.glyph && it.sym.role == Role::Delimiter &&
           (it.box.height > taller * it.size || it.axisCentred);
}

void Analyser::fences(Items& items) {
    std::vector<std::size_t> tall;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (tallDelimiter(items[i])) {
            tall.push_back(i);
        }
    }
    if (tall.empty()) {
        return;
    }
    std::sort(tall.begin(), tall.end(), [&](std::size_t a, std::size_t b) {
        return items[a].box.minX() < items[b].box.minX();
    });
    struct Pair {
        std::size_t open, close; // items.size() for none
    };
    std::vector<Pair> pairs;
    std::vector<std::size_t> stack;
    auto compatible = [&](std::size_t a, std::size_t b) {
        const Rect& x = items[a].box;
        const Rect& y = items[b].box;
        return std::abs(x.height - y.height) < 0.25 * std::max(x.height, y.height) &&
               std::abs(x.midY() - y.midY()) < 0.25 * std::max(x.height, y.height);
    };
    const std::size_t none = items.size();
    for (std::size_t i : tall) {
        const Symbol& s = items[i].sym;
        if (s.closes && !stack.empty() && compatible(stack.back(), i) &&
            (!s.opens || items[stack.back()].sym.latex == s.latex)) {
            pairs.push_back({stack.back(), i});
            stack.pop_back();
        } else if (s.opens) {
            stack.push_back(i);
        } else {
            pairs.push_back({none, i});
        }
    }
    for (std::size_t i : stack) {
        // A bar that may open or close, left alone: it closes what stands before it when
        // more of the formula lies there (an evaluation bar, \left. … \right|).
        const Item& bar = items[i];
        int before = 0, after = 0;
        for (const auto& it : items) {
            if (&it != &bar && !it.used && it.box.midY() > bar.box.minY() &&
                it.box.midY() < bar.box.maxY() && it.size >= 0.9 * bar.size) {
                (it.box.midX() < bar.box.midX() ? before : after) += 1;
            }
        }
        bool scripted = false; // smaller material set close to its right: its scripts
        for (const auto& it : items) {
            if (&it != &bar && !it.used && it.size < 0.85 * bar.size &&
                it.box.minX() >= bar.box.maxX() - 0.1 * bar.size &&
                it.box.minX() - bar.box.maxX() < 0.3 * bar.size && it.box.maxY() > bar.box.minY() &&
                it.box.minY() < bar.box.maxY()) {
                scripted = true;
            }
        }
        if (bar.sym.opens && bar.sym.closes && (before > after || scripted)) {
            pairs.push_back({none, i});
        } else {
            pairs.push_back({i, none});
        }
    }
    // Only the outermost pairs here; those inside come back in their content's parse.
    auto span = [&](const Pair& p) {
        const double x0 = p.open != none ? items[p.open].box.minX() : -1e18;
        const double x1 = p.close != none ? items[p.close].box.maxX() : 1e18;
        return std::pair<double, double>{x0, x1};
    };
    auto vertical = [&](const Pair& p) {
        const Rect& r = items[p.open != none ? p.open : p.close].box;
        return r;
    };
    std::vector<Item> made;
    for (const Pair& p : pairs) {
        const std::size_t any = p.open != none ? p.open : p.close;
        if (items[any].used) {
            continue;
        }
        bool nested = false;
        for (const Pair& q : pairs) {
            if (&q == &p) {
                continue;
            }
            auto [a0, a1] = span(p);
            auto [b0, b1] = span(q);
            const Rect& pv = vertical(p);
            const Rect& qv = vertical(q);
            if (b0 < a0 && b1 > a1 && qv.minY() <= pv.minY() + 1 && qv.maxY() >= pv.maxY() - 1 &&
                (q.open != none && q.close != none)) {
                nested = true;
                break;
            }
        }
        if (nested) {
            continue;
        }
        const Rect extent = vertical(p);
        const double tol = (p.open == none || p.close == none ? 0.4 : 0.2) * items[any].size;
        double left = p.open != none ? items[p.open].box.maxX() - 0.1 * items[any].size : -1e18;
        double right = p.close != none ? items[p.close].box.minX() + 0.1 * items[any].size : 1e18;
        if (p.open == none) {
            // A closing fence alone (\left. … \right|): back to the relation before it.
            for (const auto& it : items) {
                if (!it.used && it.box.maxX() < right && it.atom == Atom::Rel &&
                    it.box.midY() > extent.minY() && it.box.midY() < extent.maxY()) {
                    left = std::max(left, it.box.maxX());
                }
            }
        }
        Items content;
        for (std::size_t i = 0; i < items.size(); ++i) {
            Item& it = items[i];
            if (it.used || i == p.open || i == p.close) {
                continue;
            }
            // Between the fences and level with them (limits may reach beyond a sized pair).
            const bool level =
                p.open != none && p.close != none
                    ? it.box.maxY() > extent.minY() && it.box.minY() < extent.maxY()
                    : it.box.minY() >= extent.minY() - tol && it.box.maxY() <= extent.maxY() + tol;
            if (it.box.midX() > left && it.box.midX() < right && level) {
                content.push_back(it);
                it.used = true;
            }
        }
        // What hangs from the content beyond the fences' height (an operator's limits).
        for (bool grew = true; grew;) {
            grew = false;
            for (std::size_t i = 0; i < items.size(); ++i) {
                Item& it = items[i];
                if (it.used || i == p.open || i == p.close || it.box.midX() <= left ||
                    it.box.midX() >= right) {
                    continue;
                }
                for (const auto& c : content) {
                    const double gapY =
                        std::max(c.box.minY() - it.box.maxY(), it.box.minY() - c.box.maxY());
                    const bool beside =
                        it.box.minX() < c.box.maxX() && it.box.maxX() > c.box.minX();
                    if (beside && gapY < 0.4 * c.size) {
                        content.push_back(it);
                        it.used = true;
                        grew = true;
                        break;
                    }
                }
            }
        }
        Items parts = content;
        if (p.open != none) {
            items[p.open].used = true;
            parts.push_back(items[p.open]);
        }
        if (p.close != none) {
            items[p.close].used = true;
            parts.push_back(items[p.close]);
        }
        const std::string open = p.open != none ? items[p.open].sym.latex : ".";
        const std::string close = p.close != none ? items[p.close].sym.latex : ".";
        Built inner = parse(content, open, close);
        Node node;
        const bool selfFenced = inner.node.kind == Node::Kind::Fenced && inner.node.open == open &&
                                inner.node.close == close && !inner.node.kids.empty() &&
                                inner.node.kids[0].kids.size() == 1 &&
                                inner.node.kids[0].kids[0].kind == Node::Kind::Table;
        if (inner.node.kind == Node::Kind::Table || inner.node.kind == Node::Kind::Binom ||
            selfFenced) {
            node = std::move(inner.node); // the environment brings its own delimiters
        } else {
            node.kind = Node::Kind::Fenced;
            node.open = open;
            node.close = close;
            node.atom = Atom::Inner;
            const double size = content.empty() ? items[any].size : inner.size;
            const double axisY = extent.midY();
            const Rect body = content.empty() ? extent : unionOf(content);
            if (items[any].sym.opentype) {
                // An OpenType font's variants are its own: \left makes the delimiter about
                // as tall as the material, a size given by hand makes it taller or shorter.
                const double fit = extent.height / std::max(body.height, 0.1);
                const double ratio = extent.height / size;
                node.sizing = fit >= 0.9 && fit <= 1.18 ? ""
                              : ratio < 1.45            ? "big"
                              : ratio < 2.0             ? "Big"
                              : ratio < 2.7             ? "bigg"
                                                        : "Bigg";
            } else {
                node.sizing = sizingFor(extent.height, body.minY(), body.maxY(), axisY, size);
            }
            node.kids.push_back(single(std::move(inner.node)));
        }
        Item item = composite(std::move(node), parts,
                              content.empty() ? items[any].baseline : inner.baseline,
                              content.empty() ? items[any].size : inner.size);
        item.atom = Atom::Inner;
        // Delimiters grow evenly about the axis.
        item.axisCentred = true;
        item.baseline = extent.midY() + kAxis * item.size;
        made.push_back(std::move(item));
    }
    compact(items);
    items.insert(items.end(), made.begin(), made.end());
}

void Analyser::fractions(Items& items) {
    for (;;) {
        std::size_t best = items.size();
        for (std::size_t i = 0; i < items.size(); ++i) {
            if (items[i].rule && !items[i].used &&
                (best == items.size() || items[i].box.width > items[best].box.width)) {
                best = i;
            }
        }
        if (best == items.size()) {
            break;
        }
        items[best].used = true;
        const Rect bar = items[best].box;
        Items above = gatherBeside(items, bar, true, best);
        Items below = gatherBeside(items, bar, false, best);
        // Rules alone are no numerator or denominator: another underline or overline.
        for (Items* side : {&above, &below}) {
            const bool onlyRules =
                std::all_of(side->begin(), side->end(), [](const Item& it) { return it.rule; });
            if (onlyRules && !side->empty()) {
                for (const auto& r : *side) {
                    for (auto& it : items) {
                        if (it.rule && it.box == r.box) {
                            it.used = false;
                        }
                    }
                }
                side->clear();
            }
        }
        Item barItem = items[best];
        Items parts = above;
        parts.insert(parts.end(), below.begin(), below.end());
        parts.push_back(barItem);
        if (above.empty() && below.empty()) {
            continue; // a rule by itself: nothing to read from it
        }
        Node node;
        double size = 10;
        double baseline = 0;
        Built num = parse(above);
        Built den = parse(below);
        if (!above.empty() && !below.empty()) {
            node.kind = Node::Kind::Frac;
            node.kids = {single(num.node), single(den.node)};
            size = std::max(num.size, den.size);
            baseline = bar.midY() + kAxis * size;
            Item item = composite(std::move(node), parts, baseline, size);
            item.penLeft = bar.minX() - kNullDelimiter * size;
            item.penRight = bar.maxX() + kNullDelimiter * size;
            item.axisCentred = true;
            items.push_back(std::move(item));
        } else {
            const bool overline = !below.empty();
            Built& base = overline ? den : num;
            node.kind = Node::Kind::Over;
            node.latex = overline ? "\\overline" : "\\underline";
            node.kids = {single(base.node)};
            Item item = composite(std::move(node), parts, base.baseline, base.size);
            items.push_back(std::move(item));
        }
    }
    compact(items);
}

void Analyser::limits(Items& items) {
    std::vector<std::size_t> ops;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (items[i].limits) {
            ops.push_back(i);
        }
    }
    std::vector<Item> made;
    for (std::size_t o : ops) {
        const Item op = items[o];
        const double s = op.size;
        auto gather = [&](bool above) {
            Items cluster;
            Rect band;
            for (std::size_t i = 0; i < items.size(); ++i) {
                Item& it = items[i];
                if (i == o || it.used || it.rule) {
                    continue;
                }
                const double gap =
                    above ? op.box.minY() - it.box.maxY() : it.box.minY() - op.box.maxY();
                if (gap < -0.1 * s || gap > 0.8 * std::min(s, 1.4 * it.size + 2)) {
                    continue;
                }
                if (it.box.maxX() < op.box.minX() - 0.1 * s ||
                    it.box.minX() > op.box.maxX() + 0.1 * s) {
                    continue;
                }
                cluster.push_back(it);
                band = cluster.size() == 1 ? it.box : band.united(it.box);
            }
            if (cluster.empty()) {
                return cluster;
            }
            // Grow sideways along the band.
            for (bool grew = true; grew;) {
                grew = false;
                for (std::size_t i = 0; i < items.size(); ++i) {
                    Item& it = items[i];
                    if (i == o || it.used || it.rule) {
                        continue;
                    }
                    bool in = std::any_of(cluster.begin(), cluster.end(), [&](const Item& c) {
                        return c.box == it.box && c.baseline == it.baseline;
                    });
                    if (in) {
                        continue;
                    }
                    const bool overlaps =
                        it.box.minY() < band.maxY() && it.box.maxY() > band.minY();
                    const double gapX =
                        std::max(band.minX() - it.box.maxX(), it.box.minX() - band.maxX());
                    const bool clear = above ? it.box.maxY() <= op.box.minY() + 0.1 * s
                                             : it.box.minY() >= op.box.maxY() - 0.1 * s;
                    // Not what lies under or over the next operator: its own limits.
                    bool another = false;
                    for (std::size_t q : ops) {
                        if (q != o && it.box.midX() > items[q].box.minX() &&
                            it.box.midX() < items[q].box.maxX()) {
                            another = true;
                        }
                    }
                    if (overlaps && clear && !another && gapX < 0.35 * it.size) {
                        cluster.push_back(it);
                        band = band.united(it.box);
                        grew = true;
                    }
                }
            }
            if (std::abs(band.midX() - op.box.midX()) > std::max(0.2 * op.box.width, 0.15 * s)) {
                cluster.clear();
            }
            return cluster;
        };
        Items under = gather(false);
        for (const auto& u : under) {
            for (auto& it : items) {
                if (!it.used && it.box == u.box && it.baseline == u.baseline) {
                    it.used = true;
                }
            }
        }
        Items over = gather(true);
        for (const auto& u : over) {
            for (auto& it : items) {
                if (!it.used && it.box == u.box && it.baseline == u.baseline) {
                    it.used = true;
                }
            }
        }
        if (under.empty() && over.empty()) {
            continue;
        }
        items[o].used = true;
        Node node;
        node.kind = Node::Kind::Limits;
        node.atom = Atom::Op;
        node.kids = {single(op.node), single(parse(under).node), single(parse(over).node)};
        Items parts = under;
        parts.insert(parts.end(), over.begin(), over.end());
        parts.push_back(op);
        Item item = composite(std::move(node), parts, op.baseline, op.size);
        item.axisCentred = op.axisCentred;
        item.atom = Atom::Op;
        if (item.axisCentred) {
            // Centred on the op itself, not on the limits.
            item.baseline = op.box.midY() + kAxis * op.size;
        }
        made.push_back(std::move(item));
    }
    compact(items);
    items.insert(items.end(), made.begin(), made.end());
}

void Analyser::accents(Items& items) {
    std::vector<std::size_t> marks;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (items[i].glyph &&
            (items[i].sym.role == Role::Accent || items[i].sym.role == Role::WideAccent)) {
            marks.push_back(i);
        }
    }
    // Lowest first: the accent nearest its base, so \hat{\bar{x}} nests.
    std::sort(marks.begin(), marks.end(), [&](std::size_t a, std::size_t b) {
        return items[a].box.maxY() > items[b].box.maxY();
    });
    for (std::size_t m : marks) {
        Item mark = items[m];
        const double s = mark.size;
        if (mark.sym.latex == "\\overbrace" || mark.sym.latex == "\\underbrace") {
            // The braced material on the brace's open side, its label on the other.
            const bool under = mark.sym.latex == "\\underbrace";
            Items base, label;
            for (std::size_t i = 0; i < items.size(); ++i) {
                Item& it = items[i];
                if (i == m || it.used || it.rule || it.box.midX() < mark.box.minX() - 0.1 * s ||
                    it.box.midX() > mark.box.maxX() + 0.1 * s) {
                    continue;
                }
                const double below = it.box.minY() - mark.box.maxY();
                const double above = mark.box.minY() - it.box.maxY();
                const bool isBelow = it.box.midY() > mark.box.midY();
                if ((isBelow ? below : above) > (isBelow == under ? 0.9 : 0.6) * s) {
                    continue;
                }
                (isBelow == under ? label : base).push_back(it);
                it.used = true;
            }
            if (base.empty()) {
                for (auto& it : items) {
                    for (const auto& l : label) {
                        if (it.box == l.box && it.baseline == l.baseline) {
                            it.used = false;
                        }
                    }
                }
                items[m].node.kind = Node::Kind::Over;
                items[m].node.kids = {row({}), row({})};
                items[m].sym.role = Role::Symbol;
                continue;
            }
            items[m].used = true;
            Built inner = parse(base);
            Node node;
            node.kind = Node::Kind::Over;
            node.latex = mark.sym.latex;
            node.kids = {single(inner.node), single(parse(label).node)};
            Items parts = base;
            parts.insert(parts.end(), label.begin(), label.end());
            parts.push_back(mark);
            Item item = composite(std::move(node), parts, inner.baseline, inner.size);
            items.push_back(std::move(item));
            compact(items);
            accents(items);
            return;
        }
        int covered = 0; // items whose middle the accent spans
        for (std::size_t i = 0; i < items.size(); ++i) {
            const Item& it = items[i];
            if (i != m && !it.used && !it.rule && it.box.minY() > mark.box.midY() &&
                it.box.minY() - mark.box.maxY() < 0.6 * s &&
                std::min(it.box.maxX(), mark.box.maxX()) -
                        std::max(it.box.minX(), mark.box.minX()) >
                    (it.glyph && it.sym.role == Role::Delimiter ? 0.6 : 0.3) * it.box.width) {
                ++covered;
            }
        }
        const bool wide =
            mark.sym.role == Role::WideAccent || mark.box.width > 1.1 * s || covered > 1;
        Items base;
        std::size_t nearest = items.size();
        double nearestGap = 0.6 * s;
        for (std::size_t i = 0; i < items.size(); ++i) {
            const Item& it = items[i];
            if (i == m || it.used || it.rule) {
                continue;
            }
            const double gap = it.box.minY() - mark.box.maxY();
            if (gap < -0.25 * s || it.box.midY() < mark.box.maxY()) {
                continue;
            }
            if (wide) {
                const double overlap = std::min(it.box.maxX(), mark.box.maxX()) -
                                       std::max(it.box.minX(), mark.box.minX());
                // A fence at its edge stays outside: the accent's own letters reach under it.
                const double share = it.glyph && it.sym.role == Role::Delimiter ? 0.6 : 0.3;
                if (overlap > share * it.box.width && gap < 0.6 * s) {
                    base.push_back(it);
                }
            } else if (it.box.minX() - 0.1 * s <= mark.box.midX() &&
                       it.box.maxX() + 0.1 * s >= mark.box.midX() && gap < nearestGap) {
                nearestGap = gap;
                nearest = i;
            }
        }
        if (!wide && nearest != items.size()) {
            base.push_back(items[nearest]);
            items[nearest].used = true;
        }
        if (base.empty()) {
            // An accent over nothing: written over an empty group, never as a bare command.
            items[m].node.kind = Node::Kind::Accent;
            items[m].node.kids = {row({})};
            items[m].sym.role = Role::Symbol;
            continue;
        }
        if (wide) {
            for (const auto& b : base) {
                for (auto& it : items) {
                    if (!it.used && it.box == b.box && it.baseline == b.baseline) {
                        it.used = true;
                    }
                }
            }
        }
        items[m].used = true;
        Built inner = parse(base);
        Node node;
        std::string command = mark.sym.latex;
        if (wide && base.size() > 1) {
            if (command == "\\hat") {
                command = "\\widehat";
            } else if (command == "\\tilde") {
                command = "\\widetilde";
            } else if (command == "\\bar") {
                command = "\\overline";
            }
        }
        node.kind = command == "\\overbrace" || command == "\\underbrace" ? Node::Kind::Over
                                                                          : Node::Kind::Accent;
        node.latex = command;
        node.kids = {single(inner.node)};
        Items parts = base;
        Item item = composite(std::move(node), parts, inner.baseline, inner.size);
        item.box = item.box.united(mark.box);
        item.axisCentred = base.size() == 1 && base[0].axisCentred;
        items.push_back(std::move(item));
        compact(items);
        // Indices moved: start over with what is left.
        accents(items);
        return;
    }
    compact(items);
}

std::vector<Items> Analyser::splitRows(const Items& items) const {
    std::vector<const Item*> order;
    for (const auto& it : items) {
        order.push_back(&it);
    }
    std::sort(order.begin(), order.end(),
              [](const Item* a, const Item* b) { return a->box.minY() < b->box.minY(); });
    std::vector<Items> rows;
    double bottom = -1e18;
    const double gapNeeded = 0.12 * medianSize(items);
    for (const Item* it : order) {
        if (rows.empty() || it->box.minY() > bottom + gapNeeded) {
            rows.emplace_back();
            bottom = it->box.maxY();
        } else {
            bottom = std::max(bottom, it->box.maxY());
        }
        rows.back().push_back(*it);
    }
    return rows;
}

// TeX's spacing between atoms, in mu, for display and text styles (`script`: the smaller
// styles, where only the thin spaces around operators stay).
int spacing(Atom left, Atom right, bool script) {
    // Ord Op Bin Rel Open Close Punct Inner; negative entries vanish in script styles.
    static const int table[8][8] = {
        {0, 3, -4, -5, 0, 0, 0, -3},     {3, 3, 0, -5, 0, 0, 0, -3},
        {-4, -4, 0, 0, -4, 0, 0, -4},    {-5, -5, 0, 0, -5, 0, 0, -5},
        {0, 0, 0, 0, 0, 0, 0, 0},        {0, 3, -4, -5, 0, 0, 0, -3},
        {-3, -3, 0, -3, -3, -3, -3, -3}, {-3, 3, -4, -5, -3, 0, -3, -3},
    };
    const int v = table[int(left)][int(right)];
    if (v < 0) {
        return script ? 0 : -v;
    }
    return v;
}

// The explicit spaces that make up `mu` beyond what TeX puts there itself.
// `least`: the smallest gap worth a space; below it, glyph metrics account for the gap.
std::vector<Node> spacesFor(double mu, double least = 2.3) {
    std::vector<Node> out;
    struct Step {
        double mu;
        const char* latex;
    };
    static const Step steps[] = {
        {36, "\\qquad"}, {18, "\\quad"}, {5, "\\;"}, {4, "\\:"}, {3, "\\,"}};
    if (mu < least) {
        return out;
    }
    while (mu > 2.3) {
        const Step* chosen = &steps[4];
        for (const auto& step : steps) {
            if (step.mu <= mu + 0.6) {
                chosen = &step;
                break;
            }
        }
        Node n;
        n.kind = Node::Kind::Space;
        n.latex = chosen->latex;
        out.push_back(n);
        mu -= chosen->mu;
    }
    return out;
}

Built Analyser::rowOf(Items items) {
    Built built;
    if (items.empty()) {
        return built;
    }
    std::sort(items.begin(), items.end(),
              [](const Item& a, const Item& b) { return a.box.minX() < b.box.minX(); });
    // The row's own size and baseline: those of its largest symbols.
    // (A big operator's or a grown delimiter's font size says nothing of the line's.)
    double mainSize = 0;
    for (const auto& it : items) {
        const bool opSized = it.axisCentred && (it.glyph || it.node.kind == Node::Kind::Limits);
        if (!opSized) {
            mainSize = std::max(mainSize, it.size);
        }
    }
    if (mainSize == 0) {
        for (const auto& it : items) {
            mainSize = std::max(mainSize, it.size);
        }
    }
    auto middle = [](const Item& it) {
        return it.glyph ? it.box.midY() : it.baseline - kAxis * it.size;
    };
    std::vector<double> baselines;
    for (const auto& it : items) {
        if (!it.axisCentred && it.size >= 0.9 * mainSize) {
            baselines.push_back(it.baseline);
        }
    }
    double mainBaseline = items.front().baseline;
    if (!baselines.empty()) {
        std::nth_element(baselines.begin(), baselines.begin() + baselines.size() / 2,
                         baselines.end());
        mainBaseline = baselines[baselines.size() / 2];
    } else {
        for (const auto& it : items) {
            if (it.size >= 0.9 * mainSize) {
                mainBaseline = middle(it) + kAxis * mainSize;
                break;
            }
        }
    }
    built.size = mainSize;
    built.baseline = mainBaseline;
    const double axisY = mainBaseline - kAxis * mainSize;

    auto onLine = [&](const Item& it) {
        if (it.axisCentred) {
            // Fractions and fences may be smaller than the line; they sit on its axis.
            const bool structure = !it.glyph;
            const double mid = middle(it);
            return std::abs(mid - axisY) < 0.2 * mainSize &&
                   (structure || it.size >= 0.8 * mainSize);
        }
        return std::abs(it.baseline - mainBaseline) < 0.12 * mainSize && it.size >= 0.8 * mainSize;
    };

    struct Element {
        Item base;
        Items sub, sup;
        bool hasBase = true;
    };
    std::vector<Element> elements;
    int lastGroup = 0; // 1 sub, 2 sup
    const Item* lastScript = nullptr;
    for (const auto& it : items) {
        if (onLine(it)) {
            elements.push_back(Element{it, {}, {}, true});
            lastScript = nullptr;
            continue;
        }
        if (elements.empty()) {
            elements.push_back(Element{Item{}, {}, {}, false});
        }
        Element& e = elements.back();
        int group;
        if (lastScript && it.size < 0.9 * lastScript->size &&
            it.box.minX() >= lastScript->box.minX() + 0.3 * lastScript->size) {
            group = lastGroup; // a script of the script before
        } else if (lastScript && std::abs(it.size - lastScript->size) < 0.1 * it.size &&
                   std::abs(it.baseline - lastScript->baseline) < 0.1 * it.size &&
                   !(it.axisCentred || lastScript->axisCentred)) {
            group = lastGroup;
        } else {
            const double level =
                it.axisCentred || !it.glyph ? it.box.midY() + kAxis * it.size : it.baseline;
            group = level < mainBaseline - 0.05 * mainSize ? 2 : 1;
        }
        (group == 2 ? e.sup : e.sub).push_back(it);
        lastGroup = group;
        lastScript = &it;
    }

    // Runs of one kind that read as one token: numbers, letters of one alphabet.
    std::vector<Node> kids;
    double prevRight = 0;
    double prevInk = 0; // where the ink before ends
    Atom prevAtom = Atom::Ord;
    bool first = true;
    const bool script = mainSize < 0.85 * topSize_;
    // Fonts set through virtual fonts place glyphs by widths the file does not carry: small
    // gaps there may be the metrics, not a typed space.
    const bool exactMetrics = std::all_of(items.begin(), items.end(), [](const Item& it) {
        return !it.glyph || it.sym.exactMetrics;
    });
    for (std::size_t k = 0; k < elements.size(); ++k) {
        Element& e = elements[k];
        Node base = e.hasBase ? e.base.node : row({});
        double left = e.hasBase ? e.base.penLeft : 0;
        double right = e.hasBase ? e.base.penRight : 0;
        Atom atom = e.hasBase ? e.base.atom : Atom::Ord;
        Built sub, sup;
        if (!e.sub.empty()) {
            sub = rowOf(e.sub);
        }
        if (!e.sup.empty()) {
            sup = rowOf(e.sup);
        }
        for (const auto* group : {&e.sub, &e.sup}) {
            for (const auto& it : *group) {
                if (!e.hasBase && left == 0) {
                    left = it.penLeft;
                }
            }
        }
        if (!e.sub.empty()) {
            right = std::max(right, sub.right + kScriptSpace * mainSize);
        }
        if (!e.sup.empty()) {
            right = std::max(right, sup.right + kScriptSpace * mainSize);
        }
        // Join with the token before when it continues a number or an alphabet run.
        if (!kids.empty() && e.sub.empty() && e.sup.empty() && e.hasBase &&
            base.kind == Node::Kind::Token && kids.back().kind == Node::Kind::Token) {
            Node& prev = kids.back();
            const double gap = left - prevRight;
            const bool tight = std::abs(gap) < 0.08 * mainSize;
            const bool number =
                prev.token == 'n' &&
                (base.token == 'n' || (base.latex == "." && k + 1 < elements.size() &&
                                       elements[k + 1].base.node.token == 'n'));
            const bool alphabetRun = prev.token == 'i' && base.token == 'i' &&
                                     prev.alphabet == base.alphabet &&
                                     prev.alphabet != Alphabet::Italic;
            if (tight && (number || alphabetRun)) {
                if (base.latex == ".") {
                    prev.token = 'n';
                }
                prev.latex += base.latex;
                prev.text += base.text;
                prevRight = right;
                continue;
            }
        }
        if (!e.sub.empty() || !e.sup.empty()) {
            // A base that takes limits but had its scripts beside it.
            Node scripts;
            scripts.kind = Node::Kind::Scripts;
            scripts.atom = atom;
            scripts.kids = {single(base), single(std::move(sub.node)), single(std::move(sup.node))};
            base = std::move(scripts);
        }
        if (!first) {
            double gapMu = (left - prevRight) / (mainSize * kMu);
            if (!exactMetrics) {
                // Advances there are not TeX's widths; the ink's gap bounds the space.
                const double inkLeft = e.hasBase ? e.base.box.minX() : left;
                gapMu = std::min(gapMu, (inkLeft - prevInk) / (mainSize * kMu));
            }
            // \setminus and \backslash are one glyph; the spaces around tell them apart.
            if (base.kind == Node::Kind::Token && base.latex == "\\backslash" && gapMu > 2.5) {
                base.latex = "\\setminus";
                atom = base.atom = Atom::Bin;
            }
            // A binary operator with nothing to its left is an ordinary symbol, as in TeX.
            const bool unary =
                atom == Atom::Bin &&
                (prevAtom == Atom::Bin || prevAtom == Atom::Op || prevAtom == Atom::Rel ||
                 prevAtom == Atom::Open || prevAtom == Atom::Punct);
            const Atom effective = unary ? Atom::Ord : atom;
            const Atom before =
                prevAtom == Atom::Bin &&
                        (atom == Atom::Rel || atom == Atom::Close || atom == Atom::Punct)
                    ? Atom::Ord
                    : prevAtom;
            const int expected = spacing(before, effective, script);
            const bool wordSpace = gapMu - expected > 4.2 && gapMu - expected < 8.5;
            // With inexact metrics only a thin space before a differential (\,\mathrm{d}x)
            // is typed often enough to trust.
            const bool differential = base.kind == Node::Kind::Token && base.latex == "d" &&
                                      base.alphabet == Alphabet::Upright;
            const bool besideOperator = atom == Atom::Rel || atom == Atom::Bin ||
                                        prevAtom == Atom::Rel || prevAtom == Atom::Bin;
            const double least = exactMetrics || differential ? 2.3 : besideOperator ? 6 : 3.6;
            Node& prev = kids.back();
            if (prev.kind == Node::Kind::Text && atom == Atom::Ord && std::abs(gapMu - 3) < 1.2 &&
                prev.text.find(U' ') == std::u32string::npos) {
                // A word followed by a thin space is an operator name.
                prev.kind = Node::Kind::Token;
                prev.latex = "\\operatorname{" + prev.latex + "}";
                prev.token = 'o';
                prev.atom = Atom::Op;
            } else if (prev.kind == Node::Kind::Text && wordSpace) {
                prev.latex += " "; // the word space inside the text, as typed
                prev.text += U" ";
            } else if (base.kind == Node::Kind::Text && wordSpace) {
                base.latex.insert(base.latex.begin(), ' ');
                base.text.insert(base.text.begin(), U' ');
            } else {
                for (auto& space : spacesFor(
                         texSpacing_ || gapMu - expected > 14 ? gapMu - expected : 0, least)) {
                    kids.push_back(std::move(space));
                }
            }
            atom = effective;
        } else if (atom == Atom::Bin) {
            atom = Atom::Ord;
        }
        kids.push_back(std::move(base));
        prevRight = right;
        prevInk = e.hasBase ? e.base.box.maxX() : right;
        for (const auto* group : {&e.sub, &e.sup}) {
            for (const auto& it : *group) {
                prevInk = std::max(prevInk, it.box.maxX());
            }
        }
        prevAtom = atom;
        first = false;
    }
    built.right = prevRight;
    built.node = row(std::move(kids));
    return built;
}

Built Analyser::table(std::vector<Items> rows, const std::string& open, const std::string& close) {
    Built built;
    const double size = medianSize([&] {
        Items all;
        for (const auto& r : rows) {
            all.insert(all.end(), r.begin(), r.end());
        }
        return all;
    }());
    built.size = size;
    Node table;
    table.kind = Node::Kind::Table;

    // Cells: a row splits where its ink leaves a gap of most of an em.
    auto cellsOf = [&](Items r, double minGap) {
        std::sort(r.begin(), r.end(),
                  [](const Item& a, const Item& b) { return a.box.minX() < b.box.minX(); });
        std::vector<Items> cells;
        double right = -1e18;
        for (auto& it : r) {
            if (cells.empty() || it.box.minX() - right > minGap) {
                cells.emplace_back();
                right = it.box.maxX();
            } else {
                right = std::max(right, it.box.maxX());
            }
            cells.back().push_back(it);
        }
        return cells;
    };

    const bool fenced = open != "." && !open.empty();
    bool cases = open == "\\{" && (close == "." || close.empty());
    bool fencedMatrix = false; // a matrix in fences of its own (\left\{ … \right.)
    std::vector<std::vector<Items>> grid;
    bool aligned = false;
    if (!fenced || cases) {
        // Lines of a display: aligned at their first relation when those line up.
        std::vector<double> rels;
        for (auto& r : rows) {
            std::sort(r.begin(), r.end(),
                      [](const Item& a, const Item& b) { return a.box.minX() < b.box.minX(); });
            for (const auto& it : r) {
                if (it.atom == Atom::Rel) {
                    rels.push_back(it.box.minX());
                    break;
                }
            }
        }
        if (!cases && rels.size() == rows.size() && rows.size() > 1) {
            const auto [lo, hi] = std::minmax_element(rels.begin(), rels.end());
            aligned = *hi - *lo < 0.3 * size;
        }
        if (aligned) {
            for (std::size_t i = 0; i < rows.size(); ++i) {
                Items left, right;
                for (const auto& it : rows[i]) {
                    (it.box.minX() < rels[i] - 0.01 ? left : right).push_back(it);
                }
                grid.push_back({left, right});
            }
            table.latex = "aligned";
            table.columns = "rl";
        }
    }
    if (!aligned) {
        for (const auto& r : rows) {
            grid.push_back(cellsOf(r, (cases ? 0.9 : 0.6) * size));
        }
        bool singleColumn = std::all_of(grid.begin(), grid.end(),
                                        [](const std::vector<Items>& c) { return c.size() == 1; });
        if (cases && singleColumn) {
            // One column: cases sets it flush left, a matrix centres it.
            double leftSpread = 0, centreSpread = 0;
            double left0 = 0, centre0 = 0;
            for (std::size_t r = 0; r < grid.size(); ++r) {
                const Rect b = unionOf(grid[r][0]);
                if (r == 0) {
                    left0 = b.minX(), centre0 = b.midX();
                }
                leftSpread = std::max(leftSpread, std::abs(b.minX() - left0));
                centreSpread = std::max(centreSpread, std::abs(b.midX() - centre0));
            }
            if (centreSpread + 0.5 < leftSpread) {
                cases = false;
                fencedMatrix = true;
            }
        }
        if (cases) {
            for (auto& cells : grid) {
                while (cells.size() > 2) {
                    cells[1].insert(cells[1].end(), cells.back().begin(), cells.back().end());
                    cells.pop_back();
                }
            }
        } else {
            // Columns: the stretches covered by some row's cell, merged across rows.
            std::vector<std::pair<double, double>> cols;
            for (const auto& cells : grid) {
                for (const auto& c : cells) {
                    const Rect b = unionOf(c);
                    cols.emplace_back(b.minX(), b.maxX());
                }
            }
            std::sort(cols.begin(), cols.end());
            std::vector<std::pair<double, double>> merged;
            for (const auto& c : cols) {
                if (!merged.empty() && c.first <= merged.back().second) {
                    merged.back().second = std::max(merged.back().second, c.second);
                } else {
                    merged.push_back(c);
                }
            }
            for (auto& cells : grid) {
                std::vector<Items> placed(merged.size());
                for (auto& c : cells) {
                    const Rect b = unionOf(c);
                    for (std::size_t j = 0; j < merged.size(); ++j) {
                        if (b.midX() >= merged[j].first && b.midX() <= merged[j].second) {
                            placed[j].insert(placed[j].end(), c.begin(), c.end());
                            break;
                        }
                    }
                }
                cells = std::move(placed);
            }
            table.columns.assign(merged.size(), 'c');
        }
        if (cases) {
            table.latex = "cases";
        } else if (open == "(" && close == ")") {
            table.latex = "pmatrix";
        } else if (open == "[" && close == "]") {
            table.latex = "bmatrix";
        } else if (open == "\\{" && close == "\\}") {
            table.latex = "Bmatrix";
        } else if (open == "|" && close == "|") {
            table.latex = "vmatrix";
        } else if (open == "\\|" && close == "\\|") {
            table.latex = "Vmatrix";
        } else if (fencedMatrix) {
            table.latex = "matrix";
        } else if (!fenced) {
            std::size_t columns = 0;
            for (const auto& cells : grid) {
                columns = std::max(columns, cells.size());
            }
            table.latex = columns > 1 ? "matrix" : "gathered";
        } else {
            table.latex = "matrix"; // inside unusual fences: \left…\right around it
        }
    }
    // Two lines in one column between parentheses, no rule: a binomial coefficient.
    if (table.latex == "pmatrix" && grid.size() == 2 && grid[0].size() == 1 &&
        grid[1].size() == 1) {
        Node binom;
        binom.kind = Node::Kind::Binom;
        binom.kids = {single(rowOf(grid[0][0]).node), single(rowOf(grid[1][0]).node)};
        built.node = std::move(binom);
        built.baseline = unionOf(rows[0]).maxY();
        return built;
    }
    for (auto& cells : grid) {
        Node line;
        line.kind = Node::Kind::Row;
        for (auto& c : cells) {
            line.kids.push_back(single(rowOf(c).node));
        }
        table.kids.push_back(std::move(line));
    }
    const Rect all = [&] {
        Items everything;
        for (const auto& r : rows) {
            everything.insert(everything.end(), r.begin(), r.end());
        }
        return unionOf(everything);
    }();
    built.baseline = all.midY() + kAxis * size;
    if (fenced && table.latex == "matrix") {
        Node fence;
        fence.kind = Node::Kind::Fenced;
        fence.open = open;
        fence.close = close;
        fence.kids = {single(std::move(table))};
        built.node = std::move(fence);
    } else {
        built.node = std::move(table);
    }
    return built;
}

Built Analyser::parse(Items items, const std::string& fenceOpen, const std::string& fenceClose) {
    if (items.empty()) {
        return Built{row({}), 0, topSize_};
    }
    radicals(items);
    fences(items);
    fractions(items);
    limits(items);
    accents(items);
    auto rows = splitRows(items);
    if (rows.size() > 1) {
        return table(std::move(rows), fenceOpen, fenceClose);
    }
    return rowOf(std::move(items));
}

// A horizontal brace drawn from tips and rules: one \overbrace or \underbrace, which the
// tip at its left end tells (pointing down: over the material below it).
void joinBraces(Items& items) {
    std::sort(items.begin(), items.end(),
              [](const Item& a, const Item& b) { return a.box.minX() < b.box.minX(); });
    auto isTip = [](const Item& it) {
        return it.glyph && (it.sym.piece == Piece::BraceDown || it.sym.piece == Piece::BraceUp ||
                            it.sym.piece == Piece::BraceExtension);
    };
    std::vector<Item> made;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (items[i].used || !isTip(items[i])) {
            continue;
        }
        Item brace = items[i];
        items[i].used = true;
        Piece leftEnd = brace.sym.piece;
        for (std::size_t j = i + 1; j < items.size(); ++j) {
            Item& it = items[j];
            if (it.used || !(isTip(it) || it.rule)) {
                continue;
            }
            const bool sameBand =
                it.box.minY() < brace.box.maxY() && it.box.maxY() > brace.box.minY();
            if (sameBand && it.box.minX() <= brace.box.maxX() + 0.5) {
                if (leftEnd == Piece::BraceExtension && !it.rule) {
                    leftEnd = it.sym.piece;
                }
                brace.box = brace.box.united(it.box);
                brace.penRight = std::max(brace.penRight, it.rule ? it.box.maxX() : it.penRight);
                it.used = true;
            }
        }
        brace.sym.role = Role::WideAccent;
        brace.sym.piece = Piece::None;
        brace.sym.latex = leftEnd == Piece::BraceUp ? "\\underbrace" : "\\overbrace";
        brace.node.latex = brace.sym.latex;
        brace.axisCentred = false;
        made.push_back(std::move(brace));
    }
    compact(items);
    items.insert(items.end(), made.begin(), made.end());
}

// Glyph pieces stacked into one tall delimiter or root sign.
void joinPieces(Items& items) {
    // The same delimiter drawn again right under itself is an extension, as some fonts
    // build a tall bar.
    for (auto& a : items) {
        for (auto& b : items) {
            if (&a != &b && a.glyph && b.glyph && a.sym.role == Role::Delimiter &&
                b.sym.role == Role::Delimiter && a.sym.latex == b.sym.latex &&
                std::abs(a.penLeft - b.penLeft) < 0.3 && b.box.minY() > a.box.minY() &&
                b.box.minY() <= a.box.maxY() + 0.3) {
                a.sym.role = b.sym.role = Role::Piece;
                a.sym.piece = b.sym.piece = Piece::Extension;
            }
        }
    }
    std::vector<std::size_t> pieces;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (items[i].glyph && items[i].sym.role == Role::Piece &&
            items[i].sym.piece != Piece::BraceDown && items[i].sym.piece != Piece::BraceUp &&
            items[i].sym.piece != Piece::BraceExtension) {
            pieces.push_back(i);
        }
    }
    // Pieces of one delimiter share their origin; stacked, they touch.
    std::sort(pieces.begin(), pieces.end(), [&](std::size_t a, std::size_t b) {
        return items[a].box.minY() < items[b].box.minY();
    });
    std::vector<Item> made;
    std::vector<bool> done(items.size(), false);
    for (std::size_t start = 0; start < pieces.size(); ++start) {
        const std::size_t first = pieces[start];
        if (done[first]) {
            continue;
        }
        Items column{items[first]};
        done[first] = true;
        Rect box = items[first].box;
        for (std::size_t k = start + 1; k < pieces.size(); ++k) {
            const std::size_t i = pieces[k];
            if (done[i]) {
                continue;
            }
            const Rect& b = items[i].box;
            const bool sameColumn = std::abs(items[i].penLeft - items[first].penLeft) < 0.5 ||
                                    (b.minX() < box.maxX() - 0.2 && b.maxX() > box.minX() + 0.2);
            if (sameColumn && b.minY() <= box.maxY() + 0.3) {
                column.push_back(items[i]);
                done[i] = true;
                box = box.united(b);
            }
        }
        // What the pieces make: the first piece that knows.
        std::string latex;
        Symbol sym;
        for (const auto& p : column) {
            if (!p.sym.latex.empty()) {
                latex = p.sym.latex;
                sym = p.sym;
                break;
            }
        }
        if (latex.empty()) {
            latex = "|";
            sym.opens = sym.closes = true;
        }
        Item item = column.front();
        for (const auto& p : column) {
            item.penLeft = std::min(item.penLeft, p.penLeft);
            item.penRight = std::max(item.penRight, p.penRight);
        }
        item.box = box;
        item.sym = sym;
        item.sym.piece = Piece::None;
        item.sym.latex = latex;
        item.node.latex = latex;
        item.axisCentred = true;
        item.baseline = box.midY() + kAxis * item.size;
        if (latex == "\\surd") {
            item.sym.role = Role::Radical;
            item.axisCentred = false;
        } else if (latex == "\\int") {
            item.sym.role = Role::BigOp;
            item.atom = Atom::Op;
            item.node.atom = Atom::Op;
        } else {
            item.sym.role = Role::Delimiter;
            item.atom = sym.opens && !sym.closes   ? Atom::Open
                        : sym.closes && !sym.opens ? Atom::Close
                                                   : Atom::Ord;
        }
        made.push_back(std::move(item));
    }
    for (std::size_t i : pieces) {
        items[i].used = true;
    }
    compact(items);
    items.insert(items.end(), made.begin(), made.end());
}

// Symbols TeX builds from several glyphs: a relation struck through (\neq, \notin), the
// dots of \cdots and \ldots, \mapsto and the long arrows.
void joinCompounds(Items& items) {
    std::sort(items.begin(), items.end(),
              [](const Item& a, const Item& b) { return a.box.minX() < b.box.minX(); });
    auto is = [](const Item& it, const char* latex) { return it.glyph && it.node.latex == latex; };
    for (std::size_t i = 0; i < items.size(); ++i) {
        Item& a = items[i];
        if (a.used || !a.glyph) {
            continue;
        }
        // The negation slash over the relation it strikes through.
        // (A slash set over a relation strikes it through too, as \notin is made.)
        const bool strike = !a.sym.text.empty() && a.sym.text[0] == 0x0338;
        if (strike || (!a.sym.text.empty() && a.sym.text[0] == U'/')) {
            for (auto& b : items) {
                if (&b == &a || b.used || !b.glyph || b.atom != Atom::Rel ||
                    std::abs(b.box.midX() - a.box.midX()) > 0.2 * a.size ||
                    std::abs(b.baseline - a.baseline) > 0.1 * a.size) {
                    continue;
                }
                static const std::pair<const char*, const char*> negated[] = {
                    {"=", "\\neq"},      {"\\in", "\\notin"},           {"<", "\\nless"},
                    {">", "\\ngtr"},     {"\\leq", "\\nleq"},           {"\\geq", "\\ngeq"},
                    {"\\sim", "\\nsim"}, {"\\subseteq", "\\nsubseteq"}, {"\\mid", "\\nmid"}};
                std::string latex = "\\not" + b.node.latex;
                for (const auto& [from, to] : negated) {
                    if (b.node.latex == from) {
                        latex = to;
                    }
                }
                b.node.latex = latex;
                b.box = b.box.united(a.box);
                a.used = true;
                break;
            }
            continue;
        }
        // Three dots evenly set: on the baseline \ldots, on the axis \cdots.
        if (is(a, ".") || is(a, "\\cdot")) {
            std::vector<std::size_t> dots{i};
            for (std::size_t j = i + 1; j < items.size() && dots.size() < 3; ++j) {
                Item& b = items[j];
                if (b.used) {
                    continue;
                }
                if (b.box.minX() > items[dots.back()].box.maxX() + 0.5 * a.size) {
                    break;
                }
                if (b.glyph && b.node.latex == a.node.latex &&
                    std::abs(b.baseline - a.baseline) < 0.05 * a.size) {
                    dots.push_back(j);
                }
            }
            if (dots.size() == 3) {
                Item& last = items[dots[2]];
                a.node.latex = is(a, ".") ? "\\ldots" : "\\cdots";
                a.node.text = is(a, ".") ? U"…" : U"⋯";
                a.atom = a.node.atom = Atom::Inner;
                a.box = a.box.united(last.box);
                a.penRight = last.penRight;
                items[dots[1]].used = last.used = true;
            }
            continue;
        }
        // Arrows put together: ↦ with its arrow, a bar or an equals sign run into one.
        for (std::size_t j = i + 1; j < items.size(); ++j) {
            Item& b = items[j];
            if (b.used || !b.glyph) {
                continue;
            }
            if (b.box.minX() > a.box.maxX() + 0.05 * a.size) {
                break;
            }
            if (std::abs(b.baseline - a.baseline) > 0.05 * a.size ||
                b.box.minX() < a.box.maxX() - 0.6 * a.size) {
                continue;
            }
            static const struct {
                const char* first;
                const char* second;
                const char* joined;
            } joins[] = {
                {"\\mapsto", "\\to", "\\mapsto"},
                {"\\to", "\\mapsto", "\\mapsto"},
                {"-", "\\to", "\\longrightarrow"},
                {"\\leftarrow", "-", "\\longleftarrow"},
                {"=", "\\Rightarrow", "\\Longrightarrow"},
                {"\\Leftarrow", "=", "\\Longleftarrow"},
                {"\\mapsto", "\\longrightarrow", "\\longmapsto"},
                {"\\leftarrow", "\\to", "\\longleftrightarrow"},
                {"\\Leftarrow", "\\Rightarrow", "\\Longleftrightarrow"},
            };
            for (const auto& join : joins) {
                if (a.node.latex == join.first && b.node.latex == join.second) {
                    a.node.latex = join.joined;
                    a.atom = a.node.atom = Atom::Rel;
                    a.box = a.box.united(b.box);
                    a.penRight = b.penRight;
                    b.used = true;
                    break;
                }
            }
            break;
        }
    }
    compact(items);
}

// Runs of upright letters of a text font: operator names and words.
void joinWords(Items& items) {
    std::sort(items.begin(), items.end(),
              [](const Item& a, const Item& b) { return a.box.minX() < b.box.minX(); });
    auto isWordLetter = [](const Item& it) {
        return it.glyph && it.sym.letter && it.sym.alphabet == Alphabet::Upright &&
               it.sym.textFont && it.sym.text.size() == 1 && it.sym.text[0] < 0x80;
    };
    std::vector<Item> out;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (items[i].used) {
            continue;
        }
        if (!isWordLetter(items[i])) {
            out.push_back(items[i]);
            items[i].used = true;
            continue;
        }
        std::vector<std::size_t> run{i};
        for (std::size_t j = i + 1; j < items.size(); ++j) {
            const Item& prev = items[run.back()];
            const Item& it = items[j];
            if (it.rule || it.used) {
                continue;
            }
            if (std::abs(it.baseline - prev.baseline) > 0.05 * prev.size ||
                std::abs(it.size - prev.size) > 0.05 * prev.size) {
                // Something else at this x (another line, a script, a limit): look past it.
                if (it.box.minX() > prev.penRight + 0.1 * prev.size) {
                    break;
                }
                continue;
            }
            const double gap = it.penLeft - prev.penRight;
            if (isWordLetter(it) && std::abs(gap) < 0.06 * prev.size) {
                run.push_back(j);
            } else {
                break;
            }
        }
        std::string word;
        for (std::size_t k : run) {
            word += char(items[k].sym.text[0]);
        }
        if (run.size() == 1 && !isOperatorName(word)) {
            out.push_back(items[i]);
            items[i].used = true;
            continue;
        }
        Item item = items[run.front()];
        for (std::size_t k : run) {
            item.box = item.box.united(items[k].box);
            item.penRight = std::max(item.penRight, items[k].penRight);
            items[k].used = true;
        }
        bool limits = false;
        item.word = true;
        item.node.text.assign(word.begin(), word.end());
        if (isOperatorName(word, &limits)) {
            item.node.kind = Node::Kind::Token;
            item.node.latex = "\\" + word;
            item.node.token = 'o';
            item.atom = item.node.atom = Atom::Op;
            item.limits = limits;
        } else {
            item.node.kind = Node::Kind::Text;
            item.node.latex = word;
            item.atom = item.node.atom = Atom::Ord;
        }
        out.push_back(std::move(item));
    }
    for (auto& it : out) {
        it.used = false;
    }
    items = std::move(out);
    // Words of text separated by word spaces are one \text.
    std::sort(items.begin(), items.end(),
              [](const Item& a, const Item& b) { return a.box.minX() < b.box.minX(); });
    for (std::size_t i = 0; i + 1 < items.size(); ++i) {
        Item& a = items[i];
        if (a.used || a.node.kind != Node::Kind::Text) {
            continue;
        }
        for (std::size_t j = i + 1; j < items.size(); ++j) {
            Item& b = items[j];
            if (b.used) {
                continue;
            }
            const double gap = b.penLeft - a.penRight;
            if (b.node.kind == Node::Kind::Text &&
                std::abs(b.baseline - a.baseline) < 0.05 * a.size && gap > 0.15 * a.size &&
                gap < 0.6 * a.size) {
                a.node.latex += " " + b.node.latex;
                a.node.text += U" " + b.node.text;
                a.box = a.box.united(b.box);
                a.penRight = b.penRight;
                b.used = true;
            } else if (b.box.minX() > a.box.maxX()) {
                break;
            }
        }
    }
    compact(items);
}

// Several integral signs set close together: \iint, \iiint.
void joinIntegrals(Items& items) {
    std::sort(items.begin(), items.end(),
              [](const Item& a, const Item& b) { return a.box.minX() < b.box.minX(); });
    for (std::size_t i = 0; i < items.size(); ++i) {
        Item& a = items[i];
        if (a.used || !a.glyph || a.node.latex != "\\int") {
            continue;
        }
        int count = 1;
        for (std::size_t j = i + 1; j < items.size() && count < 4; ++j) {
            Item& b = items[j];
            if (b.used) {
                continue;
            }
            if (b.glyph && b.node.latex == "\\int" && std::abs(b.box.height - a.box.height) < 1 &&
                b.box.minX() < a.box.maxX() + 0.1 * a.size) {
                a.box = a.box.united(b.box);
                a.penRight = b.penRight;
                b.used = true;
                ++count;
            } else if (b.box.minX() > a.box.maxX()) {
                break;
            }
        }
        static const char* names[] = {"", "\\int", "\\iint", "\\iiint", "\\iiiint"};
        a.node.latex = names[count];
        a.sym.latex = names[count];
    }
    compact(items);
}

bool isEquationNumber(const std::u32string& text) {
    // "(1)", "(2.3a)", "(A.1)", "(*)"
    if (text.size() < 3 || text.front() != U'(' || text.back() != U')') {
        return false;
    }
    bool digit = false;
    for (std::size_t i = 1; i + 1 < text.size(); ++i) {
        const char32_t c = text[i];
        if (c >= U'0' && c <= U'9') {
            digit = true;
        } else if (!(c == U'.' || c == U'-' || c == U'*' || (c >= U'a' && c <= U'z') ||
                     (c >= U'A' && c <= U'Z') || c == U'′' || c == U'\'')) {
            return false;
        }
    }
    return digit || text == U"(*)";
}

// An equation number at either end of a line, set apart from the formula: left out.
void dropEquationNumbers(Items& items) {
    std::sort(items.begin(), items.end(),
              [](const Item& a, const Item& b) { return a.box.minX() < b.box.minX(); });
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (items[i].used || !items[i].glyph || items[i].sym.text != U"(") {
            continue;
        }
        const Item& open = items[i];
        std::u32string text = U"(";
        std::vector<std::size_t> run{i};
        std::size_t close = items.size();
        for (std::size_t j = i + 1; j < items.size() && text.size() < 12; ++j) {
            const Item& it = items[j];
            if (it.used || !it.glyph || std::abs(it.baseline - open.baseline) > 0.05 * open.size) {
                continue;
            }
            if (it.box.minX() > items[run.back()].box.maxX() + 0.5 * open.size) {
                break;
            }
            run.push_back(j);
            text += it.sym.text;
            if (it.sym.text == U")") {
                close = j;
                break;
            }
        }
        if (close == items.size() || !isEquationNumber(text)) {
            continue;
        }
        const double x0 = open.box.minX(), x1 = items[close].box.maxX();
        const double band0 = open.box.minY() - 0.5 * open.size,
                     band1 = open.box.maxY() + 0.5 * open.size;
        double nearestLeft = 1e18, nearestRight = 1e18;
        bool others = false;
        for (std::size_t k = 0; k < items.size(); ++k) {
            const Item& it = items[k];
            if (it.used || std::find(run.begin(), run.end(), k) != run.end()) {
                continue;
            }
            if (it.box.maxY() < band0 || it.box.minY() > band1) {
                continue;
            }
            others = true;
            if (it.box.maxX() <= x0) {
                nearestLeft = std::min(nearestLeft, x0 - it.box.maxX());
            } else if (it.box.minX() >= x1) {
                nearestRight = std::min(nearestRight, it.box.minX() - x1);
            } else {
                nearestLeft = nearestRight = 0; // something overlaps: part of the formula
            }
        }
        const double apart = 1.5 * open.size;
        const bool atRightEnd = nearestRight == 1e18 && nearestLeft >= apart;
        const bool atLeftEnd = nearestLeft == 1e18 && nearestRight >= apart;
        if (others && (atRightEnd || atLeftEnd)) {
            for (std::size_t k : run) {
                items[k].used = true;
            }
        }
    }
    compact(items);
}

} // namespace

std::optional<Layout> analyse(const Input& input) {
    Layout layout;
    Items items;
    for (const auto& g : input.glyphs) {
        ++layout.glyphCount;
        Symbol sym = classify(g.text, g.glyphName, g.fontName, g.italic, g.bold);
        if (sym.latex.empty() && sym.role != Role::Piece) {
            ++layout.unknownCount;
            continue;
        }
        items.push_back(tokenItem(g, sym));
    }
    if (items.empty() || layout.unknownCount * 5 > layout.glyphCount) {
        return std::nullopt;
    }
    const double size = medianSize(items);
    for (const auto& r : input.rules) {
        // A bar: wider than tall and thinner than a stroke of text.
        if (r.width > 1.5 * r.height && r.height < 0.2 * size && r.width > 0.2 * size) {
            Item item;
            item.rule = true;
            item.box = r;
            item.size = size;
            item.baseline = r.maxY();
            item.penLeft = r.minX();
            item.penRight = r.maxX();
            items.push_back(item);
        }
    }
    joinBraces(items);
    joinPieces(items);
    joinIntegrals(items);
    joinCompounds(items);
    joinWords(items);
    dropEquationNumbers(items);
    double top = 0;
    for (const auto& it : items) {
        if (!it.rule) {
            top = std::max(top, it.size);
        }
    }
    const bool tex = std::any_of(items.begin(), items.end(),
                                 [](const Item& it) { return it.glyph && it.sym.texMath; });
    Analyser analyser(top, tex);
    layout.formula = single(analyser.parse(std::move(items)).node);
    return layout;
}

} // namespace ombrix::formula
