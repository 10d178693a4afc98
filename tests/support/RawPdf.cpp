#include "support/RawPdf.h"

#include "support/Fixtures.h"
#include "support/MuPdfSession.h"

#include <cstring>
#include <mupdf/pdf.h>

namespace ombrix::testing {
namespace {

std::vector<double> numbersOf(fz_context* ctx, pdf_obj* array) {
    std::vector<double> values;
    for (int i = 0, n = pdf_array_len(ctx, array); i < n; ++i) {
        values.push_back(pdf_to_real(ctx, pdf_array_get(ctx, array, i)));
    }
    return values;
}

// Runs between setjmp and longjmp: only C strings leave it, copied out afterwards.
std::map<std::string, std::string> entriesOf(fz_context* ctx, pdf_obj* annot) {
    std::map<std::string, std::string> entries;
    for (int k = 0, n = pdf_dict_len(ctx, annot); k < n; ++k) {
        pdf_obj* value = pdf_dict_get_val(ctx, annot, k);
        std::size_t length = 0;
        char* printed = pdf_sprint_obj(ctx, nullptr, 0, &length, value, 1, 0);
        entries[pdf_to_name(ctx, pdf_dict_get_key(ctx, annot, k))] =
            pdf_is_string(ctx, value) ? pdf_to_text_string(ctx, value) : printed;
        fz_free(ctx, printed);
    }
    return entries;
}

} // namespace

StoredPage readStoredPage(const std::filesystem::path& path, int pageIndex) {
    MuPdfSession session;
    fz_context* ctx = session.ctx();
    pdf_document* doc = nullptr;
    pdf_obj* page = nullptr;
    const std::string name = path.string();
    session.run("open", [&](fz_context* c) {
        doc = pdf_open_document(c, name.c_str());
        page = pdf_lookup_page_obj(c, doc, pageIndex);
    });
    // Reading objects of a loaded document does not throw; the C++ below stays outside
    // MuPDF's jumps.
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
        s.entries = entriesOf(ctx, a);
        stored.annotations.push_back(std::move(s));
    }
    pdf_drop_document(ctx, doc);
    return stored;
}

StoredEncryption readEncryption(const std::filesystem::path& path, const std::string& password) {
    MuPdfSession session;
    StoredEncryption e;
    const std::string name = path.string();
    char method[64] = "";
    session.run("cannot read the saved file", [&](fz_context* ctx) {
        pdf_document* doc = pdf_open_document(ctx, name.c_str());
        e.needsPassword = pdf_needs_password(ctx, doc);
        e.opensWithPassword = pdf_authenticate_password(ctx, doc, password.c_str()) != 0;
        if (doc->crypt) {
            fz_strlcpy(method, pdf_crypt_method(ctx, doc->crypt), sizeof method);
            e.revision = pdf_crypt_revision(ctx, doc->crypt);
            e.permissions = pdf_crypt_permissions(ctx, doc->crypt);
        }
        pdf_drop_document(ctx, doc);
    });
    e.method = method;
    return e;
}

void writeContentPdf(const std::filesystem::path& path, const std::string& content) {
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

void encryptInPlace(const std::filesystem::path& path, const std::string& ownerPassword) {
    MuPdfSession session;
    pdf_document* doc = nullptr;
    const std::string name = path.string();
    pdf_write_options options = pdf_default_write_options;
    options.do_encrypt = PDF_ENCRYPT_AES_128;
    fz_strlcpy(options.opwd_utf8, ownerPassword.c_str(), sizeof options.opwd_utf8);
    options.permissions = -1;
    session.run("encrypt", [&](fz_context* ctx) {
        doc = pdf_open_document(ctx, name.c_str());
        pdf_save_document(ctx, doc, name.c_str(), &options);
    });
    pdf_drop_document(session.ctx(), doc);
}

// The labelled fixture (i ii iii iv 1 2 A-1 A-2) with an outline entry, a link on page 1,
// a named destination and an open action, all leading to page 3, plus an outline entry
// and a link leading to page 5.
void writeCrossReferencedPdf(const std::filesystem::path& path) {
    writePdf(labelledDocument(), path);
    MuPdfSession session;
    pdf_document* doc = nullptr;
    const std::string name = path.string();
    session.run("cross-reference", [&](fz_context* ctx) {
        doc = pdf_open_document(ctx, name.c_str());
        pdf_obj* root = pdf_dict_get(ctx, pdf_trailer(ctx, doc), PDF_NAME(Root));
        pdf_obj* third = pdf_lookup_page_obj(ctx, doc, 2);
        pdf_obj* fifth = pdf_lookup_page_obj(ctx, doc, 4);
        auto dest = [&](pdf_obj* page) {
            pdf_obj* d = pdf_new_array(ctx, doc, 2);
            pdf_array_push(ctx, d, page);
            pdf_array_push(ctx, d, PDF_NAME(Fit));
            return d;
        };
        pdf_obj* outlines = pdf_add_new_dict(ctx, doc, 4);
        pdf_obj* a = pdf_add_new_dict(ctx, doc, 4);
        pdf_obj* b = pdf_add_new_dict(ctx, doc, 4);
        pdf_dict_put_text_string(ctx, a, PDF_NAME(Title), "To iii");
        pdf_dict_put_drop(ctx, a, PDF_NAME(Dest), dest(third));
        pdf_dict_put(ctx, a, PDF_NAME(Parent), outlines);
        pdf_dict_put(ctx, a, PDF_NAME(Next), b);
        pdf_dict_put_text_string(ctx, b, PDF_NAME(Title), "To 1");
        pdf_dict_put_drop(ctx, b, PDF_NAME(Dest), dest(fifth));
        pdf_dict_put(ctx, b, PDF_NAME(Parent), outlines);
        pdf_dict_put(ctx, b, PDF_NAME(Prev), a);
        pdf_dict_put(ctx, outlines, PDF_NAME(First), a);
        pdf_dict_put(ctx, outlines, PDF_NAME(Last), b);
        pdf_dict_put_int(ctx, outlines, PDF_NAME(Count), 2);
        pdf_dict_put_drop(ctx, root, PDF_NAME(Outlines), outlines);
        pdf_drop_obj(ctx, a);
        pdf_drop_obj(ctx, b);

        pdf_obj* annots =
            pdf_dict_put_array(ctx, pdf_lookup_page_obj(ctx, doc, 0), PDF_NAME(Annots), 2);
        for (pdf_obj* target : {third, fifth}) {
            pdf_obj* link = pdf_add_new_dict(ctx, doc, 4);
            pdf_dict_put(ctx, link, PDF_NAME(Type), PDF_NAME(Annot));
            pdf_dict_put(ctx, link, PDF_NAME(Subtype), PDF_NAME(Link));
            pdf_dict_put_rect(ctx, link, PDF_NAME(Rect), fz_make_rect(72, 72, 144, 90));
            pdf_obj* action = pdf_dict_put_dict(ctx, link, PDF_NAME(A), 2);
            pdf_dict_put(ctx, action, PDF_NAME(S), PDF_NAME(GoTo));
            pdf_dict_put_drop(ctx, action, PDF_NAME(D), dest(target));
            pdf_array_push_drop(ctx, annots, link);
        }
        pdf_obj* dests = pdf_dict_puts_dict(ctx, root, "Dests", 1);
        pdf_dict_puts_drop(ctx, dests, "third", dest(third));
        pdf_dict_puts_drop(ctx, root, "OpenAction", dest(third));
        pdf_save_document(ctx, doc, name.c_str(), nullptr);
    });
    pdf_drop_document(session.ctx(), doc);
}

} // namespace ombrix::testing
