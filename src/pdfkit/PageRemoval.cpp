#include "pdfkit/PageRemoval.h"

#include "pdfkit/PageTree.h"

#include <vector>

namespace ombrix::pdfkit::mu {

namespace {

constexpr int kMaxDepth = 64;

// Names MuPDF has no constant for.
constexpr const char* kOpenAction = "OpenAction";
constexpr const char* kPageLabels = "PageLabels";
constexpr const char* kSt = "St";

// Inside fz_try only: whether a destination (an array, a /D dictionary or a name) leads to
// `page`. Names are looked up only when `byName`; the name trees themselves hold arrays.
bool leadsTo(fz_context* ctx, pdf_document* doc, pdf_obj* dest, pdf_obj* page, bool byName) {
    dest = pdf_resolve_indirect(ctx, dest);
    if (byName && (pdf_is_name(ctx, dest) || pdf_is_string(ctx, dest))) {
        dest = pdf_resolve_indirect(ctx, pdf_lookup_dest(ctx, doc, dest));
    }
    if (pdf_is_dict(ctx, dest)) {
        dest = pdf_resolve_indirect(ctx, pdf_dict_get(ctx, dest, PDF_NAME(D)));
    }
    return pdf_is_array(ctx, dest) &&
           pdf_resolve_indirect(ctx, pdf_array_get(ctx, dest, 0)) == page;
}

// Inside fz_try only: an outline item's or a link's /Dest or GoTo action leads to `page`.
bool targets(fz_context* ctx, pdf_document* doc, pdf_obj* dict, pdf_obj* page) {
    if (leadsTo(ctx, doc, pdf_dict_get(ctx, dict, PDF_NAME(Dest)), page, true)) {
        return true;
    }
    pdf_obj* action = pdf_dict_get(ctx, dict, PDF_NAME(A));
    return pdf_name_eq(ctx, pdf_dict_get(ctx, action, PDF_NAME(S)), PDF_NAME(GoTo)) &&
           leadsTo(ctx, doc, pdf_dict_get(ctx, action, PDF_NAME(D)), page, true);
}

// Inside fz_try only. Takes an outline item out of its parent's list of children.
void unlinkItem(fz_context* ctx, pdf_obj* parent, pdf_obj* item) {
    pdf_obj* prev = pdf_dict_get(ctx, item, PDF_NAME(Prev));
    pdf_obj* next = pdf_dict_get(ctx, item, PDF_NAME(Next));
    if (prev) {
        if (next) {
            pdf_dict_put(ctx, prev, PDF_NAME(Next), next);
        } else {
            pdf_dict_del(ctx, prev, PDF_NAME(Next));
        }
    } else if (next) {
        pdf_dict_put(ctx, parent, PDF_NAME(First), next);
    } else {
        pdf_dict_del(ctx, parent, PDF_NAME(First));
    }
    if (next) {
        if (prev) {
            pdf_dict_put(ctx, next, PDF_NAME(Prev), prev);
        } else {
            pdf_dict_del(ctx, next, PDF_NAME(Prev));
        }
    } else if (prev) {
        pdf_dict_put(ctx, parent, PDF_NAME(Last), prev);
    } else {
        pdf_dict_del(ctx, parent, PDF_NAME(Last));
    }
    const int count = pdf_dict_get_int(ctx, parent, PDF_NAME(Count));
    if (count != 0) {
        pdf_dict_put_int(ctx, parent, PDF_NAME(Count), count > 0 ? count - 1 : count + 1);
    }
}

// Inside fz_try only. `budget` bounds the walk of a looping outline.
void cleanOutline(fz_context* ctx, pdf_document* doc, pdf_obj* parent, pdf_obj* page, int depth,
                  int* budget) {
    pdf_obj* item = pdf_resolve_indirect(ctx, pdf_dict_get(ctx, parent, PDF_NAME(First)));
    while (pdf_is_dict(ctx, item) && (*budget)-- > 0) {
        pdf_obj* next = pdf_resolve_indirect(ctx, pdf_dict_get(ctx, item, PDF_NAME(Next)));
        if (depth < kMaxDepth) {
            cleanOutline(ctx, doc, item, page, depth + 1, budget);
        }
        if (targets(ctx, doc, item, page)) {
            if (pdf_dict_get(ctx, item, PDF_NAME(First))) {
                pdf_dict_del(ctx, item, PDF_NAME(Dest));
                pdf_dict_del(ctx, item, PDF_NAME(A));
            } else {
                unlinkItem(ctx, parent, item);
            }
        }
        item = next;
    }
}

// Inside fz_try only: drops the entries of a /Dests name tree that lead to `page`.
void cleanNameTree(fz_context* ctx, pdf_document* doc, pdf_obj* node, pdf_obj* page, int depth) {
    node = pdf_resolve_indirect(ctx, node);
    if (!pdf_is_dict(ctx, node) || depth > kMaxDepth) {
        return;
    }
    pdf_obj* names = pdf_dict_get(ctx, node, PDF_NAME(Names));
    for (int i = (pdf_array_len(ctx, names) & ~1) - 2; i >= 0; i -= 2) {
        if (leadsTo(ctx, doc, pdf_array_get(ctx, names, i + 1), page, false)) {
            pdf_array_delete(ctx, names, i + 1);
            pdf_array_delete(ctx, names, i);
        }
    }
    pdf_obj* kids = pdf_dict_get(ctx, node, PDF_NAME(Kids));
    for (int i = 0, n = pdf_array_len(ctx, kids); i < n; ++i) {
        cleanNameTree(ctx, doc, pdf_array_get(ctx, kids, i), page, depth + 1);
    }
}

// Inside fz_try only.
// `pages` holds the document's page objects by index, or nothing when they are to be looked
// up one by one.
void cleanDestinations(fz_context* ctx, pdf_document* doc, pdf_obj* root, pdf_obj* page,
                       const std::vector<pdf_obj*>& pages) {
    int budget = 1 << 20;
    pdf_obj* outlines = pdf_resolve_indirect(ctx, pdf_dict_get(ctx, root, PDF_NAME(Outlines)));
    if (pdf_is_dict(ctx, outlines)) {
        cleanOutline(ctx, doc, outlines, page, 0, &budget);
    }

    pdf_obj* open = pdf_dict_gets(ctx, root, kOpenAction);
    if (leadsTo(ctx, doc, open, page, true) ||
        (pdf_is_dict(ctx, pdf_resolve_indirect(ctx, open)) && targets(ctx, doc, open, page))) {
        pdf_dict_dels(ctx, root, kOpenAction);
    }

    const int count = pdf_count_pages(ctx, doc);
    for (int p = 0; p < count; ++p) {
        if (p % 1024 == 0 && mu::limitReached()) {
            fz_throw(ctx, FZ_ERROR_GENERIC, "stopped by a limit");
        }
        pdf_obj* pageObj = std::size_t(p) < pages.size() ? pages[std::size_t(p)]
                                                         : pdf_lookup_page_obj(ctx, doc, p);
        pdf_obj* annots = pdf_resolve_indirect(ctx, pdf_dict_get(ctx, pageObj, PDF_NAME(Annots)));
        for (int i = pdf_array_len(ctx, annots) - 1; i >= 0; --i) {
            pdf_obj* annot = pdf_resolve_indirect(ctx, pdf_array_get(ctx, annots, i));
            if (pdf_name_eq(ctx, pdf_dict_get(ctx, annot, PDF_NAME(Subtype)), PDF_NAME(Link)) &&
                targets(ctx, doc, annot, page)) {
                pdf_array_delete(ctx, annots, i);
            }
        }
    }

    // Named destinations go last: the links and outline entries above look names up.
    pdf_obj* dests = pdf_resolve_indirect(ctx, pdf_dict_get(ctx, root, PDF_NAME(Dests)));
    for (int i = pdf_dict_len(ctx, dests) - 1; i >= 0; --i) {
        if (leadsTo(ctx, doc, pdf_dict_get_val(ctx, dests, i), page, false)) {
            pdf_dict_del(ctx, dests, pdf_dict_get_key(ctx, dests, i));
        }
    }
    cleanNameTree(ctx, doc,
                  pdf_dict_get(ctx, pdf_dict_get(ctx, root, PDF_NAME(Names)), PDF_NAME(Dests)),
                  page, 0);
}

// Inside fz_try only: the number tree's entries in order, as key, value pairs.
void flattenNumberTree(fz_context* ctx, pdf_obj* node, pdf_obj* flat, int depth) {
    node = pdf_resolve_indirect(ctx, node);
    if (!pdf_is_dict(ctx, node) || depth > kMaxDepth) {
        return;
    }
    pdf_obj* nums = pdf_dict_get(ctx, node, PDF_NAME(Nums));
    for (int i = 0; i + 1 < pdf_array_len(ctx, nums); i += 2) {
        pdf_array_push(ctx, flat, pdf_array_get(ctx, nums, i));
        pdf_array_push(ctx, flat, pdf_array_get(ctx, nums, i + 1));
    }
    pdf_obj* kids = pdf_dict_get(ctx, node, PDF_NAME(Kids));
    for (int i = 0, n = pdf_array_len(ctx, kids); i < n; ++i) {
        flattenNumberTree(ctx, pdf_array_get(ctx, kids, i), flat, depth + 1);
    }
}

// Inside fz_try only. Ranges after the deleted page move up by one; the page that
// followed it, when its range began earlier, starts a range of its own that goes on
// counting where it was.
void renumberLabels(fz_context* ctx, pdf_document* doc, pdf_obj* root, int index, int oldCount) {
    if (!pdf_is_dict(ctx, pdf_resolve_indirect(ctx, pdf_dict_gets(ctx, root, kPageLabels)))) {
        return;
    }
    pdf_obj* flat = nullptr;
    pdf_obj* nums = nullptr;
    fz_var(flat);
    fz_var(nums);
    fz_try(ctx) {
        flat = pdf_new_array(ctx, doc, 16);
        flattenNumberTree(ctx, pdf_dict_gets(ctx, root, kPageLabels), flat, 0);
        const int n = pdf_array_len(ctx, flat) & ~1;
        int coverStart = -1;
        pdf_obj* cover = nullptr;
        for (int i = 0; i < n; i += 2) {
            const int start = pdf_to_int(ctx, pdf_array_get(ctx, flat, i));
            if (start <= index + 1 && start >= coverStart) {
                coverStart = start;
                cover = pdf_resolve_indirect(ctx, pdf_array_get(ctx, flat, i + 1));
            }
        }
        const bool split = index + 1 < oldCount && pdf_is_dict(ctx, cover) && coverStart <= index;
        bool inserted = !split;
        nums = pdf_new_array(ctx, doc, n + 2);
        auto insertContinued = [&] {
            pdf_obj* continued = pdf_copy_dict(ctx, cover);
            pdf_array_push_int(ctx, nums, index);
            pdf_array_push_drop(ctx, nums, continued);
            const int first = pdf_dict_gets(ctx, cover, kSt)
                                  ? pdf_to_int(ctx, pdf_dict_gets(ctx, cover, kSt))
                                  : 1;
            pdf_dict_puts_drop(ctx, continued, kSt,
                               pdf_new_int(ctx, first + (index + 1 - coverStart)));
            inserted = true;
        };
        for (int i = 0; i < n; i += 2) {
            const int start = pdf_to_int(ctx, pdf_array_get(ctx, flat, i));
            pdf_obj* value = pdf_array_get(ctx, flat, i + 1);
            if (start > index && !inserted) {
                insertContinued();
            }
            if (start < index) {
                pdf_array_push_int(ctx, nums, start);
                pdf_array_push(ctx, nums, value);
            } else if (start > index) {
                pdf_array_push_int(ctx, nums, start - 1);
                pdf_array_push(ctx, nums, value);
            }
        }
        if (!inserted) {
            insertContinued();
        }
        pdf_obj* labels = pdf_new_dict(ctx, doc, 1);
        pdf_dict_puts_drop(ctx, root, kPageLabels, labels);
        pdf_dict_put(ctx, labels, PDF_NAME(Nums), nums);
    }
    fz_always(ctx) {
        pdf_drop_obj(ctx, flat);
        pdf_drop_obj(ctx, nums);
    }
    fz_catch(ctx) {
        fz_rethrow(ctx);
    }
}

// Inside fz_try only. MuPDF's deletion walks up the /Parent chain from the node that holds
// the page, with no end on a chain that loops: the page must sit in its parent's /Kids
// and the chain must reach the root in a bounded number of distinct steps.
bool soundParentChain(fz_context* ctx, pdf_obj* page) {
    pdf_obj* seen[kMaxDepth + 1] = {};
    pdf_obj* node = pdf_resolve_indirect(ctx, pdf_dict_get(ctx, page, PDF_NAME(Parent)));
    pdf_obj* kids = pdf_dict_get(ctx, node, PDF_NAME(Kids));
    bool listed = false;
    for (int i = 0, n = pdf_array_len(ctx, kids); i < n && !listed; ++i) {
        listed = pdf_resolve_indirect(ctx, pdf_array_get(ctx, kids, i)) == page;
    }
    if (!listed) {
        return false;
    }
    for (int depth = 0; node; ++depth) {
        if (depth > kMaxDepth || !pdf_is_dict(ctx, node)) {
            return false;
        }
        for (int i = 0; i < depth; ++i) {
            if (seen[i] == node) {
                return false;
            }
        }
        seen[depth] = node;
        node = pdf_resolve_indirect(ctx, pdf_dict_get(ctx, node, PDF_NAME(Parent)));
    }
    return true;
}

} // namespace

bool deletePageAndReferences(fz_context* ctx, pdf_document* doc, int index) {
    int oldCount = 0;
    pdf_obj* page = nullptr;
    pdf_obj* root = nullptr;
    bool ok = mu::attempt(ctx, [&] {
        oldCount = pdf_count_pages(ctx, doc);
        page = pdf_keep_obj(ctx, pdf_resolve_indirect(ctx, pdf_lookup_page_obj(ctx, doc, index)));
        if (!soundParentChain(ctx, page)) {
            fz_throw(ctx, FZ_ERROR_GENERIC, "the page tree is damaged");
        }
        root = pdf_dict_get(ctx, pdf_trailer(ctx, doc), PDF_NAME(Root));
        pdf_delete_page(ctx, doc, index);
    });
    // The pages that are left, found in one walk of the tree rather than a walk each.
    const std::vector<pdf_obj*> pages =
        ok ? mu::walkPageTree(ctx, doc, oldCount - 1) : std::vector<pdf_obj*>();
    ok = ok && mu::attempt(ctx, [&] {
             cleanDestinations(ctx, doc, root, page, pages);
             renumberLabels(ctx, doc, root, index, oldCount);
         });
    pdf_drop_obj(ctx, page);
    return ok;
}

} // namespace ombrix::pdfkit::mu
