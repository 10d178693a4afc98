// Page labels, font resources and the fonts a content stream selects.

#include "pdfkit/MuDocument.h"

#include <algorithm>
#include <set>

namespace ombrix::pdfkit {

// ---- /PageLabels ----

std::vector<LabelRange> readLabelRanges(fz_context* ctx, pdf_document* doc) {
    std::vector<LabelRange> ranges;
    pdf_obj* trailer = nullptr;
    mu::attempt(ctx, [&] { trailer = pdf_trailer(ctx, doc); });
    pdf_obj* tree = mu::get(ctx, mu::get(ctx, trailer, PDF_NAME(Root)), "PageLabels");
    if (!mu::isDict(ctx, tree)) {
        return ranges;
    }
    // A number tree: /Nums pairs in the leaves, /Kids below. Damaged files can make it
    // a cycle or a huge fan, so every node is visited once and the walk is bounded.
    std::vector<pdf_obj*> stack{tree};
    std::set<pdf_obj*> visited;
    int budget = 100000;
    while (!stack.empty() && budget-- > 0) {
        pdf_obj* node = mu::resolve(ctx, stack.back());
        stack.pop_back();
        if (!mu::isDict(ctx, node) || !visited.insert(node).second) {
            continue;
        }
        pdf_obj* nums = mu::get(ctx, node, PDF_NAME(Nums));
        const int n = mu::length(ctx, nums);
        for (int i = 0; i + 1 < n; i += 2) {
            auto key = mu::number(ctx, mu::item(ctx, nums, i));
            pdf_obj* value = mu::item(ctx, nums, i + 1);
            if (!key || *key < 0 || *key > 1e9 || !mu::isDict(ctx, value)) {
                continue;
            }
            LabelRange range;
            range.startIndex = int(*key);
            const std::string style = mu::name(ctx, mu::get(ctx, value, PDF_NAME(S)));
            if (style.size() == 1 && std::string("DRrAa").find(style[0]) != std::string::npos) {
                range.style = style[0];
            }
            range.prefix = mu::text(ctx, mu::get(ctx, value, PDF_NAME(P))).value_or("");
            auto start = mu::number(ctx, mu::get(ctx, value, "St"));
            if (start && *start >= 1 && *start <= 1e9) {
                range.start = std::int64_t(*start);
            }
            ranges.push_back(std::move(range));
        }
        pdf_obj* kids = mu::get(ctx, node, PDF_NAME(Kids));
        for (int i = mu::length(ctx, kids) - 1; i >= 0; --i) {
            stack.push_back(mu::item(ctx, kids, i));
        }
    }
    std::stable_sort(ranges.begin(), ranges.end(), [](const LabelRange& a, const LabelRange& b) {
        return a.startIndex < b.startIndex;
    });
    return ranges;
}

namespace {

std::string roman(std::int64_t n, bool upper) {
    static const std::pair<int, const char*> digits[] = {
        {1000, "m"}, {900, "cm"}, {500, "d"}, {400, "cd"}, {100, "c"}, {90, "xc"}, {50, "l"},
        {40, "xl"},  {10, "x"},   {9, "ix"},  {5, "v"},    {4, "iv"},  {1, "i"}};
    std::string out;
    for (const auto& [value, text] : digits) {
        while (n >= value) {
            out += text;
            n -= value;
        }
    }
    if (upper) {
        std::transform(out.begin(), out.end(), out.begin(),
                       [](unsigned char c) { return char(std::toupper(c)); });
    }
    return out;
}

// A, B, ..., Z, AA, BB, ..., ZZ, AAA, ...
std::string letters(std::int64_t n, bool upper) {
    const char letter = char((upper ? 'A' : 'a') + (n - 1) % 26);
    return std::string(std::size_t((n - 1) / 26 + 1), letter);
}

} // namespace

std::optional<std::string> formatLabel(const std::vector<LabelRange>& ranges, int pageIndex) {
    const LabelRange* range = nullptr;
    for (const LabelRange& r : ranges) {
        if (r.startIndex <= pageIndex) {
            range = &r;
        }
    }
    if (!range) {
        return std::nullopt;
    }
    const std::int64_t n = range->start + (pageIndex - range->startIndex);
    std::string label = range->prefix;
    switch (range->style) {
    case 'R':
    case 'r':
        // Thousands are written as repeated M; beyond reason, as digits.
        label += n <= 100000 ? roman(n, range->style == 'R') : std::to_string(n);
        break;
    case 'A':
    case 'a':
        label += n <= 26 * 100 ? letters(n, range->style == 'A') : std::to_string(n);
        break;
    case 'D':
        label += std::to_string(n);
        break;
    default:
        break;
    }
    if (label.empty()) {
        return std::nullopt;
    }
    return label;
}

// ---- Fonts ----

std::vector<FontResource> readFontResources(fz_context* ctx, pdf_obj* pageObject) {
    std::vector<FontResource> fonts;
    pdf_obj* resources = nullptr;
    mu::attempt(
        ctx, [&] { resources = pdf_dict_get_inheritable(ctx, pageObject, PDF_NAME(Resources)); });
    pdf_obj* dict = mu::get(ctx, resources, PDF_NAME(Font));
    int n = 0;
    mu::attempt(ctx, [&] { n = pdf_is_dict(ctx, dict) ? pdf_dict_len(ctx, dict) : 0; });
    for (int i = 0; i < n; ++i) {
        pdf_obj* key = nullptr;
        pdf_obj* value = nullptr;
        mu::attempt(ctx, [&] {
            key = pdf_dict_get_key(ctx, dict, i);
            value = pdf_dict_get_val(ctx, dict, i);
        });
        FontResource font;
        font.resourceName = mu::name(ctx, key);
        if (font.resourceName.empty()) {
            continue;
        }
        const std::string base = mu::name(ctx, mu::get(ctx, value, PDF_NAME(BaseFont)));
        if (!base.empty()) {
            font.baseFont = base;
        }
        fonts.push_back(std::move(font));
    }
    return fonts;
}

namespace {

// Loads every font of `resources` (and of the forms it draws, `depth` levels down) and
// notes what the file says about each.
void collectTextFonts(fz_context* ctx, pdf_document* doc, pdf_obj* resources, int depth,
                      std::vector<pdf_obj*>& seen, std::vector<DescribedFont>& out) {
    if (!resources || depth > 8 || std::find(seen.begin(), seen.end(), resources) != seen.end()) {
        return;
    }
    seen.push_back(resources);

    pdf_obj* fonts = mu::resolve(ctx, mu::get(ctx, resources, PDF_NAME(Font)));
    int fontCount = 0;
    mu::attempt(ctx, [&] { fontCount = pdf_is_dict(ctx, fonts) ? pdf_dict_len(ctx, fonts) : 0; });
    for (int i = 0; i < fontCount; ++i) {
        pdf_font_desc* desc = nullptr;
        DescribedFont font;
        bool ok = mu::attempt(ctx, [&] {
            pdf_obj* dict = pdf_dict_get_val(ctx, fonts, i);
            desc = pdf_load_font(ctx, doc, resources, dict);
            const char* engineName = desc->font ? fz_font_name(ctx, desc->font) : nullptr;
            font.engineName = engineName ? engineName : "";
            font.flags = desc->flags;
            pdf_obj* descendant =
                pdf_array_get(ctx, pdf_dict_get(ctx, dict, PDF_NAME(DescendantFonts)), 0);
            font.hasDescriptor =
                pdf_is_dict(ctx, pdf_dict_get(ctx, dict, PDF_NAME(FontDescriptor))) ||
                pdf_is_dict(ctx, pdf_dict_get(ctx, descendant, PDF_NAME(FontDescriptor)));
            pdf_obj* name = pdf_dict_get(ctx, dict, PDF_NAME(BaseFont));
            font.baseFont = pdf_is_name(ctx, name) ? pdf_to_name(ctx, name) : "";
        });
        pdf_drop_font(ctx, desc);
        if (ok && !font.engineName.empty()) {
            out.push_back(std::move(font));
        }
    }

    pdf_obj* xobjects = mu::resolve(ctx, mu::get(ctx, resources, PDF_NAME(XObject)));
    int xobjectCount = 0;
    mu::attempt(
        ctx, [&] { xobjectCount = pdf_is_dict(ctx, xobjects) ? pdf_dict_len(ctx, xobjects) : 0; });
    for (int i = 0; i < xobjectCount; ++i) {
        pdf_obj* inner = nullptr;
        mu::attempt(ctx, [&] {
            pdf_obj* form = pdf_dict_get_val(ctx, xobjects, i);
            if (pdf_name_eq(ctx, pdf_dict_get(ctx, form, PDF_NAME(Subtype)), PDF_NAME(Form))) {
                inner = pdf_resolve_indirect(ctx, pdf_dict_get(ctx, form, PDF_NAME(Resources)));
            }
        });
        collectTextFonts(ctx, doc, inner, depth + 1, seen, out);
    }
}

constexpr int kMaxFormDepth = 12;

struct FontScan {
    pdf_document* doc;
    std::vector<std::string> names;
    std::set<int> forms; // object numbers being scanned or done
};

int lexToken(fz_context* ctx, fz_stream* stm, pdf_lexbuf* buf) {
    int token = PDF_TOK_EOF;
    if (!mu::attempt(ctx, [&] { token = int(pdf_lex(ctx, stm, buf)); })) {
        return PDF_TOK_EOF; // a damaged stream ends the scan, not the program
    }
    return token;
}

// After "ID": the image's bytes up to an "EI" standing between whitespace.
void skipInlineImage(fz_context* ctx, fz_stream* stm) {
    mu::attempt(ctx, [&] {
        int before = ' ', previous = fz_read_byte(ctx, stm);
        for (int c = fz_read_byte(ctx, stm); c != EOF; c = fz_read_byte(ctx, stm)) {
            if (previous == 'E' && c == 'I' &&
                (before == ' ' || before == '\n' || before == '\r' || before == '\t')) {
                int next = fz_peek_byte(ctx, stm);
                if (next == EOF || next == ' ' || next == '\n' || next == '\r' || next == '\t' ||
                    next == '/' || next == '%') {
                    return;
                }
            }
            before = previous;
            previous = c;
        }
    });
}

void scanStream(fz_context* ctx, FontScan& scan, fz_stream* stm, pdf_obj* resources, int depth);

void scanForm(fz_context* ctx, FontScan& scan, pdf_obj* resources, const std::string& name,
              int depth) {
    if (depth >= kMaxFormDepth) {
        return;
    }
    // Streams open by their reference, not by the resolved dictionary.
    pdf_obj* form = mu::get(ctx, mu::get(ctx, resources, PDF_NAME(XObject)), name.c_str());
    int num = 0;
    mu::attempt(ctx, [&] { num = pdf_is_indirect(ctx, form) ? pdf_to_num(ctx, form) : 0; });
    if (num <= 0 || mu::name(ctx, mu::get(ctx, form, PDF_NAME(Subtype))) != "Form" ||
        !scan.forms.insert(num).second) {
        return;
    }
    pdf_obj* formResources = mu::get(ctx, form, PDF_NAME(Resources));
    if (!mu::isDict(ctx, formResources)) {
        formResources = resources;
    }
    fz_stream* stm = nullptr;
    if (mu::attempt(ctx, [&] { stm = pdf_open_stream(ctx, form); })) {
        scanStream(ctx, scan, stm, formResources, depth + 1);
    }
    fz_drop_stream(ctx, stm);
}

void scanStream(fz_context* ctx, FontScan& scan, fz_stream* stm, pdf_obj* resources, int depth) {
    pdf_lexbuf buf;
    pdf_lexbuf_init(ctx, &buf, PDF_LEXBUF_SMALL);
    // The two operands before an operator are all Tf and Do need.
    int kinds[2] = {PDF_TOK_EOF, PDF_TOK_EOF};
    std::string names[2];
    auto shift = [&](int kind, std::string name) {
        kinds[0] = kinds[1];
        names[0] = std::move(names[1]);
        kinds[1] = kind;
        names[1] = std::move(name);
    };
    long tokens = 0;
    for (int token = lexToken(ctx, stm, &buf); token != PDF_TOK_EOF;
         token = lexToken(ctx, stm, &buf)) {
        // Lexing allocates nothing, so a bomb of a stream is stopped here.
        if (++tokens % 4096 == 0 && mu::pastDeadline()) {
            break;
        }
        if (token == PDF_TOK_NAME) {
            shift(token,
                  std::string(buf.scratch, std::size_t(std::max<std::ptrdiff_t>(0, buf.len))));
            continue;
        }
        if (token == PDF_TOK_INT || token == PDF_TOK_REAL) {
            shift(PDF_TOK_REAL, {});
            continue;
        }
        if (token != PDF_TOK_KEYWORD) {
            shift(token, {});
            continue;
        }
        const std::string op(buf.scratch);
        if (op == "Tf" && kinds[0] == PDF_TOK_NAME && kinds[1] == PDF_TOK_REAL) {
            if (std::find(scan.names.begin(), scan.names.end(), names[0]) == scan.names.end()) {
                scan.names.push_back(names[0]);
            }
        } else if (op == "Do" && kinds[1] == PDF_TOK_NAME) {
            scanForm(ctx, scan, resources, names[1], depth);
        } else if (op == "BI") {
            for (token = lexToken(ctx, stm, &buf); token != PDF_TOK_EOF;
                 token = lexToken(ctx, stm, &buf)) {
                if (token == PDF_TOK_KEYWORD && std::string(buf.scratch) == "ID") {
                    skipInlineImage(ctx, stm);
                    break;
                }
            }
        }
        kinds[0] = kinds[1] = PDF_TOK_EOF;
        names[0].clear();
        names[1].clear();
    }
    pdf_lexbuf_fin(ctx, &buf);
}

} // namespace

std::vector<std::string> scanFontUse(fz_context* ctx, pdf_document* doc, pdf_obj* pageObject) {
    FontScan scan{doc, {}, {}};
    if (!pageObject) {
        return {};
    }
    pdf_obj* resources = nullptr;
    pdf_obj* contents = nullptr;
    fz_stream* stm = nullptr;
    if (mu::attempt(ctx, [&] {
            resources = pdf_dict_get_inheritable(ctx, pageObject, PDF_NAME(Resources));
            contents = pdf_dict_get(ctx, pageObject, PDF_NAME(Contents));
            stm = pdf_open_contents_stream(ctx, doc, contents);
        })) {
        scanStream(ctx, scan, stm, resources, 0);
    }
    fz_drop_stream(ctx, stm);
    return scan.names;
}

std::vector<DescribedFont> readDescribedFonts(fz_context* ctx, pdf_document* doc,
                                              pdf_obj* pageObject) {
    pdf_obj* resources = nullptr;
    mu::attempt(
        ctx, [&] { resources = pdf_dict_get_inheritable(ctx, pageObject, PDF_NAME(Resources)); });
    std::vector<pdf_obj*> seen;
    std::vector<DescribedFont> fonts;
    collectTextFonts(ctx, doc, mu::resolve(ctx, resources), 0, seen, fonts);
    return fonts;
}

} // namespace ombrix::pdfkit
