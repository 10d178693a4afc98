#include "pdfkit/PageGlyphs.h"

#include "pdfkit/MuDocument.h"
#include "pdfkit/PageText.h"

#include <cmath>
#include <mutex>
#include <unordered_map>

namespace ombrix::pdfkit {

namespace {

// More glyphs than this in one region is a page of text, not a formula.
constexpr std::size_t kMaxGlyphs = 20000;

struct FontFacts {
    std::string name;
    bool bold = false, italic = false, serif = false, monospaced = false;
};

struct GlyphDevice {
    fz_device super;
    fz_rect region; // flipped space
    fz_matrix toUser;
    const PageFrame* frame = nullptr;
    std::vector<PageGlyph>* out = nullptr;
    std::unordered_map<fz_font*, FontFacts>* fonts = nullptr;
    bool overflow = false;
};

const FontFacts& factsOf(fz_context* ctx, GlyphDevice* dev, fz_font* font) {
    auto [it, added] = dev->fonts->try_emplace(font);
    if (added) {
        const char* name = fz_font_name(ctx, font);
        it->second.name = stripSubsetTag(name ? name : "");
        it->second.bold = fz_font_is_bold(ctx, font);
        it->second.italic = fz_font_is_italic(ctx, font);
        it->second.serif = fz_font_is_serif(ctx, font);
        it->second.monospaced = fz_font_is_monospaced(ctx, font);
    }
    return it->second;
}

void collect(fz_context* ctx, GlyphDevice* dev, const fz_text* text, fz_matrix ctm) {
    PageGlyph* last = nullptr;
    for (const fz_text_span* span = text->head; span; span = span->next) {
        const FontFacts& facts = factsOf(ctx, dev, span->font);
        for (int i = 0; i < span->len; ++i) {
            const fz_text_item& item = span->items[i];
            if (item.gid < 0) {
                // One glyph, several characters: the rest belong to the glyph before.
                if (last && item.ucs > 0) {
                    last->text.push_back(char32_t(item.ucs));
                }
                continue;
            }
            last = nullptr;
            fz_matrix trm = span->trm;
            trm.e = item.x;
            trm.f = item.y;
            const fz_matrix drawn = fz_concat(trm, ctm);
            fz_rect ink = fz_bound_glyph(ctx, span->font, item.gid, drawn);
            if (fz_is_empty_rect(ink)) {
                continue; // a space or an empty glyph leaves no mark
            }
            const fz_point centre{(ink.x0 + ink.x1) / 2, (ink.y0 + ink.y1) / 2};
            if (!fz_is_point_inside_rect(centre, dev->region)) {
                continue;
            }
            if (dev->out->size() >= kMaxGlyphs) {
                dev->overflow = true;
                return;
            }
            PageGlyph glyph;
            if (item.ucs > 0 && item.ucs != 0xFFFD) {
                glyph.text.push_back(char32_t(item.ucs));
            }
            char name[64] = {0};
            fz_get_glyph_name(ctx, span->font, item.gid, name, sizeof name);
            glyph.glyphName = name;
            glyph.fontName = facts.name;
            glyph.bold = facts.bold;
            glyph.italic = facts.italic;
            glyph.serif = facts.serif;
            glyph.monospaced = facts.monospaced;
            glyph.size = fz_matrix_expansion(drawn);
            const fz_point origin = fz_transform_point(fz_make_point(item.x, item.y), ctm);
            const fz_point user = fz_transform_point(origin, dev->toUser);
            glyph.origin = Point{user.x, user.y};
            const float advance = fz_advance_glyph(ctx, span->font, item.gid, span->wmode);
            const fz_point along =
                fz_transform_vector(fz_make_point(advance, 0), fz_concat(span->trm, ctm));
            glyph.advance = std::hypot(along.x, along.y);
            glyph.ink = dev->frame->flippedToUser(ink);
            // Device space runs y down, glyph space y up: an upright glyph flips y. A slant
            // (an oblique made from an upright face) keeps it upright.
            glyph.upright = drawn.a > 0 && drawn.d < 0 && std::abs(drawn.b) < 1e-3 * drawn.a;
            dev->out->push_back(std::move(glyph));
            last = &dev->out->back();
        }
    }
}

void fillText(fz_context* ctx, fz_device* dev, const fz_text* text, fz_matrix ctm, fz_colorspace*,
              const float*, float alpha, fz_color_params) {
    auto* glyphs = reinterpret_cast<GlyphDevice*>(dev);
    if (alpha > 0 && !glyphs->overflow) {
        collect(ctx, glyphs, text, ctm);
    }
}

void strokeText(fz_context* ctx, fz_device* dev, const fz_text* text, const fz_stroke_state*,
                fz_matrix ctm, fz_colorspace*, const float*, float alpha, fz_color_params) {
    fillText(ctx, dev, text, ctm, nullptr, nullptr, alpha, {});
}

} // namespace

std::vector<PageGlyph> pageGlyphs(const Page& page, const Rect& region) {
    std::vector<PageGlyph> glyphs;
    const auto* mu = dynamic_cast<const MuPage*>(&page);
    if (!mu || region.isEmpty()) {
        return glyphs;
    }
    std::lock_guard lock(mu->core()->mutex);
    fz_context* ctx = mu::context();
    pdf_page* live = mu->livePage(ctx);
    if (!live) {
        return glyphs;
    }
    const PageFrame& frame = mu->frame(ctx);
    const fz_matrix toFlipped = frame.userToFlipped();
    std::unordered_map<fz_font*, FontFacts> fonts;
    GlyphDevice* device = nullptr;
    const bool ran = mu::attempt(ctx, [&] {
        device = fz_new_derived_device(ctx, GlyphDevice);
        device->region = fz_transform_rect(fz_make_rect(float(region.minX()), float(region.minY()),
                                                        float(region.maxX()), float(region.maxY())),
                                           toFlipped);
        device->toUser = fz_invert_matrix(toFlipped);
        device->frame = &frame;
        device->out = &glyphs;
        device->fonts = &fonts;
        device->super.fill_text = fillText;
        device->super.stroke_text = strokeText;
        fz_run_page_contents(ctx, &live->super, &device->super, frame.runMatrix(), nullptr);
        fz_close_device(ctx, &device->super);
    });
    const bool overflow = device && device->overflow;
    fz_drop_device(ctx, device ? &device->super : nullptr);
    if (!ran || overflow) {
        glyphs.clear();
    }
    return glyphs;
}

} // namespace ombrix::pdfkit
