#include "support/Fixtures.h"

#include "support/MuPdfSession.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <mupdf/pdf.h>
#include <stdexcept>

namespace ombrix::testing {

namespace {

constexpr int styleCount = 7;

const char* baseFontName(FontStyle style) {
    switch (style) {
    case FontStyle::regular:
        return "Helvetica";
    case FontStyle::bold:
        return "Helvetica-Bold";
    case FontStyle::italic:
        return "Helvetica-Oblique";
    case FontStyle::boldItalic:
        return "Helvetica-BoldOblique";
    case FontStyle::mono:
        return "Courier";
    case FontStyle::serif:
        return "Times-Roman";
    case FontStyle::serifItalic:
        return "Times-Italic";
    }
    throw std::invalid_argument("unknown font style");
}

// UTF-8 in, WinAnsi bytes out: the fonts are written with /WinAnsiEncoding.
std::string toWinAnsi(const std::string& utf8) {
    std::string out;
    const char* p = utf8.c_str();
    const char* end = p + utf8.size();
    while (p < end) {
        int codepoint = 0;
        int length = fz_chartorune(&codepoint, p);
        // Malformed UTF-8 decodes as U+FFFD, which WinAnsi lacks, so it is refused too.
        int byte = fz_windows_1252_from_unicode(codepoint);
        if (byte < 0 || codepoint == 0) {
            throw std::invalid_argument("fixture text has a character outside WinAnsi: " + utf8);
        }
        out += static_cast<char>(byte);
        p += length;
    }
    return out;
}

// Locale-independent, no exponent: PDF numbers allow neither.
std::string number(double value) {
    if (!std::isfinite(value)) {
        throw std::invalid_argument("fixture numbers must be finite");
    }
    std::array<char, 64> digits{};
    auto [end, error] = std::to_chars(digits.data(), digits.data() + digits.size(), value,
                                      std::chars_format::fixed, 4);
    if (error != std::errc{}) {
        throw std::invalid_argument("cannot format a fixture number");
    }
    std::string text(digits.data(), end);
    while (text.back() == '0') {
        text.pop_back();
    }
    if (text.back() == '.') {
        text.pop_back();
    }
    return text == "-0" ? "0" : text;
}

// A PDF literal string: ( ) \ escaped, anything outside printable ASCII as octal, so the
// content stream stays plain ASCII.
std::string literal(const std::string& bytes) {
    std::string out = "(";
    for (unsigned char c : bytes) {
        if (c == '(' || c == ')' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c >= 0x7f) {
            char octal[5];
            octal[0] = '\\';
            octal[1] = static_cast<char>('0' + (c >> 6));
            octal[2] = static_cast<char>('0' + ((c >> 3) & 7));
            octal[3] = static_cast<char>('0' + (c & 7));
            octal[4] = '\0';
            out += octal;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + ")";
}

struct PagePlan {
    const FixturePage* page = nullptr;
    std::string content;
    std::vector<int> fonts; // style index of F1, F2, ...
    std::vector<std::string> fontNames;
};

struct AnnotationPlan {
    const FixtureAnnotation* annotation = nullptr;
    std::string defaultAppearance; // empty: no /DA
    std::string fieldName;         // widgets only
};

// Cosine and sine of a multiple of 90 degrees, exactly.
std::pair<int, int> turn(int angle) {
    switch (((angle % 360) + 360) % 360) {
    case 90:
        return {0, 1};
    case 180:
        return {-1, 0};
    case 270:
        return {0, -1};
    case 0:
        return {1, 0};
    default:
        throw std::invalid_argument("a run's angle must be a multiple of 90 degrees");
    }
}

PagePlan planPage(const FixturePage& page) {
    PagePlan plan;
    plan.page = &page;
    std::array<int, styleCount> slot{};
    slot.fill(-1);
    for (const TextRun& run : page.runs) {
        int style = static_cast<int>(run.style);
        if (style < 0 || style >= styleCount) {
            throw std::invalid_argument("unknown font style");
        }
        if (slot[style] < 0) {
            slot[style] = static_cast<int>(plan.fonts.size());
            plan.fonts.push_back(style);
            plan.fontNames.push_back("F" + std::to_string(plan.fonts.size()));
        }
        std::string origin = number(run.x) + " " + number(run.y) + " Td ";
        if (run.angle % 360 != 0) {
            const auto [c, s] = turn(run.angle);
            origin = number(c) + " " + number(s) + " " + number(-s) + " " + number(c) + " " +
                     number(run.x) + " " + number(run.y) + " Tm ";
        }
        plan.content += "BT /" + plan.fontNames[slot[style]] + " " + number(run.size) + " Tf " +
                        origin + literal(toWinAnsi(run.text)) + " Tj ET\n";
    }
    for (const Stroke& stroke : page.strokes) {
        if (stroke.points.size() < 2) {
            throw std::invalid_argument("a fixture stroke needs two points");
        }
        plan.content += number(stroke.width) + " w";
        for (std::size_t i = 0; i < stroke.points.size(); ++i) {
            plan.content += " " + number(stroke.points[i].x) + " " + number(stroke.points[i].y) +
                            (i == 0 ? " m" : " l");
        }
        plan.content += " S\n";
    }
    return plan;
}

AnnotationPlan planAnnotation(const FixtureAnnotation& annotation) {
    AnnotationPlan plan;
    plan.annotation = &annotation;
    if (annotation.subtype == "FreeText") {
        // Black text; without a size the appearance names no font at all.
        plan.defaultAppearance =
            annotation.fontSize ? "/Helv " + number(*annotation.fontSize) + " Tf 0 g" : "0 g";
    } else if (annotation.subtype == "Widget") {
        plan.defaultAppearance = "/Helv " + number(annotation.fontSize.value_or(12)) + " Tf 0 g";
        plan.fieldName = annotation.author.value_or("field");
    }
    return plan;
}

// ---- Everything below runs inside fz_try: MuPDF calls on prepared data only. ----

fz_rect toFz(const Rect& rect) {
    return fz_make_rect(static_cast<float>(rect.minX()), static_cast<float>(rect.minY()),
                        static_cast<float>(rect.maxX()), static_cast<float>(rect.maxY()));
}

void putColor(fz_context* ctx, pdf_obj* dict, pdf_obj* key, const Color& color) {
    pdf_obj* array = pdf_dict_put_array(ctx, dict, key, 3);
    // A fully transparent colour is "no colour", which PDF spells as an empty array.
    if (color.alpha > 0) {
        pdf_array_push_real(ctx, array, color.red);
        pdf_array_push_real(ctx, array, color.green);
        pdf_array_push_real(ctx, array, color.blue);
    }
}

void pushPoint(fz_context* ctx, pdf_obj* array, double x, double y) {
    pdf_array_push_real(ctx, array, x);
    pdf_array_push_real(ctx, array, y);
}

// Geometry each subtype needs, derived from the rectangle.
void putGeometry(fz_context* ctx, pdf_obj* dict, const FixtureAnnotation& a) {
    const Rect& r = a.rect;
    const std::string& subtype = a.subtype;
    if (subtype == "Highlight" || subtype == "Underline" || subtype == "StrikeOut" ||
        subtype == "Squiggly" || subtype == "Redact") {
        pdf_obj* quad = pdf_dict_put_array(ctx, dict, PDF_NAME(QuadPoints), 8);
        pushPoint(ctx, quad, r.minX(), r.maxY());
        pushPoint(ctx, quad, r.maxX(), r.maxY());
        pushPoint(ctx, quad, r.minX(), r.minY());
        pushPoint(ctx, quad, r.maxX(), r.minY());
    } else if (subtype == "Line") {
        pdf_obj* line = pdf_dict_put_array(ctx, dict, PDF_NAME(L), 4);
        pushPoint(ctx, line, r.minX(), r.minY());
        pushPoint(ctx, line, r.maxX(), r.maxY());
    } else if (subtype == "PolyLine") {
        pdf_obj* vertices = pdf_dict_put_array(ctx, dict, PDF_NAME(Vertices), 8);
        pushPoint(ctx, vertices, r.minX(), r.minY());
        pushPoint(ctx, vertices, r.minX() + r.standardized().width / 3, r.maxY());
        pushPoint(ctx, vertices, r.minX() + 2 * r.standardized().width / 3, r.minY());
        pushPoint(ctx, vertices, r.maxX(), r.maxY());
    } else if (subtype == "Polygon") {
        pdf_obj* vertices = pdf_dict_put_array(ctx, dict, PDF_NAME(Vertices), 8);
        pushPoint(ctx, vertices, r.midX(), r.minY());
        pushPoint(ctx, vertices, r.maxX(), r.midY());
        pushPoint(ctx, vertices, r.midX(), r.maxY());
        pushPoint(ctx, vertices, r.minX(), r.midY());
    } else if (subtype == "Ink") {
        pdf_obj* list = pdf_dict_put_array(ctx, dict, PDF_NAME(InkList), 1);
        pdf_obj* stroke = pdf_array_push_array(ctx, list, 18);
        for (int i = 0; i <= 8; ++i) {
            double x = r.minX() + r.standardized().width * i / 8;
            pushPoint(ctx, stroke, x, i % 2 == 0 ? r.minY() : r.maxY());
        }
    } else if (subtype == "Text") {
        pdf_dict_put_name(ctx, dict, PDF_NAME(Name), "Comment");
        pdf_dict_put_bool(ctx, dict, PDF_NAME(Open), 0);
    } else if (subtype == "Stamp") {
        pdf_dict_put_name(ctx, dict, PDF_NAME(Name), "Draft");
    }
}

void fillAnnotation(fz_context* ctx, pdf_obj* dict, pdf_obj* page, pdf_obj* acroFields,
                    const AnnotationPlan& plan) {
    const FixtureAnnotation& a = *plan.annotation;
    pdf_dict_put(ctx, dict, PDF_NAME(Type), PDF_NAME(Annot));
    pdf_dict_put_drop(ctx, dict, PDF_NAME(Subtype), pdf_new_name(ctx, a.subtype.c_str()));
    pdf_dict_put_rect(ctx, dict, PDF_NAME(Rect), toFz(a.rect));
    pdf_dict_put_int(ctx, dict, PDF_NAME(F), PDF_ANNOT_IS_PRINT);
    pdf_dict_put(ctx, dict, PDF_NAME(P), page);
    if (a.contents) {
        pdf_dict_put_text_string(ctx, dict, PDF_NAME(Contents), a.contents->c_str());
    }
    if (a.subtype == "Widget") {
        // A text field: the widget is its own field dictionary.
        pdf_dict_put(ctx, dict, PDF_NAME(FT), PDF_NAME(Tx));
        pdf_dict_put_text_string(ctx, dict, PDF_NAME(T), plan.fieldName.c_str());
        pdf_dict_put_text_string(ctx, dict, PDF_NAME(V), a.contents ? a.contents->c_str() : "");
        if (a.color || a.interiorColor) {
            pdf_obj* mk = pdf_dict_put_dict(ctx, dict, PDF_NAME(MK), 2);
            if (a.color) {
                putColor(ctx, mk, PDF_NAME(BC), *a.color);
            }
            if (a.interiorColor) {
                putColor(ctx, mk, PDF_NAME(BG), *a.interiorColor);
            }
        }
        pdf_array_push(ctx, acroFields, dict);
    } else {
        if (a.author) {
            pdf_dict_put_text_string(ctx, dict, PDF_NAME(T), a.author->c_str());
        }
        if (a.color) {
            putColor(ctx, dict, PDF_NAME(C), *a.color);
        }
        if (a.interiorColor) {
            putColor(ctx, dict, PDF_NAME(IC), *a.interiorColor);
        }
    }
    if (a.color && a.color->alpha > 0 && a.color->alpha < 1) {
        pdf_dict_put_real(ctx, dict, PDF_NAME(CA), a.color->alpha);
    }
    if (a.borderWidth) {
        pdf_obj* bs = pdf_dict_put_dict(ctx, dict, PDF_NAME(BS), 3);
        pdf_dict_put(ctx, bs, PDF_NAME(Type), PDF_NAME(Border));
        pdf_dict_put_real(ctx, bs, PDF_NAME(W), *a.borderWidth);
        pdf_dict_put(ctx, bs, PDF_NAME(S), PDF_NAME(S));
    }
    if (!plan.defaultAppearance.empty()) {
        pdf_dict_put_string(ctx, dict, PDF_NAME(DA), plan.defaultAppearance.c_str(),
                            plan.defaultAppearance.size());
    }
    if (a.subtype == "Link") {
        if (a.uri) {
            pdf_obj* action = pdf_dict_put_dict(ctx, dict, PDF_NAME(A), 2);
            pdf_dict_put(ctx, action, PDF_NAME(S), PDF_NAME(URI));
            pdf_dict_put_string(ctx, action, PDF_NAME(URI), a.uri->c_str(), a.uri->size());
        } else {
            pdf_obj* dest = pdf_dict_put_array(ctx, dict, PDF_NAME(Dest), 2);
            pdf_array_push(ctx, dest, page);
            pdf_array_push(ctx, dest, PDF_NAME(Fit));
        }
    }
    putGeometry(ctx, dict, a);

    pdf_obj* annots = pdf_dict_get(ctx, page, PDF_NAME(Annots));
    if (!annots) {
        annots = pdf_dict_put_array(ctx, page, PDF_NAME(Annots), 4);
    }
    pdf_array_push(ctx, annots, dict);
}

void addAnnotation(fz_context* ctx, pdf_document* doc, pdf_obj* page, pdf_obj* acroFields,
                   const AnnotationPlan& plan) {
    pdf_obj* dict = pdf_add_new_dict(ctx, doc, 12);
    fz_try(ctx) {
        fillAnnotation(ctx, dict, page, acroFields, plan);
    }
    fz_always(ctx) {
        pdf_drop_obj(ctx, dict);
    }
    fz_catch(ctx) {
        fz_rethrow(ctx);
    }
}

pdf_obj* addFont(fz_context* ctx, pdf_document* doc, FontStyle style) {
    pdf_obj* font = pdf_add_new_dict(ctx, doc, 4);
    fz_try(ctx) {
        // The standard fonts, not embedded, as most producers write them.
        pdf_dict_put(ctx, font, PDF_NAME(Type), PDF_NAME(Font));
        pdf_dict_put(ctx, font, PDF_NAME(Subtype), PDF_NAME(Type1));
        pdf_dict_put_name(ctx, font, PDF_NAME(BaseFont), baseFontName(style));
        pdf_dict_put(ctx, font, PDF_NAME(Encoding), PDF_NAME(WinAnsiEncoding));
    }
    fz_catch(ctx) {
        pdf_drop_obj(ctx, font);
        fz_rethrow(ctx);
    }
    return font;
}

struct WriteState {
    pdf_document* doc = nullptr;
    std::array<pdf_obj*, styleCount> fonts{};
    pdf_obj* fields = nullptr; // AcroForm /Fields, made with the first widget
};

void addPage(fz_context* ctx, WriteState& state, const PagePlan& plan,
             const std::vector<AnnotationPlan>& annotations) {
    const FixturePage& page = *plan.page;
    pdf_obj* resources = nullptr;
    fz_buffer* content = nullptr;
    pdf_obj* pageObj = nullptr;
    fz_var(resources);
    fz_var(content);
    fz_var(pageObj);
    fz_try(ctx) {
        resources = pdf_new_dict(ctx, state.doc, 1);
        pdf_obj* fonts = pdf_dict_put_dict(ctx, resources, PDF_NAME(Font), 4);
        for (std::size_t i = 0; i < plan.fonts.size(); ++i) {
            int style = plan.fonts[i];
            if (!state.fonts[style]) {
                state.fonts[style] = addFont(ctx, state.doc, static_cast<FontStyle>(style));
            }
            pdf_dict_puts(ctx, fonts, plan.fontNames[i].c_str(), state.fonts[style]);
        }
        content = fz_new_buffer_from_copied_data(
            ctx, reinterpret_cast<const unsigned char*>(plan.content.data()), plan.content.size());
        fz_rect mediabox =
            fz_make_rect(0, 0, static_cast<float>(page.width), static_cast<float>(page.height));
        pageObj = pdf_add_page(ctx, state.doc, mediabox, page.rotation, resources, content);
        if (page.cropBox) {
            pdf_dict_put_rect(ctx, pageObj, PDF_NAME(CropBox), toFz(*page.cropBox));
        }
        pdf_insert_page(ctx, state.doc, -1, pageObj);
        for (const AnnotationPlan& annotation : annotations) {
            if (annotation.annotation->subtype == "Widget" && !state.fields) {
                state.fields = pdf_new_array(ctx, state.doc, 4);
            }
            addAnnotation(ctx, state.doc, pageObj, state.fields, annotation);
        }
    }
    fz_always(ctx) {
        pdf_drop_obj(ctx, pageObj);
        fz_drop_buffer(ctx, content);
        pdf_drop_obj(ctx, resources);
    }
    fz_catch(ctx) {
        fz_rethrow(ctx);
    }
}

void putInfo(fz_context* ctx, pdf_obj* info, pdf_obj* key, const std::optional<std::string>& v) {
    if (v) {
        pdf_dict_put_text_string(ctx, info, key, v->c_str());
    }
}

void addInfo(fz_context* ctx, pdf_document* doc, const FixtureDocument& document) {
    if (!document.title && !document.author && !document.subject && !document.keywords) {
        return;
    }
    pdf_obj* info = pdf_add_new_dict(ctx, doc, 4);
    fz_try(ctx) {
        putInfo(ctx, info, PDF_NAME(Title), document.title);
        putInfo(ctx, info, PDF_NAME(Author), document.author);
        putInfo(ctx, info, PDF_NAME(Subject), document.subject);
        putInfo(ctx, info, PDF_NAME(Keywords), document.keywords);
        pdf_dict_put(ctx, pdf_trailer(ctx, doc), PDF_NAME(Info), info);
    }
    fz_always(ctx) {
        pdf_drop_obj(ctx, info);
    }
    fz_catch(ctx) {
        fz_rethrow(ctx);
    }
}

void addPageLabels(fz_context* ctx, pdf_document* doc,
                   const std::vector<PageLabelRange>& sortedRanges) {
    if (sortedRanges.empty()) {
        return;
    }
    pdf_obj* root = pdf_dict_get(ctx, pdf_trailer(ctx, doc), PDF_NAME(Root));
    pdf_obj* labels = pdf_dict_puts_dict(ctx, root, "PageLabels", 1);
    pdf_obj* nums =
        pdf_dict_put_array(ctx, labels, PDF_NAME(Nums), static_cast<int>(2 * sortedRanges.size()));
    for (const PageLabelRange& range : sortedRanges) {
        pdf_array_push_int(ctx, nums, range.startIndex);
        pdf_obj* label = pdf_array_push_dict(ctx, nums, 3);
        if (range.style) {
            char style[2] = {*range.style, '\0'};
            pdf_dict_put_name(ctx, label, PDF_NAME(S), style);
        }
        if (!range.prefix.empty()) {
            pdf_dict_put_text_string(ctx, label, PDF_NAME(P), range.prefix.c_str());
        }
        pdf_dict_puts_drop(ctx, label, "St", pdf_new_int(ctx, range.start));
    }
}

void putDestination(fz_context* ctx, pdf_document* doc, pdf_obj* dict, pdf_obj* key, int page,
                    const std::optional<Point>& point) {
    pdf_obj* dest = pdf_dict_put_array(ctx, dict, key, 5);
    pdf_array_push(ctx, dest, pdf_lookup_page_obj(ctx, doc, page));
    if (point) {
        pdf_array_push(ctx, dest, PDF_NAME(XYZ));
        pdf_array_push_real(ctx, dest, point->x);
        pdf_array_push_real(ctx, dest, point->y);
        pdf_array_push(ctx, dest, PDF_NULL);
    } else {
        pdf_array_push(ctx, dest, PDF_NAME(Fit));
    }
}

int encryptionMethod(const std::string& name) {
    if (name == "rc4-40") {
        return PDF_ENCRYPT_RC4_40;
    }
    if (name == "rc4-128") {
        return PDF_ENCRYPT_RC4_128;
    }
    if (name == "aes-128") {
        return PDF_ENCRYPT_AES_128;
    }
    if (name == "aes-256") {
        return PDF_ENCRYPT_AES_256;
    }
    throw std::invalid_argument("unknown encryption method " + name);
}

// Links to other pages get their /Dest once every page exists; each annotation is the
// entry of /Annots at its own index.
void addLinkDestinations(fz_context* ctx, pdf_document* doc, const FixtureDocument& document) {
    for (std::size_t p = 0; p < document.pages.size(); ++p) {
        const auto& annotations = document.pages[p].annotations;
        for (std::size_t i = 0; i < annotations.size(); ++i) {
            if (annotations[i].subtype != "Link" || !annotations[i].destPage) {
                continue;
            }
            pdf_obj* page = pdf_lookup_page_obj(ctx, doc, static_cast<int>(p));
            pdf_obj* link =
                pdf_array_get(ctx, pdf_dict_get(ctx, page, PDF_NAME(Annots)), static_cast<int>(i));
            putDestination(ctx, doc, link, PDF_NAME(Dest), *annotations[i].destPage,
                           annotations[i].destPoint);
        }
    }
}

// The items as a chain of outline dictionaries under `parent`; returns how many there are,
// children included.
int addOutlineItems(fz_context* ctx, pdf_document* doc, pdf_obj* parent,
                    const std::vector<FixtureOutlineItem>& items) {
    int total = 0;
    pdf_obj* previous = nullptr;
    for (const FixtureOutlineItem& item : items) {
        pdf_obj* dict = pdf_add_new_dict(ctx, doc, 8);
        pdf_dict_put_text_string(ctx, dict, PDF_NAME(Title), item.title.c_str());
        pdf_dict_put(ctx, dict, PDF_NAME(Parent), parent);
        if (item.page) {
            putDestination(ctx, doc, dict, PDF_NAME(Dest), *item.page, item.point);
        } else if (item.uri) {
            pdf_obj* action = pdf_dict_put_dict(ctx, dict, PDF_NAME(A), 2);
            pdf_dict_put(ctx, action, PDF_NAME(S), PDF_NAME(URI));
            pdf_dict_put_string(ctx, action, PDF_NAME(URI), item.uri->c_str(), item.uri->size());
        }
        if (previous) {
            pdf_dict_put(ctx, previous, PDF_NAME(Next), dict);
            pdf_dict_put(ctx, dict, PDF_NAME(Prev), previous);
        } else {
            pdf_dict_put(ctx, parent, PDF_NAME(First), dict);
        }
        pdf_dict_put(ctx, parent, PDF_NAME(Last), dict);
        const int children = addOutlineItems(ctx, doc, dict, item.children);
        if (children > 0) {
            pdf_dict_put_int(ctx, dict, PDF_NAME(Count), children);
        }
        total += 1 + children;
        pdf_drop_obj(ctx, previous);
        previous = dict;
    }
    pdf_drop_obj(ctx, previous);
    return total;
}

void addOutline(fz_context* ctx, pdf_document* doc, const FixtureDocument& document) {
    if (document.outline.empty()) {
        return;
    }
    pdf_obj* outlines = pdf_add_new_dict(ctx, doc, 4);
    fz_try(ctx) {
        pdf_dict_put(ctx, outlines, PDF_NAME(Type), PDF_NAME(Outlines));
        pdf_dict_put_int(ctx, outlines, PDF_NAME(Count),
                         addOutlineItems(ctx, doc, outlines, document.outline));
        pdf_obj* root = pdf_dict_get(ctx, pdf_trailer(ctx, doc), PDF_NAME(Root));
        pdf_dict_put(ctx, root, PDF_NAME(Outlines), outlines);
    }
    fz_always(ctx) {
        pdf_drop_obj(ctx, outlines);
    }
    fz_catch(ctx) {
        fz_rethrow(ctx);
    }
}

void addAcroForm(fz_context* ctx, WriteState& state) {
    pdf_obj* root = pdf_dict_get(ctx, pdf_trailer(ctx, state.doc), PDF_NAME(Root));
    pdf_obj* form = pdf_dict_put_dict(ctx, root, PDF_NAME(AcroForm), 3);
    pdf_dict_put(ctx, form, PDF_NAME(Fields), state.fields);
    pdf_dict_put_string(ctx, form, PDF_NAME(DA), "/Helv 12 Tf 0 g", 15);
    // /Helv in the field appearances resolves here.
    int regular = static_cast<int>(FontStyle::regular);
    if (!state.fonts[regular]) {
        state.fonts[regular] = addFont(ctx, state.doc, FontStyle::regular);
    }
    pdf_obj* fonts =
        pdf_dict_put_dict(ctx, pdf_dict_put_dict(ctx, form, PDF_NAME(DR), 1), PDF_NAME(Font), 1);
    pdf_dict_put(ctx, fonts, PDF_NAME(Helv), state.fonts[regular]);
}

} // namespace

std::filesystem::path writePdf(const FixtureDocument& document, const std::filesystem::path& path) {
    std::vector<PagePlan> pages;
    std::vector<std::vector<AnnotationPlan>> annotations;
    for (const FixturePage& page : document.pages) {
        pages.push_back(planPage(page));
        annotations.emplace_back();
        for (const FixtureAnnotation& annotation : page.annotations) {
            annotations.back().push_back(planAnnotation(annotation));
        }
    }
    std::vector<PageLabelRange> labels = document.pageLabels;
    std::stable_sort(labels.begin(), labels.end(),
                     [](const auto& a, const auto& b) { return a.startIndex < b.startIndex; });

    pdf_write_options options = pdf_default_write_options;
    options.do_compress = 1;
    if (document.userPassword) {
        const std::string& password = *document.userPassword;
        static const char owner[] = "ombrix-owner";
        if (password.empty() || password.size() >= sizeof(options.upwd_utf8)) {
            throw std::invalid_argument("the user password must have 1 to 127 bytes");
        }
        options.do_encrypt = encryptionMethod(document.encryption);
        options.permissions = PDF_PERM_PRINT | PDF_PERM_COPY | PDF_PERM_FORM |
                              PDF_PERM_ACCESSIBILITY | PDF_PERM_ASSEMBLE | PDF_PERM_PRINT_HQ;
        if (document.allowsAnnotating) {
            options.permissions |= PDF_PERM_MODIFY | PDF_PERM_ANNOTATE;
        }
        std::memcpy(options.upwd_utf8, password.c_str(), password.size() + 1);
        std::memcpy(options.opwd_utf8, owner, sizeof(owner));
    }
    std::string file = path.string();

    MuPdfSession session;
    WriteState state;
    session.run("cannot write fixture PDF", [&](fz_context* ctx) {
        fz_var(state);
        fz_try(ctx) {
            state.doc = pdf_create_document(ctx);
            for (std::size_t i = 0; i < pages.size(); ++i) {
                addPage(ctx, state, pages[i], annotations[i]);
            }
            if (state.fields) {
                addAcroForm(ctx, state);
            }
            addInfo(ctx, state.doc, document);
            addPageLabels(ctx, state.doc, labels);
            addLinkDestinations(ctx, state.doc, document);
            addOutline(ctx, state.doc, document);
            pdf_save_document(ctx, state.doc, file.c_str(), &options);
        }
        fz_always(ctx) {
            for (pdf_obj* font : state.fonts) {
                pdf_drop_obj(ctx, font);
            }
            pdf_drop_obj(ctx, state.fields);
            pdf_drop_document(ctx, state.doc);
        }
        fz_catch(ctx) {
            fz_rethrow(ctx);
        }
    });
    session.requireNoWarnings("fixture PDF");
    return path;
}

namespace {

// Width and vertical extent of WinAnsi bytes in the base-14 font MuPDF substitutes for
// the style, which is also what its text extraction measures with.
struct Measure {
    double width = 0;
    double ascender = 0;
    double descender = 0;
};

Measure measure(const std::string& winAnsi, FontStyle style, double size) {
    const char* name = baseFontName(style);
    MuPdfSession session;
    Measure result;
    session.run("cannot measure fixture text", [&](fz_context* ctx) {
        fz_font* font = fz_new_base14_font(ctx, name);
        fz_try(ctx) {
            float advance = 0;
            for (unsigned char byte : winAnsi) {
                int glyph = fz_encode_character(ctx, font, fz_unicode_from_windows_1252[byte]);
                advance += fz_advance_glyph(ctx, font, glyph, 0);
            }
            result.width = advance * size;
            result.ascender = fz_font_ascender(ctx, font) * size;
            result.descender = fz_font_descender(ctx, font) * size;
        }
        fz_always(ctx) {
            fz_drop_font(ctx, font);
        }
        fz_catch(ctx) {
            fz_rethrow(ctx);
        }
    });
    return result;
}

} // namespace

double textWidth(const std::string& text, FontStyle style, double size) {
    return measure(toWinAnsi(text), style, size).width;
}

Rect textBounds(const TextRun& run) {
    Measure m = measure(toWinAnsi(run.text), run.style, run.size);
    const auto [c, s] = turn(run.angle);
    // The unturned box's corners turned about the origin.
    auto at = [&, c = c, s = s](double dx, double dy) {
        return Point{run.x + c * dx - s * dy, run.y + s * dx + c * dy};
    };
    const Point a = at(0, m.descender), b = at(m.width, m.ascender);
    return Rect::fromEdges(a.x, a.y, b.x, b.y);
}

Rect textBounds(const TextRun& run, const std::string& part) {
    std::size_t at = run.text.find(part);
    if (part.empty() || at == std::string::npos) {
        throw std::invalid_argument("\"" + run.text + "\" does not contain \"" + part + "\"");
    }
    TextRun piece = run;
    const auto [c, s] = turn(run.angle);
    const double advance = textWidth(run.text.substr(0, at), run.style, run.size);
    piece.x = run.x + c * advance;
    piece.y = run.y + s * advance;
    piece.text = part;
    return textBounds(piece);
}

FixtureDocument markedTextDocument(double noteSize) {
    auto document = textDocument(2);
    const auto& runs = document.pages[0].runs;
    auto& annotations = document.pages[0].annotations;
    const Rect first = textBounds(runs[1]);
    annotations.push_back(
        annotationOf("Highlight", first, Color{1, 0.8, 0, 0.5}, std::string("check this figure")));
    annotations.push_back(annotationOf("Highlight", textBounds(runs[3]), Color{1, 0.8, 0, 0.5}));
    annotations.push_back(annotationOf("Text", Rect{first.maxX() - 10, first.y, noteSize, noteSize},
                                       Color{1, 1, 0, 1}, std::string("a note")));
    annotations.push_back(
        annotationOf("Square", textBounds(runs[5]), Color{1, 0, 0, 1}, std::nullopt, 1.0));
    return document;
}

} // namespace ombrix::testing
