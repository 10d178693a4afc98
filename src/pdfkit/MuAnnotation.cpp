#include "pdfkit/MuAnnotation.h"

#include "core/Uuid.h"
#include "pdfkit/AnnotationSubtype.h"
#include "pdfkit/MuDocument.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <numbers>

namespace ombrix::pdfkit {

namespace {

// ---- Subtypes ----

enum class Geometry { rect, quads, line, ink, vertices };

Geometry geometryOf(const std::string& name) {
    switch (subtypeNamed(name).value_or(Subtype::square)) {
    case Subtype::highlight:
    case Subtype::underline:
    case Subtype::strikeOut:
    case Subtype::squiggly:
    case Subtype::redact:
        return Geometry::quads;
    case Subtype::line:
        return Geometry::line;
    case Subtype::ink:
        return Geometry::ink;
    case Subtype::polygon:
    case Subtype::polyLine:
        return Geometry::vertices;
    default:
        return Geometry::rect;
    }
}

bool isReadOnly(const std::string& subtype) {
    return subtypeNamed(subtype) == Subtype::widget;
}

bool isHighlight(const std::string& subtype) {
    return subtypeNamed(subtype) == Subtype::highlight;
}

double finiteOr(double v, double fallback) {
    return std::isfinite(v) ? v : fallback;
}
double unit(double v) {
    return std::clamp(finiteOr(v, 0), 0.0, 1.0);
}

Rect boundingBox(const std::vector<double>& xy) {
    double x0 = xy[0], y0 = xy[1], x1 = xy[0], y1 = xy[1];
    for (std::size_t i = 2; i + 1 < xy.size(); i += 2) {
        x0 = std::min(x0, xy[i]);
        x1 = std::max(x1, xy[i]);
        y0 = std::min(y0, xy[i + 1]);
        y1 = std::max(y1, xy[i + 1]);
    }
    return Rect::fromEdges(x0, y0, x1, y1);
}

// ---- Reading objects ----

using mu::get;
using mu::number;
using mu::numbers;

std::optional<Rect> rectOf(fz_context* ctx, pdf_obj* obj) {
    std::vector<double> v = numbers(ctx, obj);
    if (v.size() < 4) {
        return std::nullopt;
    }
    return Rect::fromEdges(v[0], v[1], v[2], v[3]);
}

std::optional<Color> colorOf(const std::vector<double>& c) {
    switch (c.size()) {
    case 1:
        return Color{unit(c[0]), unit(c[0]), unit(c[0]), 1};
    case 3:
        return Color{unit(c[0]), unit(c[1]), unit(c[2]), 1};
    case 4: {
        const double k = unit(c[3]);
        return Color{(1 - unit(c[0])) * (1 - k), (1 - unit(c[1])) * (1 - k),
                     (1 - unit(c[2])) * (1 - k), 1};
    }
    default:
        return std::nullopt;
    }
}

template <class Key> std::optional<std::string> textOf(fz_context* ctx, pdf_obj* dict, Key key) {
    return mu::text(ctx, get(ctx, dict, key));
}

// The annotation's name; MuPDF 1.21 has no name constant for it.
constexpr const char* kNameKey = "NM";

// The points of an annotation's geometry as x, y pairs in page space, and for ink the
// number of points of each stroke.
struct Shape {
    Geometry kind = Geometry::rect;
    std::vector<double> xy;
    std::vector<int> strokes;
};

Shape readShape(fz_context* ctx, pdf_obj* dict, Geometry kind) {
    Shape shape;
    shape.kind = kind;
    switch (kind) {
    case Geometry::rect:
        break;
    case Geometry::quads: {
        shape.xy = numbers(ctx, get(ctx, dict, PDF_NAME(QuadPoints)));
        shape.xy.resize(shape.xy.size() / 8 * 8);
        break;
    }
    case Geometry::line:
        shape.xy = numbers(ctx, get(ctx, dict, PDF_NAME(L)));
        if (shape.xy.size() != 4) {
            shape.xy.clear();
        }
        break;
    case Geometry::vertices:
        shape.xy = numbers(ctx, get(ctx, dict, PDF_NAME(Vertices)));
        shape.xy.resize(shape.xy.size() / 2 * 2);
        break;
    case Geometry::ink: {
        pdf_obj* list = get(ctx, dict, PDF_NAME(InkList));
        const int n = mu::length(ctx, list);
        for (int i = 0; i < n; ++i) {
            std::vector<double> points = numbers(ctx, mu::item(ctx, list, i));
            points.resize(points.size() / 2 * 2);
            if (!points.empty()) {
                shape.strokes.push_back(int(points.size() / 2));
                shape.xy.insert(shape.xy.end(), points.begin(), points.end());
            }
        }
        break;
    }
    }
    return shape;
}

// The corners of a page-space rectangle as a quad: upper left, upper right, lower left,
// lower right as the page is shown turned by its /Rotate (clockwise). Readers draw a
// quad's markup along its upper edge, so this is what puts it along the shown lines.
std::vector<double> quadCorners(const Rect& r, int rotation) {
    const double x0 = r.minX(), y0 = r.minY(), x1 = r.maxX(), y1 = r.maxY();
    switch (rotation) {
    case 90:
        return {x0, y0, x0, y1, x1, y0, x1, y1};
    case 180:
        return {x1, y0, x0, y0, x1, y1, x0, y1};
    case 270:
        return {x1, y1, x1, y0, x0, y1, x0, y0};
    default:
        return {x0, y1, x1, y1, x0, y0, x1, y0};
    }
}

// The geometry a new annotation of the kind gets so that it shows inside `b`, on a page
// shown turned by `rotation`.
Shape defaultShape(Geometry kind, const std::string& subtype, const Rect& b,
                   const std::vector<Rect>& quads, int rotation = 0) {
    Shape s;
    s.kind = kind;
    const double x0 = b.minX(), y0 = b.minY(), x1 = b.maxX(), y1 = b.maxY();
    const double w = x1 - x0;
    switch (kind) {
    case Geometry::rect:
        break;
    case Geometry::quads:
        for (const Rect& r : quads.empty() ? std::vector<Rect>{b} : quads) {
            const std::vector<double> corners = quadCorners(r, rotation);
            s.xy.insert(s.xy.end(), corners.begin(), corners.end());
        }
        break;
    case Geometry::line:
        s.xy = {x0, y0, x1, y1};
        break;
    case Geometry::ink: {
        // One wave across the box, touching all four sides.
        const int n = 17;
        for (int i = 0; i < n; ++i) {
            const double t = double(i) / (n - 1);
            s.xy.push_back(x0 + w * t);
            s.xy.push_back((y0 + y1) / 2 + (y1 - y0) / 2 * std::sin(2 * std::numbers::pi * t));
        }
        s.xy[9] = y1; // t = 0.25 and 0.75 exactly, whatever the rounding of sin
        s.xy[25] = y0;
        s.strokes = {n};
        break;
    }
    case Geometry::vertices:
        if (subtypeNamed(subtype) == Subtype::polygon) {
            s.xy = {x0, y0, x1, y0, (x0 + x1) / 2, y1};
        } else {
            s.xy = {x0, y0, x0 + w / 3, y1, x0 + 2 * w / 3, y0, x1, y1};
        }
        break;
    }
    return s;
}

// Moves and scales the points from the box `from` onto the box `to`.
void mapShape(Shape& s, const Rect& from, const Rect& to) {
    const double sx = from.width > 0 ? to.width / from.width : 0;
    const double sy = from.height > 0 ? to.height / from.height : 0;
    for (std::size_t i = 0; i + 1 < s.xy.size(); i += 2) {
        s.xy[i] = from.width > 0 ? to.minX() + (s.xy[i] - from.minX()) * sx : to.midX();
        s.xy[i + 1] = from.height > 0 ? to.minY() + (s.xy[i + 1] - from.minY()) * sy : to.midY();
    }
}

std::vector<Rect> quadsOf(const Shape& s) {
    std::vector<Rect> rects;
    for (std::size_t i = 0; i + 8 <= s.xy.size(); i += 8) {
        rects.push_back(boundingBox(std::vector<double>(s.xy.begin() + i, s.xy.begin() + i + 8)));
    }
    return rects;
}

// ---- Writing objects ----
//
// Each entry goes through MuPDF's own setter when the annotation is MuPDF's annotation of
// the live page (found for the one change, never kept). It is written by hand when there is
// none: the annotation is off its page, or of a kind MuPDF lists no annotation for (links,
// popups), or MuPDF refuses the entry for its subtype (an interior colour on ink, the rect
// of a highlight, whose quads make it). The hand-written entry is the one MuPDF writes.

// Runs MuPDF's setter on `annot`; false when there is none or MuPDF refused.
template <class Set> bool viaMuPdf(fz_context* ctx, pdf_annot* annot, Set&& set) {
    return annot && mu::attempt(ctx, [&] { set(annot); });
}

bool putNumbers(fz_context* ctx, pdf_obj* dict, pdf_obj* key, const std::vector<double>& v) {
    const double* values = v.data();
    const int n = int(v.size());
    return mu::attempt(ctx, [&] {
        pdf_obj* array = pdf_dict_put_array(ctx, dict, key, n);
        for (int i = 0; i < n; ++i) {
            pdf_array_push_real(ctx, array, values[i]);
        }
    });
}

void remove(fz_context* ctx, pdf_obj* dict, pdf_obj* key) {
    mu::attempt(ctx, [&] { pdf_dict_del(ctx, dict, key); });
}

void putText(fz_context* ctx, pdf_obj* dict, const char* key, const std::string& text) {
    const char* s = text.c_str();
    mu::attempt(ctx, [&] { pdf_dict_puts_drop(ctx, dict, key, pdf_new_text_string(ctx, s)); });
}

// MuPDF's geometry setters take points as the page is shown and turn them back with the
// page's transform: this transform, when it can be turned back.
std::optional<fz_matrix> shownTransform(fz_context* ctx, pdf_annot* annot) {
    fz_matrix m = fz_identity;
    if (!annot || !mu::attempt(ctx, [&] {
            pdf_page_transform(ctx, pdf_annot_page(ctx, annot), nullptr, &m);
        })) {
        return std::nullopt;
    }
    const double det = double(m.a) * m.d - double(m.b) * m.c;
    if (!std::isfinite(det) || std::abs(det) < 1e-9 || !std::isfinite(m.e) || !std::isfinite(m.f)) {
        return std::nullopt;
    }
    return m;
}

fz_rect toFz(const Rect& r) {
    return fz_make_rect(float(r.minX()), float(r.minY()), float(r.maxX()), float(r.maxY()));
}

void writeRect(fz_context* ctx, pdf_annot* annot, pdf_obj* dict, const Rect& r) {
    const std::optional<fz_matrix> shown = shownTransform(ctx, annot);
    if (shown && viaMuPdf(ctx, annot, [&](pdf_annot* a) {
            pdf_set_annot_rect(ctx, a, fz_transform_rect(toFz(r), *shown));
        })) {
        return;
    }
    putNumbers(ctx, dict, PDF_NAME(Rect), {r.minX(), r.minY(), r.maxX(), r.maxY()});
}

std::vector<float> rgbOf(const Color& c) {
    return {float(unit(c.red)), float(unit(c.green)), float(unit(c.blue))};
}

// No colour is no entry: MuPDF's setter would write an empty array instead.
void writeColor(fz_context* ctx, pdf_annot* annot, pdf_obj* dict, bool interior,
                const std::optional<Color>& color) {
    pdf_obj* key = interior ? PDF_NAME(IC) : PDF_NAME(C);
    if (!color) {
        remove(ctx, dict, key);
        return;
    }
    const std::vector<float> rgb = rgbOf(*color);
    const float* v = rgb.data();
    if (viaMuPdf(ctx, annot, [&](pdf_annot* a) {
            interior ? pdf_set_annot_interior_color(ctx, a, 3, v)
                     : pdf_set_annot_color(ctx, a, 3, v);
        })) {
        return;
    }
    putNumbers(ctx, dict, key, {v[0], v[1], v[2]});
}

void writeOpacity(fz_context* ctx, pdf_annot* annot, pdf_obj* dict, double opacity) {
    const float o = float(unit(opacity));
    if (viaMuPdf(ctx, annot, [&](pdf_annot* a) { pdf_set_annot_opacity(ctx, a, o); })) {
        return;
    }
    mu::attempt(ctx, [&] {
        if (o >= 1) {
            pdf_dict_del(ctx, dict, PDF_NAME(CA));
        } else {
            pdf_dict_put_real(ctx, dict, PDF_NAME(CA), o);
        }
    });
}

void writeBorder(fz_context* ctx, pdf_annot* annot, pdf_obj* dict, double width) {
    const float w = float(std::max(0.0, finiteOr(width, 1)));
    if (viaMuPdf(ctx, annot, [&](pdf_annot* a) { pdf_set_annot_border(ctx, a, w); })) {
        return;
    }
    // The old /Border and a border effect MuPDF cannot draw go, as its setter drops them.
    mu::attempt(ctx, [&] {
        pdf_obj* bs = pdf_dict_get(ctx, dict, PDF_NAME(BS));
        if (!pdf_is_dict(ctx, bs)) {
            bs = pdf_dict_put_dict(ctx, dict, PDF_NAME(BS), 2);
        }
        pdf_dict_put_real(ctx, bs, PDF_NAME(W), w);
        pdf_dict_del(ctx, dict, PDF_NAME(Border));
        pdf_dict_del(ctx, dict, PDF_NAME(BE));
    });
}

void writeContents(fz_context* ctx, pdf_annot* annot, pdf_obj* dict, const std::string& text) {
    const char* s = text.c_str();
    if (viaMuPdf(ctx, annot, [&](pdf_annot* a) { pdf_set_annot_contents(ctx, a, s); })) {
        return;
    }
    // Rich text goes, as MuPDF's setter drops it: readers that prefer it would show the old.
    mu::attempt(ctx, [&] {
        pdf_dict_put_text_string(ctx, dict, PDF_NAME(Contents), s);
        pdf_dict_del(ctx, dict, PDF_NAME(RC));
    });
}

void writeAuthor(fz_context* ctx, pdf_annot* annot, pdf_obj* dict, const std::string& name) {
    const char* s = name.c_str();
    if (viaMuPdf(ctx, annot, [&](pdf_annot* a) { pdf_set_annot_author(ctx, a, s); })) {
        return;
    }
    mu::attempt(ctx, [&] { pdf_dict_put_text_string(ctx, dict, PDF_NAME(T), s); });
}

void writeShape(fz_context* ctx, pdf_annot* annot, pdf_obj* dict, const Shape& s) {
    if (s.kind == Geometry::rect || s.xy.empty()) {
        return;
    }
    if (const std::optional<fz_matrix> shown = shownTransform(ctx, annot)) {
        std::vector<fz_point> points;
        for (std::size_t i = 0; i + 1 < s.xy.size(); i += 2) {
            points.push_back(
                fz_transform_point(fz_make_point(float(s.xy[i]), float(s.xy[i + 1])), *shown));
        }
        std::vector<fz_quad> quads;
        for (std::size_t i = 0; i + 3 < points.size(); i += 4) {
            quads.push_back(fz_quad{points[i], points[i + 1], points[i + 2], points[i + 3]});
        }
        const fz_point* v = points.data();
        const int n = int(points.size());
        const fz_quad* q = quads.data();
        const int nq = int(quads.size());
        const int* counts = s.strokes.data();
        const int strokes = int(s.strokes.size());
        const Geometry kind = s.kind;
        if (viaMuPdf(ctx, annot, [&](pdf_annot* a) {
                switch (kind) {
                case Geometry::quads:
                    pdf_set_annot_quad_points(ctx, a, nq, q);
                    break;
                case Geometry::line:
                    pdf_set_annot_line(ctx, a, v[0], v[1]);
                    break;
                case Geometry::vertices:
                    pdf_set_annot_vertices(ctx, a, n, v);
                    break;
                case Geometry::ink:
                    pdf_set_annot_ink_list(ctx, a, strokes, counts, v);
                    break;
                case Geometry::rect:
                    break;
                }
            })) {
            return;
        }
    }
    switch (s.kind) {
    case Geometry::rect:
        break;
    case Geometry::quads:
        putNumbers(ctx, dict, PDF_NAME(QuadPoints), s.xy);
        break;
    case Geometry::line:
        putNumbers(ctx, dict, PDF_NAME(L), s.xy);
        break;
    case Geometry::vertices:
        putNumbers(ctx, dict, PDF_NAME(Vertices), s.xy);
        break;
    case Geometry::ink: {
        const double* xy = s.xy.data();
        const int* counts = s.strokes.data();
        const int strokes = int(s.strokes.size());
        mu::attempt(ctx, [&] {
            pdf_obj* list = pdf_dict_put_array(ctx, dict, PDF_NAME(InkList), strokes);
            int k = 0;
            for (int i = 0; i < strokes; ++i) {
                pdf_obj* stroke = pdf_array_push_array(ctx, list, counts[i] * 2);
                for (int j = 0; j < counts[i] * 2; ++j) {
                    pdf_array_push_real(ctx, stroke, xy[k++]);
                }
            }
        });
        break;
    }
    }
}

// ---- Default appearance strings: "/Helv 12 Tf 0 0 1 rg" ----

struct Appearance {
    std::optional<std::string> font; // resource name without "/"
    double size = 12;
    std::optional<Color> color;
};

// The font resource the string's Tf names. MuPDF's parser reports only the five fonts it
// draws, and Helv when the string names none, which reads here as no font.
std::optional<std::string> fontOperand(std::string_view da) {
    std::optional<std::string> font;
    std::string_view name;
    for (std::size_t i = 0; i < da.size();) {
        const std::size_t end = std::min(da.find_first_of(" \t\r\n", i), da.size());
        const std::string_view token = da.substr(i, end - i);
        if (token.size() > 1 && token[0] == '/') {
            name = token.substr(1);
        } else if (token == "Tf" && !name.empty()) {
            font = std::string(name);
        }
        i = end + 1;
    }
    return font;
}

std::string formatNumber(double v) {
    char buf[32];
    auto [ptr, ec] = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 6);
    return ec == std::errc() ? std::string(buf, ptr) : std::string("0");
}

// MuPDF draws the standard fonts by these resource names.
std::string familyOfResource(const std::string& name) {
    if (name == "Helv") {
        return "Helvetica";
    }
    if (name == "TiRo") {
        return "Times-Roman";
    }
    if (name == "Cour") {
        return "Courier";
    }
    if (name == "Symb") {
        return "Symbol";
    }
    if (name == "ZaDb") {
        return "ZapfDingbats";
    }
    return name;
}

std::string resourceOfFamily(const std::string& family) {
    std::string f(family);
    std::transform(f.begin(), f.end(), f.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    if (f.find("courier") != std::string::npos || f.find("mono") != std::string::npos) {
        return "Cour";
    }
    if (f.find("times") != std::string::npos ||
        (f.find("serif") != std::string::npos && f.find("sans") == std::string::npos)) {
        return "TiRo";
    }
    if (f.find("symbol") != std::string::npos) {
        return "Symb";
    }
    if (f.find("zapf") != std::string::npos || f.find("dingbat") != std::string::npos) {
        return "ZaDb";
    }
    return "Helv";
}

constexpr std::string_view kPrivatePrefix = "Ombrix";

bool isPrivateKey(const std::string& key) {
    return key.size() > kPrivatePrefix.size() && key.starts_with(kPrivatePrefix);
}

bool readFlag(fz_context* ctx, pdf_obj* dict, const std::string& key) {
    pdf_obj* value = get(ctx, dict, key.c_str());
    bool on = false;
    mu::attempt(ctx, [&] { on = pdf_is_bool(ctx, value) && pdf_to_bool(ctx, value); });
    return on;
}

void writeFlag(fz_context* ctx, pdf_obj* dict, const std::string& key, bool on) {
    const char* k = key.c_str();
    mu::attempt(ctx, [&] {
        if (on) {
            pdf_dict_puts(ctx, dict, k, PDF_TRUE);
        } else {
            pdf_dict_dels(ctx, dict, k);
        }
    });
}

void writePrivateText(fz_context* ctx, pdf_obj* dict, const std::string& key,
                      const std::optional<std::string>& text) {
    if (!text) {
        mu::attempt(ctx, [&] { pdf_dict_dels(ctx, dict, key.c_str()); });
        return;
    }
    const char* k = key.c_str();
    const char* s = text->c_str();
    mu::attempt(ctx, [&] {
        pdf_obj* value = pdf_new_text_string(ctx, s);
        pdf_dict_puts_drop(ctx, dict, k, value);
    });
}

// The private texts a dictionary holds, for keeping them when it is let go.
std::vector<std::pair<std::string, std::string>> readPrivateTexts(fz_context* ctx, pdf_obj* dict) {
    std::vector<std::pair<std::string, std::string>> texts;
    int n = 0;
    mu::attempt(ctx, [&] { n = pdf_is_dict(ctx, dict) ? pdf_dict_len(ctx, dict) : 0; });
    for (int i = 0; i < n; ++i) {
        pdf_obj* key = nullptr;
        pdf_obj* value = nullptr;
        mu::attempt(ctx, [&] {
            key = pdf_dict_get_key(ctx, dict, i);
            value = pdf_dict_get_val(ctx, dict, i);
        });
        const std::string name = mu::name(ctx, key);
        if (!isPrivateKey(name)) {
            continue;
        }
        if (auto text = mu::text(ctx, value)) {
            texts.emplace_back(name, *text);
        }
    }
    return texts;
}

// The private flags a dictionary holds, for keeping them when it is let go.
std::vector<std::string> readFlags(fz_context* ctx, pdf_obj* dict) {
    std::vector<std::string> keys;
    int n = 0;
    mu::attempt(ctx, [&] { n = pdf_is_dict(ctx, dict) ? pdf_dict_len(ctx, dict) : 0; });
    for (int i = 0; i < n; ++i) {
        pdf_obj* key = nullptr;
        mu::attempt(ctx, [&] { key = pdf_dict_get_key(ctx, dict, i); });
        const std::string name = mu::name(ctx, key);
        if (isPrivateKey(name) && readFlag(ctx, dict, name)) {
            keys.push_back(name);
        }
    }
    return keys;
}

// The size and colour as MuPDF reads them; the font as the string names it.
Appearance readAppearance(fz_context* ctx, pdf_obj* dict) {
    pdf_obj* da = get(ctx, dict, PDF_NAME(DA));
    const char* text = nullptr;
    const char* font = nullptr;
    float size = 12;
    int n = 0;
    float color[4] = {0, 0, 0, 0};
    mu::attempt(ctx, [&] {
        if (pdf_is_string(ctx, da)) {
            text = pdf_to_str_buf(ctx, da);
            pdf_parse_default_appearance(ctx, text, &font, &size, &n, color);
        }
    });
    Appearance out;
    if (!text) {
        return out;
    }
    out.font = fontOperand(text);
    out.size = std::isfinite(size) ? size : 12;
    out.color = colorOf(std::vector<double>(color, color + std::clamp(n, 0, 4)));
    return out;
}

// A font name MuPDF does not know is kept when it fits MuPDF's 100-byte string.
constexpr std::size_t kMaxFontName = 40;

void writeAppearance(fz_context* ctx, pdf_annot* annot, pdf_obj* dict, const Appearance& a) {
    const char* font = a.font && a.font->size() <= kMaxFontName ? a.font->c_str() : "Helv";
    const float size = float(std::max(0.0, finiteOr(a.size, 12)));
    const std::vector<float> rgb = a.color ? rgbOf(*a.color) : std::vector<float>(3, 0.0f);
    const float* v = rgb.data();
    const int n = a.color ? 3 : 0;
    if (viaMuPdf(ctx, annot, [&](pdf_annot* x) {
            pdf_set_annot_default_appearance(ctx, x, font, size, n, v);
        })) {
        return;
    }
    // Rich text and its style go, as MuPDF's setter drops them: they would override it.
    char text[100];
    mu::attempt(ctx, [&] {
        pdf_print_default_appearance(ctx, text, sizeof text, font, size, n, v);
        pdf_dict_put_string(ctx, dict, PDF_NAME(DA), text, std::strlen(text));
        pdf_dict_del(ctx, dict, PDF_NAME(DS));
        pdf_dict_del(ctx, dict, PDF_NAME(RC));
    });
}

// Writes every property that was set into a fresh dictionary.
void writeProps(fz_context* ctx, pdf_annot* annot, pdf_obj* dict, const AnnotationProps& p,
                int rotation) {
    const Geometry kind = geometryOf(p.subtype);
    writeRect(ctx, annot, dict, p.bounds.standardized());
    writeShape(ctx, annot, dict,
               defaultShape(kind, p.subtype, p.bounds.standardized(), p.quads, rotation));
    if (p.color || p.colorSet) {
        writeColor(ctx, annot, dict, false, p.color);
    }
    writeOpacity(ctx, annot, dict, p.opacity);
    if (p.interiorColor || p.interiorColorSet) {
        writeColor(ctx, annot, dict, true, p.interiorColor);
    }
    if (p.font || p.fontColor) {
        Appearance a = readAppearance(ctx, dict);
        if (p.font) {
            a.font = resourceOfFamily(p.font->family);
            a.size = std::max(0.0, finiteOr(p.font->size, 12));
        }
        if (p.fontColor) {
            a.color = p.fontColor->withAlpha(1);
        }
        writeAppearance(ctx, annot, dict, a);
    }
    if (p.border) {
        writeBorder(ctx, annot, dict, p.border->lineWidth);
    }
    if (p.contents) {
        writeContents(ctx, annot, dict, *p.contents);
    }
    if (p.userName) {
        writeAuthor(ctx, annot, dict, *p.userName);
    }
    if (p.name) {
        putText(ctx, dict, kNameKey, *p.name);
    }
    for (const auto& key : p.privateFlags) {
        writeFlag(ctx, dict, key, true);
    }
    for (const auto& [key, text] : p.privateTexts) {
        writePrivateText(ctx, dict, key, text);
    }
}

constexpr std::string_view kRegionFlag = "OmbrixRegion";

// A region highlight's look: its rectangle filled in its colour, multiplied onto the page
// at its opacity (as a highlighter pen does: text under it stays black), square-cornered
// and not a point past it. /Rect becomes that rectangle. The stream MuPDF just made, when
// there is one, is rewritten rather than left unreferenced in the file.
void writeRegionAppearance(fz_context* ctx, pdf_document* doc, pdf_obj* dict, const Rect& r) {
    const std::optional<Color> c = colorOf(numbers(ctx, get(ctx, dict, PDF_NAME(C))));
    const double opacity = unit(number(ctx, get(ctx, dict, PDF_NAME(CA))).value_or(1));
    std::string content;
    if (c && !r.isEmpty()) {
        content = "/H gs " + formatNumber(unit(c->red)) + " " + formatNumber(unit(c->green)) + " " +
                  formatNumber(unit(c->blue)) + " rg " + formatNumber(r.minX()) + " " +
                  formatNumber(r.minY()) + " " + formatNumber(r.width) + " " +
                  formatNumber(r.height) + " re f\n";
    }
    const fz_rect box =
        fz_make_rect(float(r.minX()), float(r.minY()), float(r.maxX()), float(r.maxY()));
    const char* text = content.c_str();
    const std::size_t length = content.size();
    fz_buffer* buffer = nullptr;
    pdf_obj* resources = nullptr;
    pdf_obj* made = nullptr;
    mu::attempt(ctx, [&] {
        buffer = fz_new_buffer_from_copied_data(ctx, reinterpret_cast<const unsigned char*>(text),
                                                length);
        resources = pdf_new_dict(ctx, doc, 1);
        pdf_obj* states = pdf_dict_put_dict(ctx, resources, PDF_NAME(ExtGState), 1);
        pdf_obj* gs = pdf_dict_put_dict(ctx, states, PDF_NAME(H), 4);
        pdf_dict_put(ctx, gs, PDF_NAME(Type), PDF_NAME(ExtGState));
        pdf_dict_put(ctx, gs, PDF_NAME(BM), PDF_NAME(Multiply));
        pdf_dict_put_real(ctx, gs, PDF_NAME(ca), opacity);
        pdf_dict_put_real(ctx, gs, PDF_NAME(CA), opacity);
        pdf_obj* ap = pdf_dict_get(ctx, dict, PDF_NAME(AP));
        pdf_obj* normal = pdf_is_dict(ctx, ap) ? pdf_dict_get(ctx, ap, PDF_NAME(N)) : nullptr;
        if (pdf_is_indirect(ctx, normal) && pdf_is_stream(ctx, normal)) {
            pdf_dict_put_rect(ctx, normal, PDF_NAME(BBox), box);
            pdf_dict_put_matrix(ctx, normal, PDF_NAME(Matrix), fz_identity);
            pdf_dict_put(ctx, normal, PDF_NAME(Resources), resources);
            pdf_update_stream(ctx, doc, normal, buffer, 0);
        } else {
            made = pdf_new_xobject(ctx, doc, box, fz_identity, resources, buffer);
            ap = pdf_dict_put_dict(ctx, dict, PDF_NAME(AP), 1);
            pdf_dict_put(ctx, ap, PDF_NAME(N), made);
        }
        pdf_dict_put_rect(ctx, dict, PDF_NAME(Rect), box);
    });
    pdf_drop_obj(ctx, made);
    pdf_drop_obj(ctx, resources);
    fz_drop_buffer(ctx, buffer);
}

} // namespace

std::string normalizeSubtype(const std::string& subtype) {
    std::string name = !subtype.empty() && subtype[0] == '/' ? subtype.substr(1) : subtype;
    if (name.empty()) {
        return subtypeInfo(Subtype::highlight).name;
    }
    if (auto known = subtypeLoosely(name)) {
        return subtypeInfo(*known).name;
    }
    return name;
}

std::shared_ptr<Annotation> Annotation::create(const Rect& bounds, const std::string& subtype) {
    AnnotationProps props;
    props.subtype = normalizeSubtype(subtype);
    props.bounds = bounds.isFinite() ? bounds.standardized() : Rect{};
    return std::make_shared<MuAnnotation>(std::move(props));
}

MuAnnotation::MuAnnotation(AnnotationProps props)
    : subtype_(props.subtype), props_(std::move(props)) {}

MuAnnotation::MuAnnotation(std::shared_ptr<DocCore> core, fz_context* ctx, pdf_obj* ref,
                           std::weak_ptr<MuPage> page)
    : core_(std::move(core)), page_(std::move(page)) {
    ref_ = pdf_keep_obj(ctx, ref);
    subtype_ = mu::name(ctx, get(ctx, current(), PDF_NAME(Subtype)));
}

MuAnnotation::~MuAnnotation() {
    if (core_ && ref_) {
        std::lock_guard lock(core_->mutex);
        pdf_drop_obj(mu::context(), ref_);
    }
}

pdf_obj* MuAnnotation::current() const {
    return mu::resolve(mu::context(), ref_);
}

// Applies a change: to the dictionary when there is one, through MuPDF's annotation when
// it is on a live page (then regenerating the appearance, or noting that it must be once
// the annotation is back on a page), else to the kept properties.
template <class Write> void MuAnnotation::change(Write&& write) {
    if (isReadOnly(subtype_)) {
        return;
    }
    if (!ref_) {
        write(nullptr, nullptr, nullptr, props_);
        return;
    }
    std::lock_guard lock(core_->mutex);
    fz_context* ctx = mu::context();
    // Found before the dictionary is: loading the page may draw missing appearances,
    // which moves annotation objects.
    auto page = page_.lock();
    pdf_annot* annot = page ? page->liveAnnotation(ctx, ref_) : nullptr;
    pdf_obj* dict = current();
    if (!mu::isDict(ctx, dict)) {
        return; // an object the file lost: nothing to change
    }
    write(ctx, dict, annot, props_);
    if (page) {
        refreshAppearance(ctx, *page);
    } else {
        needsAppearance_ = true;
    }
}

void MuAnnotation::refreshAppearance(fz_context* ctx, MuPage& page) {
    needsAppearance_ = false;
    pdf_page* live = page.livePage(ctx);
    pdf_annot* annot = live ? page.liveAnnotation(ctx, ref_) : nullptr;
    if (annot) {
        mu::attempt(ctx, [&] {
            pdf_dirty_annot(ctx, annot);
            pdf_update_annot(ctx, annot);
        });
        // MuPDF has no look for a region: its highlight is a rounded band as tall as the
        // quad that spills past it. Its stream (object and all) is rewritten as ours.
        if (isHighlight(subtype_) && readFlag(ctx, current(), std::string(kRegionFlag))) {
            writeRegionAppearance(ctx, page.core()->pdf, current(), boundsLocked(ctx));
        }
    }
    page.appearanceChanged();
}

bool MuAnnotation::isRegion() const {
    return isHighlight(subtype_) && privateFlag(std::string(kRegionFlag));
}

void MuAnnotation::setRegion(bool on) {
    if (!isHighlight(subtype_)) {
        return;
    }
    const std::string key(kRegionFlag);
    change([&](fz_context* ctx, pdf_obj* dict, pdf_annot*, AnnotationProps& p) {
        if (dict) {
            writeFlag(ctx, dict, key, on);
            return;
        }
        std::erase(p.privateFlags, key);
        if (on) {
            p.privateFlags.push_back(key);
        }
    });
}

int MuAnnotation::shownRotation() const {
    auto page = page_.lock();
    return page ? page->rotation() : 0;
}

Rect MuAnnotation::boundsLocked(fz_context* ctx) const {
    const Geometry kind = geometryOf(subtype_);
    if (kind != Geometry::rect) {
        Shape s = readShape(ctx, current(), kind);
        if (!s.xy.empty()) {
            return boundingBox(s.xy);
        }
    }
    return rectOf(ctx, get(ctx, current(), PDF_NAME(Rect))).value_or(Rect{});
}

Rect MuAnnotation::bounds() const {
    if (!ref_) {
        return props_.bounds;
    }
    std::lock_guard lock(core_->mutex);
    return boundsLocked(mu::context());
}

Rect MuAnnotation::hitBounds() const {
    if (!ref_) {
        return props_.bounds;
    }
    std::lock_guard lock(core_->mutex);
    fz_context* ctx = mu::context();
    Rect b = boundsLocked(ctx);
    if (auto r = rectOf(ctx, get(ctx, current(), PDF_NAME(Rect)))) {
        b = b.isEmpty() && b.x == 0 && b.y == 0 ? *r : b.united(*r);
    }
    return b;
}

void MuAnnotation::setBounds(const Rect& requested) {
    if (!requested.isFinite()) {
        return;
    }
    const Rect b = requested.standardized();
    const Geometry kind = geometryOf(subtype_);
    change([&](fz_context* ctx, pdf_obj* dict, pdf_annot* annot, AnnotationProps& p) {
        if (!dict) {
            if (!p.quads.empty()) {
                Shape s = defaultShape(Geometry::quads, p.subtype, p.bounds, p.quads);
                mapShape(s, boundingBox(s.xy), b);
                p.quads = quadsOf(s);
            }
            p.bounds = b;
            return;
        }
        writeRect(ctx, annot, dict, b);
        if (kind == Geometry::rect) {
            return;
        }
        Shape s = readShape(ctx, dict, kind);
        if (s.xy.empty()) {
            s = defaultShape(kind, subtype_, b, {}, shownRotation());
        } else {
            mapShape(s, boundingBox(s.xy), b);
        }
        writeShape(ctx, annot, dict, s);
    });
}

std::string MuAnnotation::type() const {
    return subtype_;
}

std::optional<std::string> MuAnnotation::contents() const {
    if (!ref_) {
        return props_.contents;
    }
    std::lock_guard lock(core_->mutex);
    return textOf(mu::context(), current(), PDF_NAME(Contents));
}

void MuAnnotation::setContents(const std::string& text) {
    change([&](fz_context* ctx, pdf_obj* dict, pdf_annot* annot, AnnotationProps& p) {
        if (dict) {
            writeContents(ctx, annot, dict, text);
        } else {
            p.contents = text;
        }
    });
}

std::optional<Color> MuAnnotation::color() const {
    if (!ref_) {
        return props_.color ? std::optional(props_.color->withAlpha(props_.opacity)) : std::nullopt;
    }
    std::lock_guard lock(core_->mutex);
    fz_context* ctx = mu::context();
    std::optional<Color> c = colorOf(numbers(ctx, get(ctx, current(), PDF_NAME(C))));
    if (!c) {
        return std::nullopt;
    }
    c->alpha = unit(number(ctx, get(ctx, current(), PDF_NAME(CA))).value_or(1));
    return c;
}

void MuAnnotation::setColor(const Color& color) {
    const bool none = !(color.alpha > 0);
    change([&](fz_context* ctx, pdf_obj* dict, pdf_annot* annot, AnnotationProps& p) {
        if (!dict) {
            p.colorSet = true;
            if (none) {
                p.color.reset();
            } else {
                p.color = color.withAlpha(1);
                p.opacity = unit(color.alpha);
            }
            return;
        }
        if (none) {
            writeColor(ctx, annot, dict, false, std::nullopt);
        } else {
            writeColor(ctx, annot, dict, false, color);
            writeOpacity(ctx, annot, dict, color.alpha);
        }
    });
}

std::optional<Color> MuAnnotation::interiorColor() const {
    if (!ref_) {
        return props_.interiorColor;
    }
    std::lock_guard lock(core_->mutex);
    fz_context* ctx = mu::context();
    return colorOf(numbers(ctx, get(ctx, current(), PDF_NAME(IC))));
}

void MuAnnotation::setInteriorColor(const std::optional<Color>& color) {
    change([&](fz_context* ctx, pdf_obj* dict, pdf_annot* annot, AnnotationProps& p) {
        if (!dict) {
            p.interiorColor = color ? std::optional(color->withAlpha(1)) : std::nullopt;
            p.interiorColorSet = true;
        } else {
            writeColor(ctx, annot, dict, true, color);
        }
    });
}

std::optional<Color> MuAnnotation::fontColor() const {
    if (!ref_) {
        return props_.fontColor;
    }
    std::lock_guard lock(core_->mutex);
    return readAppearance(mu::context(), current()).color;
}

void MuAnnotation::setFontColor(const Color& color) {
    change([&](fz_context* ctx, pdf_obj* dict, pdf_annot* annot, AnnotationProps& p) {
        if (!dict) {
            p.fontColor = color.withAlpha(1);
            return;
        }
        Appearance a = readAppearance(ctx, dict);
        a.color = color.withAlpha(1);
        writeAppearance(ctx, annot, dict, a);
    });
}

std::optional<Font> MuAnnotation::font() const {
    if (!ref_) {
        return props_.font;
    }
    std::lock_guard lock(core_->mutex);
    Appearance a = readAppearance(mu::context(), current());
    if (!a.font) {
        return std::nullopt;
    }
    return Font{familyOfResource(*a.font), a.size};
}

void MuAnnotation::setFont(const Font& font) {
    const std::string resource = resourceOfFamily(font.family);
    const double size = std::max(0.0, finiteOr(font.size, 12));
    change([&](fz_context* ctx, pdf_obj* dict, pdf_annot* annot, AnnotationProps& p) {
        if (!dict) {
            p.font = Font{familyOfResource(resource), size};
            return;
        }
        Appearance a = readAppearance(ctx, dict);
        a.font = resource;
        a.size = size;
        writeAppearance(ctx, annot, dict, a);
    });
}

bool MuAnnotation::privateFlag(const std::string& key) const {
    if (!isPrivateKey(key)) {
        return false;
    }
    if (!ref_) {
        return std::find(props_.privateFlags.begin(), props_.privateFlags.end(), key) !=
               props_.privateFlags.end();
    }
    std::lock_guard lock(core_->mutex);
    return readFlag(mu::context(), current(), key);
}

void MuAnnotation::setPrivateFlag(const std::string& key, bool on) {
    if (!isPrivateKey(key) || isReadOnly(subtype_)) {
        return;
    }
    if (!ref_) {
        // One entry per key: setting or clearing the flag replaces a text of that name.
        std::erase(props_.privateFlags, key);
        std::erase_if(props_.privateTexts, [&](const auto& e) { return e.first == key; });
        if (on) {
            props_.privateFlags.push_back(key);
        }
        return;
    }
    // Nothing drawn depends on it: no appearance to make again.
    std::lock_guard lock(core_->mutex);
    fz_context* ctx = mu::context();
    if (pdf_obj* dict = current(); mu::isDict(ctx, dict)) {
        writeFlag(ctx, dict, key, on);
    }
}

std::optional<std::string> MuAnnotation::privateText(const std::string& key) const {
    if (!isPrivateKey(key)) {
        return std::nullopt;
    }
    if (!ref_) {
        for (const auto& [k, text] : props_.privateTexts) {
            if (k == key) {
                return text;
            }
        }
        return std::nullopt;
    }
    std::lock_guard lock(core_->mutex);
    fz_context* ctx = mu::context();
    return mu::text(ctx, get(ctx, current(), key.c_str()));
}

void MuAnnotation::setPrivateText(const std::string& key, const std::optional<std::string>& text) {
    if (!isPrivateKey(key) || isReadOnly(subtype_)) {
        return;
    }
    if (!ref_) {
        // One entry per key, as in a dictionary: a text replaces a flag of that name.
        std::erase_if(props_.privateTexts, [&](const auto& e) { return e.first == key; });
        std::erase(props_.privateFlags, key);
        if (text) {
            props_.privateTexts.emplace_back(key, *text);
        }
        return;
    }
    // Nothing drawn depends on it: no appearance to make again.
    std::lock_guard lock(core_->mutex);
    fz_context* ctx = mu::context();
    if (pdf_obj* dict = current(); mu::isDict(ctx, dict)) {
        writePrivateText(ctx, dict, key, text);
    }
}

std::optional<std::string> MuAnnotation::name() const {
    if (!ref_) {
        return props_.name;
    }
    std::lock_guard lock(core_->mutex);
    return textOf(mu::context(), current(), kNameKey);
}

std::optional<std::string> MuAnnotation::userName() const {
    if (!ref_) {
        return props_.userName;
    }
    std::lock_guard lock(core_->mutex);
    return textOf(mu::context(), current(), PDF_NAME(T));
}

void MuAnnotation::setUserName(const std::string& name) {
    change([&](fz_context* ctx, pdf_obj* dict, pdf_annot* annot, AnnotationProps& p) {
        if (dict) {
            writeAuthor(ctx, annot, dict, name);
        } else {
            p.userName = name;
        }
    });
}

std::optional<Border> MuAnnotation::border() const {
    if (!ref_) {
        return props_.border;
    }
    std::lock_guard lock(core_->mutex);
    fz_context* ctx = mu::context();
    pdf_obj* bs = get(ctx, current(), PDF_NAME(BS));
    if (mu::isDict(ctx, bs)) {
        return Border{std::max(0.0, number(ctx, get(ctx, bs, PDF_NAME(W))).value_or(1))};
    }
    std::vector<double> b = numbers(ctx, get(ctx, current(), PDF_NAME(Border)));
    if (b.size() >= 3) {
        return Border{std::max(0.0, b[2])};
    }
    return std::nullopt;
}

void MuAnnotation::setBorder(const Border& border) {
    change([&](fz_context* ctx, pdf_obj* dict, pdf_annot* annot, AnnotationProps& p) {
        if (dict) {
            writeBorder(ctx, annot, dict, border.lineWidth);
        } else {
            p.border = Border{std::max(0.0, finiteOr(border.lineWidth, 1))};
        }
    });
}

std::vector<Rect> MuAnnotation::quadRects() const {
    if (geometryOf(subtype_) != Geometry::quads) {
        return {};
    }
    if (!ref_) {
        return props_.quads.empty() ? std::vector<Rect>{props_.bounds} : props_.quads;
    }
    std::lock_guard lock(core_->mutex);
    return quadsOf(readShape(mu::context(), current(), Geometry::quads));
}

void MuAnnotation::setQuadRects(const std::vector<Rect>& rects) {
    if (geometryOf(subtype_) != Geometry::quads) {
        return;
    }
    std::vector<Rect> quads;
    for (const Rect& r : rects) {
        if (r.isFinite()) {
            quads.push_back(r.standardized());
        }
    }
    change([&](fz_context* ctx, pdf_obj* dict, pdf_annot* annot, AnnotationProps& p) {
        if (!dict) {
            p.quads = quads;
            if (!quads.empty()) {
                Shape s = defaultShape(Geometry::quads, p.subtype, p.bounds, quads);
                p.bounds = boundingBox(s.xy);
            }
            return;
        }
        if (quads.empty()) {
            quads.push_back(boundsLocked(ctx));
        }
        Shape s = defaultShape(Geometry::quads, subtype_, quads.front(), quads, shownRotation());
        writeShape(ctx, annot, dict, s);
        writeRect(ctx, annot, dict, boundingBox(s.xy));
    });
}

std::shared_ptr<Page> MuAnnotation::page() const {
    return page_.lock();
}

void MuAnnotation::attachTo(const std::shared_ptr<MuPage>& page) {
    page_ = page;
    core_ = page->core();
}

AnnotationProps MuAnnotation::snapshot(fz_context* ctx) const {
    AnnotationProps p;
    p.subtype = subtype_;
    p.bounds = boundsLocked(ctx);
    p.contents = textOf(ctx, current(), PDF_NAME(Contents));
    p.userName = textOf(ctx, current(), PDF_NAME(T));
    p.name = textOf(ctx, current(), kNameKey);
    p.color = colorOf(numbers(ctx, get(ctx, current(), PDF_NAME(C))));
    p.colorSet = true;
    p.interiorColorSet = true;
    p.opacity = unit(number(ctx, get(ctx, current(), PDF_NAME(CA))).value_or(1));
    p.interiorColor = colorOf(numbers(ctx, get(ctx, current(), PDF_NAME(IC))));
    Appearance a = readAppearance(ctx, current());
    p.fontColor = a.color;
    if (a.font) {
        p.font = Font{familyOfResource(*a.font), a.size};
    }
    p.border = border();
    p.privateFlags = readFlags(ctx, current());
    p.privateTexts = readPrivateTexts(ctx, current());
    if (geometryOf(subtype_) == Geometry::quads) {
        p.quads = quadsOf(readShape(ctx, current(), Geometry::quads));
    }
    return p;
}

void MuAnnotation::releaseObject(fz_context* ctx) {
    if (!ref_) {
        return;
    }
    props_ = snapshot(ctx);
    pdf_drop_obj(ctx, ref_);
    ref_ = nullptr;
    core_.reset();
    page_.reset();
    needsAppearance_ = false;
}

bool MuAnnotation::materialize(fz_context* ctx, MuPage& page) {
    pdf_page* live = page.livePage(ctx);
    pdf_obj* pageObj = page.pageObject(ctx);
    pdf_document* doc = page.core()->pdf;
    if (!live || !pageObj) {
        return false;
    }
    const char* subtype = subtype_.c_str();
    enum pdf_annot_type kind = PDF_ANNOT_UNKNOWN;
    mu::attempt(ctx, [&] { kind = pdf_annot_type_from_string(ctx, subtype); });

    // MuPDF's own constructor gives the standard defaults (flags, icon, popup of a note)
    // for the kinds it keeps in its annotation list; links, popups and widgets it does
    // not, so those, and kinds it does not know, are made by hand.
    pdf_obj* made = nullptr;
    pdf_annot* annot = nullptr; // MuPDF's, for writing the properties; dropped below
    if (kind != PDF_ANNOT_UNKNOWN && kind != PDF_ANNOT_LINK && kind != PDF_ANNOT_POPUP &&
        kind != PDF_ANNOT_WIDGET) {
        if (mu::attempt(ctx, [&] { annot = pdf_create_annot(ctx, live, kind); })) {
            made = pdf_keep_obj(ctx, pdf_annot_obj(ctx, annot));
        }
    }
    if (!made) {
        pdf_drop_annot(ctx, annot);
        annot = nullptr;
        pdf_obj* dict = nullptr;
        bool ok = mu::attempt(ctx, [&] {
            dict = pdf_new_dict(ctx, doc, 8);
            pdf_dict_put(ctx, dict, PDF_NAME(Type), PDF_NAME(Annot));
            pdf_dict_put_name(ctx, dict, PDF_NAME(Subtype), subtype);
            pdf_dict_put_int(ctx, dict, PDF_NAME(F), 4); // Print
            pdf_dict_put(ctx, dict, PDF_NAME(P), pageObj);
            made = pdf_add_object(ctx, doc, dict);
            pdf_obj* annots = pdf_dict_get(ctx, pageObj, PDF_NAME(Annots));
            if (!pdf_is_array(ctx, annots)) {
                annots = pdf_dict_put_array(ctx, pageObj, PDF_NAME(Annots), 1);
            }
            pdf_array_push(ctx, annots, made);
        });
        pdf_drop_obj(ctx, dict);
        if (!ok) {
            pdf_drop_obj(ctx, made);
            return false;
        }
        page.annotationListChanged();
    }
    bool indirect = false;
    mu::attempt(ctx, [&] { indirect = pdf_is_indirect(ctx, made); });
    if (!indirect) {
        pdf_drop_annot(ctx, annot);
        pdf_drop_obj(ctx, made);
        return false;
    }
    ref_ = made;
    writeProps(ctx, annot, current(), props_, page.rotation());
    pdf_drop_annot(ctx, annot);
    if (!textOf(ctx, current(), kNameKey)) {
        putText(ctx, current(), kNameKey, Uuid::random().toString());
    }
    props_ = AnnotationProps{};
    props_.subtype = subtype_;
    needsAppearance_ = true;
    return true;
}

} // namespace ombrix::pdfkit
