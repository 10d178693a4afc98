#include "support/DamagedPage.h"

#include "support/Fixtures.h"
#include "support/MuPdfSession.h"

#include <mupdf/pdf.h>
#include <string>

namespace ombrix::testing {

std::filesystem::path writeDeeplyNestedPage(const std::filesystem::path& path, int pages,
                                            int damaged) {
    writePdf(textDocument(pages), path);
    const std::string nesting(100000, '[');
    const std::string file = path.string();
    const std::string written = file + ".new";
    MuPdfSession session;
    pdf_document* doc = nullptr;
    fz_buffer* content = nullptr;
    fz_buffer* changed = nullptr;
    session.run("cannot write the damaged page", [&](fz_context* ctx) {
        fz_var(doc);
        fz_var(content);
        fz_var(changed);
        fz_try(ctx) {
            doc = pdf_open_document(ctx, file.c_str());
            pdf_obj* page = pdf_lookup_page_obj(ctx, doc, damaged);
            pdf_obj* stream = pdf_dict_get(ctx, page, PDF_NAME(Contents));
            content = pdf_load_stream(ctx, stream);
            changed = fz_new_buffer(ctx, fz_buffer_storage(ctx, content, nullptr) + 100001);
            fz_append_buffer(ctx, changed, content);
            fz_append_byte(ctx, changed, '\n');
            fz_append_data(ctx, changed, nesting.data(), nesting.size());
            pdf_update_stream(ctx, doc, stream, changed, 0);
            pdf_write_options options = pdf_default_write_options;
            options.do_compress = 1;
            pdf_save_document(ctx, doc, written.c_str(), &options);
        }
        fz_always(ctx) {
            fz_drop_buffer(ctx, changed);
            fz_drop_buffer(ctx, content);
            pdf_drop_document(ctx, doc);
        }
        fz_catch(ctx) {
            fz_rethrow(ctx);
        }
    });
    std::filesystem::rename(written, path);
    return path;
}

} // namespace ombrix::testing
