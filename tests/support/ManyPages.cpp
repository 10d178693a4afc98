#include "support/ManyPages.h"

#include "support/MuPdfSession.h"

#include <algorithm>
#include <cstring>
#include <mupdf/pdf.h>
#include <stdexcept>

namespace ombrix::testing {

namespace {

std::string textStream(const std::string& text, int lines = 1) {
    std::string stream = "BT /F1 12 Tf 14 TL 72 720 Td";
    for (int i = 0; i < lines; ++i) {
        stream += " (" + text + ") '";
    }
    return stream + " ET";
}

// Inside fz_try only.
pdf_obj* addStream(fz_context* ctx, pdf_document* doc, const std::string& content) {
    fz_buffer* buffer = fz_new_buffer_from_copied_data(
        ctx, reinterpret_cast<const unsigned char*>(content.data()), content.size());
    pdf_obj* stream = nullptr;
    fz_try(ctx) {
        stream = pdf_add_stream(ctx, doc, buffer, nullptr, 0);
    }
    fz_always(ctx) {
        fz_drop_buffer(ctx, buffer);
    }
    fz_catch(ctx) {
        fz_rethrow(ctx);
    }
    return stream;
}

} // namespace

std::string ManyPages::markerText(int index) {
    return "Marker on page " + std::to_string(index + 1);
}

const std::filesystem::path& ManyPages::write(const std::filesystem::path& path) const {
    if (pages < 1) {
        throw std::invalid_argument("a document needs at least one page");
    }
    std::vector<int> marks = marked;
    std::sort(marks.begin(), marks.end());
    std::vector<std::string> markerStreams;
    for (int index : marks) {
        if (index < 0 || index >= pages) {
            throw std::invalid_argument("marked page out of range");
        }
        markerStreams.push_back(textStream(markerText(index)));
    }
    const std::string filler = textStream(kFillerText, std::max(1, fillerLines));
    const std::string file = path.string();
    const int count = pages;

    MuPdfSession session;
    pdf_document* doc = nullptr;
    session.run("cannot write the many-page PDF", [&](fz_context* ctx) {
        fz_var(doc);
        fz_try(ctx) {
            doc = pdf_create_document(ctx);
            pdf_obj* font = pdf_add_new_dict(ctx, doc, 4);
            pdf_dict_put(ctx, font, PDF_NAME(Type), PDF_NAME(Font));
            pdf_dict_put(ctx, font, PDF_NAME(Subtype), PDF_NAME(Type1));
            pdf_dict_put_name(ctx, font, PDF_NAME(BaseFont), "Helvetica");
            pdf_dict_put(ctx, font, PDF_NAME(Encoding), PDF_NAME(WinAnsiEncoding));
            pdf_obj* resources = pdf_add_new_dict(ctx, doc, 1);
            pdf_dict_puts_drop(ctx, pdf_dict_put_dict(ctx, resources, PDF_NAME(Font), 1), "F1",
                               font);
            pdf_obj* shared = addStream(ctx, doc, filler);

            // The tree is built here in one go: pdf_insert_page finds the end of a flat
            // tree by walking it, which would make writing the document quadratic.
            pdf_obj* root = pdf_dict_get(ctx, pdf_trailer(ctx, doc), PDF_NAME(Root));
            pdf_obj* tree = pdf_dict_get(ctx, root, PDF_NAME(Pages));
            pdf_obj* kids = pdf_dict_get(ctx, tree, PDF_NAME(Kids));
            // Each page names the shared objects through references of its own: one
            // reference object shared by every page would pass the 32,767 holders MuPDF
            // counts and never be freed.
            auto reference = [&](pdf_obj* obj) {
                return pdf_new_indirect(ctx, doc, pdf_to_num(ctx, obj), 0);
            };
            // Every page's object number is taken in one step: MuPDF grows its table of
            // objects one entry at a time, which copies the whole table for each page where
            // memory cannot grow in place (as under the sanitizer).
            const int firstPage = pdf_xref_len(ctx, doc);
            pdf_get_incremental_xref_entry(ctx, doc, firstPage + count - 1);
            std::size_t next = 0;
            for (int i = 0; i < count; ++i) {
                pdf_obj* page = pdf_new_dict(ctx, doc, 5);
                pdf_update_object(ctx, doc, firstPage + i, page);
                pdf_drop_obj(ctx, page); // the document holds it
                page = pdf_new_indirect(ctx, doc, firstPage + i, 0);
                pdf_dict_put(ctx, page, PDF_NAME(Type), PDF_NAME(Page));
                pdf_dict_put_drop(ctx, page, PDF_NAME(Parent), reference(tree));
                pdf_dict_put_rect(ctx, page, PDF_NAME(MediaBox), fz_make_rect(0, 0, 612, 792));
                pdf_dict_put_drop(ctx, page, PDF_NAME(Resources), reference(resources));
                if (next < marks.size() && marks[next] == i) {
                    pdf_dict_put_drop(ctx, page, PDF_NAME(Contents),
                                      addStream(ctx, doc, markerStreams[next]));
                    ++next;
                } else {
                    pdf_dict_put_drop(ctx, page, PDF_NAME(Contents), reference(shared));
                }
                pdf_array_push_drop(ctx, kids, page);
            }
            pdf_dict_put_int(ctx, tree, PDF_NAME(Count), count);
            pdf_drop_obj(ctx, shared);
            pdf_drop_obj(ctx, resources);

            pdf_write_options options = pdf_default_write_options;
            options.do_compress = 1;
            pdf_save_document(ctx, doc, file.c_str(), &options);
        }
        fz_always(ctx) {
            pdf_drop_document(ctx, doc);
        }
        fz_catch(ctx) {
            fz_rethrow(ctx);
        }
    });
    session.requireNoWarnings("many-page PDF");
    return path;
}

} // namespace ombrix::testing
