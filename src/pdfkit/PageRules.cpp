#include "pdfkit/PageRules.h"

#include "pdfkit/MuDocument.h"

#include <cmath>
#include <mutex>

namespace ombrix::pdfkit {

namespace {

// Pages with more than this many rules are drawings, not tables.
constexpr std::size_t kMaxRules = 20000;
constexpr float kStraight = 0.5f; // a line this close to axis-parallel counts as straight

struct Collected {
    std::vector<fz_rect> strokes; // each with its half pen width added
    std::vector<fz_rect> fills;
    bool overflow = false;
};

struct RuleDevice {
    fz_device super;
    Collected* out;
};

// One subpath at a time, in device space.
struct Walk {
    fz_matrix ctm;
    float halfPen = 0;
    bool fill = false;
    Collected* out = nullptr;
    fz_point start{}, current{};
    std::vector<fz_point> points; // of the subpath, for fills
    bool straight = true;

    void add(std::vector<fz_rect>& list, fz_rect r) {
        if (list.size() + out->strokes.size() + out->fills.size() >= kMaxRules) {
            out->overflow = true;
            return;
        }
        list.push_back(r);
    }
    void segment(fz_point a, fz_point b) {
        if (fill) {
            points.push_back(b);
            straight =
                straight && (std::abs(a.x - b.x) < kStraight || std::abs(a.y - b.y) < kStraight);
            return;
        }
        if (std::abs(a.x - b.x) < kStraight || std::abs(a.y - b.y) < kStraight) {
            add(out->strokes,
                fz_make_rect(std::min(a.x, b.x) - halfPen, std::min(a.y, b.y) - halfPen,
                             std::max(a.x, b.x) + halfPen, std::max(a.y, b.y) + halfPen));
        }
    }
    void endFill() {
        // An axis-parallel polygon of four corners (a fifth may repeat the first) is a box.
        if (fill && straight && (points.size() == 4 || points.size() == 5)) {
            fz_rect r = fz_empty_rect;
            for (const auto& p : points) {
                r = fz_include_point_in_rect(r, p);
            }
            add(out->fills, r);
        }
        points.clear();
        straight = true;
    }
};

void moveTo(fz_context*, void* arg, float x, float y) {
    auto* w = static_cast<Walk*>(arg);
    w->endFill();
    w->start = w->current = fz_transform_point_xy(x, y, w->ctm);
    w->points.push_back(w->start);
}

void lineTo(fz_context*, void* arg, float x, float y) {
    auto* w = static_cast<Walk*>(arg);
    const fz_point p = fz_transform_point_xy(x, y, w->ctm);
    w->segment(w->current, p);
    w->current = p;
}

void curveTo(fz_context*, void* arg, float, float, float, float, float x3, float y3) {
    auto* w = static_cast<Walk*>(arg);
    w->straight = false;
    w->current = fz_transform_point_xy(x3, y3, w->ctm);
    w->points.push_back(w->current);
}

void closePath(fz_context*, void* arg) {
    auto* w = static_cast<Walk*>(arg);
    if (w->current.x != w->start.x || w->current.y != w->start.y) {
        w->segment(w->current, w->start);
    }
    w->current = w->start;
}

const fz_path_walker kWalker = {moveTo,  lineTo,  curveTo, closePath,
                                nullptr, nullptr, nullptr, nullptr};

void walk(fz_context* ctx, RuleDevice* dev, const fz_path* path, fz_matrix ctm, float halfPen,
          bool fill) {
    Walk w;
    w.ctm = ctm;
    w.halfPen = halfPen;
    w.fill = fill;
    w.out = dev->out;
    fz_walk_path(ctx, path, &kWalker, &w);
    w.endFill();
}

void fillPath(fz_context* ctx, fz_device* dev, const fz_path* path, int, fz_matrix ctm,
              fz_colorspace*, const float*, float alpha, fz_color_params) {
    if (alpha > 0) {
        walk(ctx, reinterpret_cast<RuleDevice*>(dev), path, ctm, 0, true);
    }
}

void strokePath(fz_context* ctx, fz_device* dev, const fz_path* path, const fz_stroke_state* stroke,
                fz_matrix ctm, fz_colorspace*, const float*, float alpha, fz_color_params) {
    if (alpha > 0) {
        const float pen = stroke ? stroke->linewidth * fz_matrix_expansion(ctm) : 1;
        walk(ctx, reinterpret_cast<RuleDevice*>(dev), path, ctm, std::max(pen, 0.1f) / 2, false);
    }
}

} // namespace

std::vector<PageRule> pageRules(const Page& page) {
    std::vector<PageRule> rules;
    const auto* mu = dynamic_cast<const MuPage*>(&page);
    if (!mu) {
        return rules;
    }
    std::lock_guard lock(mu->core()->mutex);
    fz_context* ctx = mu::context();
    pdf_page* live = mu->livePage(ctx);
    if (!live) {
        return rules;
    }
    const PageFrame& frame = mu->frame(ctx);
    Collected collected;
    RuleDevice* device = nullptr;
    mu::attempt(ctx, [&] {
        device = fz_new_derived_device(ctx, RuleDevice);
        device->out = &collected;
        device->super.fill_path = fillPath;
        device->super.stroke_path = strokePath;
        fz_run_page_contents(ctx, &live->super, &device->super, frame.runMatrix(), nullptr);
        fz_close_device(ctx, &device->super);
    });
    fz_drop_device(ctx, device ? &device->super : nullptr);
    if (collected.overflow) {
        return rules;
    }
    for (const auto& r : collected.strokes) {
        rules.push_back(PageRule{frame.flippedToUser(r), false});
    }
    for (const auto& r : collected.fills) {
        rules.push_back(PageRule{frame.flippedToUser(r), true});
    }
    return rules;
}

} // namespace ombrix::pdfkit
