#pragma once

#include "support/MuPdfSession.h"

#include <filesystem>
#include <mupdf/pdf.h>
#include <optional>
#include <string>
#include <vector>

namespace ombrix::testing {

// One page, 612 x 792, whose content is `content` drawn with /F1 = Helvetica-Bold.
inline void writeContentPdf(const std::filesystem::path& path, const std::string& content) {
    MuPdfSession session;
    pdf_document* doc = nullptr;
    fz_buffer* buffer = nullptr;
    const char* text = content.c_str();
    const std::string name = path.string();
    const char* file = name.c_str();
    session.run("write content PDF", [&](fz_context* ctx) {
        doc = pdf_create_document(ctx);
        pdf_obj* font = pdf_add_new_dict(ctx, doc, 4);
        pdf_dict_put(ctx, font, PDF_NAME(Type), PDF_NAME(Font));
        pdf_dict_put(ctx, font, PDF_NAME(Subtype), PDF_NAME(Type1));
        pdf_dict_put_name(ctx, font, PDF_NAME(BaseFont), "Helvetica-Bold");
        pdf_dict_put(ctx, font, PDF_NAME(Encoding), PDF_NAME(WinAnsiEncoding));
        pdf_obj* resources = pdf_new_dict(ctx, doc, 1);
        pdf_obj* fonts = pdf_dict_put_dict(ctx, resources, PDF_NAME(Font), 1);
        pdf_dict_puts_drop(ctx, fonts, "F1", font);
        buffer = fz_new_buffer_from_copied_data(ctx, reinterpret_cast<const unsigned char*>(text),
                                                strlen(text));
        pdf_obj* page = pdf_add_page(ctx, doc, fz_make_rect(0, 0, 612, 792), 0, resources, buffer);
        pdf_insert_page(ctx, doc, -1, page);
        pdf_drop_obj(ctx, page);
        pdf_drop_obj(ctx, resources);
        pdf_save_document(ctx, doc, file, nullptr);
    });
    fz_drop_buffer(session.ctx(), buffer);
    pdf_drop_document(session.ctx(), doc);
}

// What a file says about one annotation of a page, read straight from its objects.
struct StoredAnnotation {
    std::string subtype;
    std::vector<double> rect;       // /Rect as written
    std::vector<double> color;      // /C
    std::optional<double> opacity;  // /CA
    std::vector<double> quadPoints; // /QuadPoints
    bool hasAppearance = false;
};

struct StoredPage {
    int rotate = 0;
    std::vector<StoredAnnotation> annotations; // in /Annots order
};

inline std::vector<double> numbersOf(fz_context* ctx, pdf_obj* array) {
    std::vector<double> values;
    for (int i = 0, n = pdf_array_len(ctx, array); i < n; ++i) {
        values.push_back(pdf_to_real(ctx, pdf_array_get(ctx, array, i)));
    }
    return values;
}

inline StoredPage readStoredPage(const std::filesystem::path& path, int pageIndex) {
    MuPdfSession session;
    fz_context* ctx = session.ctx();
    pdf_document* doc = nullptr;
    pdf_obj* page = nullptr;
    const std::string name = path.string();
    session.run("open", [&](fz_context* c) {
        doc = pdf_open_document(c, name.c_str());
        page = pdf_lookup_page_obj(c, doc, pageIndex);
    });
    StoredPage stored;
    stored.rotate = pdf_to_int(ctx, pdf_dict_get_inheritable(ctx, page, PDF_NAME(Rotate)));
    pdf_obj* annots = pdf_dict_get(ctx, page, PDF_NAME(Annots));
    for (int i = 0, n = pdf_array_len(ctx, annots); i < n; ++i) {
        pdf_obj* a = pdf_array_get(ctx, annots, i);
        StoredAnnotation s;
        s.subtype = pdf_to_name(ctx, pdf_dict_get(ctx, a, PDF_NAME(Subtype)));
        s.rect = numbersOf(ctx, pdf_dict_get(ctx, a, PDF_NAME(Rect)));
        s.color = numbersOf(ctx, pdf_dict_get(ctx, a, PDF_NAME(C)));
        if (pdf_obj* ca = pdf_dict_get(ctx, a, PDF_NAME(CA)); pdf_is_number(ctx, ca)) {
            s.opacity = pdf_to_real(ctx, ca);
        }
        s.quadPoints = numbersOf(ctx, pdf_dict_get(ctx, a, PDF_NAME(QuadPoints)));
        s.hasAppearance = pdf_is_dict(ctx, pdf_dict_get(ctx, a, PDF_NAME(AP)));
        stored.annotations.push_back(std::move(s));
    }
    pdf_drop_document(ctx, doc);
    return stored;
}

} // namespace ombrix::testing
