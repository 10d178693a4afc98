#include "pdfkit/PageTree.h"

#include "pdfkit/ResourceLimits.h"

#include <algorithm>
#include <cstdint>
#include <unordered_set>

namespace ombrix::pdfkit::mu {

bool limitReached() {
    return pastDeadline() || memoryLimitReached();
}

int pageObjectNumber(fz_context* ctx, pdf_document* doc, int index) {
    if (doc->fwd_page_map) {
        return index >= 0 && index < doc->map_page_count ? doc->fwd_page_map[index] : 0;
    }
    int num = 0;
    attempt(ctx, [&] { num = pdf_to_num(ctx, pdf_lookup_page_obj(ctx, doc, index)); });
    return num;
}

pdf_obj* pageObject(fz_context* ctx, pdf_document* doc, int index) {
    pdf_obj* obj = nullptr;
    if (doc->fwd_page_map) {
        if (index < 0 || index >= doc->map_page_count) {
            return nullptr;
        }
        const int num = doc->fwd_page_map[index];
        attempt(ctx, [&] {
            obj = pdf_load_object(ctx, doc, num);
            pdf_drop_obj(ctx, obj); // the document's table of objects still holds it
        });
        return obj;
    }
    // Each lookup walks the tree: past a limit, a loop over pages must not go on doing it.
    if (limitReached()) {
        return nullptr;
    }
    attempt(ctx, [&] { obj = pdf_lookup_page_obj(ctx, doc, index); });
    return obj;
}

std::vector<pdf_obj*> walkPageTree(fz_context* ctx, pdf_document* doc, int count) {
    std::vector<pdf_obj*> found;
    if (count <= 0) {
        return found;
    }
    found.reserve(std::size_t(count));
    bool stopped = false;
    const bool walked = attempt(ctx, [&] {
        pdf_obj* root = pdf_dict_get(ctx, pdf_trailer(ctx, doc), PDF_NAME(Root));
        std::vector<pdf_obj*> stack{pdf_dict_get(ctx, root, PDF_NAME(Pages))};
        std::unordered_set<int> seen;
        std::size_t steps = 0;
        while (!stack.empty() && int(found.size()) <= count) {
            if (++steps % 4096 == 0 && limitReached()) {
                stopped = true;
                break;
            }
            pdf_obj* node = stack.back();
            stack.pop_back();
            const int num = pdf_to_num(ctx, node);
            if (num > 0 && !seen.insert(num).second) {
                continue; // a cycle or a shared node
            }
            pdf_obj* type = pdf_dict_get(ctx, node, PDF_NAME(Type));
            pdf_obj* kids = pdf_dict_get(ctx, node, PDF_NAME(Kids));
            const bool inner =
                pdf_name_eq(ctx, type, PDF_NAME(Pages)) || (!type && pdf_is_array(ctx, kids));
            if (!inner) {
                found.push_back(node);
                continue;
            }
            for (int i = pdf_array_len(ctx, kids) - 1; i >= 0; --i) {
                stack.push_back(pdf_array_get(ctx, kids, i));
            }
        }
    });
    if (!walked || stopped || int(found.size()) != count) {
        return {};
    }
    // The walk and MuPDF's lookup (which trusts each node's /Count) must name the same
    // objects; spot checks across the document catch a tree that does not add up.
    const int checks = std::min(count, 33);
    for (int c = 0; c < checks; ++c) {
        const int index = checks == 1 ? 0 : int(std::int64_t(count - 1) * c / (checks - 1));
        const int num = pageObjectNumber(ctx, doc, index);
        if (num <= 0 || num != pdf_to_num(ctx, found[std::size_t(index)])) {
            return {};
        }
    }
    return found;
}

} // namespace ombrix::pdfkit::mu
