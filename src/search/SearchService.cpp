#include "search/SearchService.h"

#include "document/PDFDocument.h"
#include "pdfkit/Document.h"
#include "pdfkit/Page.h"

#include <cstddef>
#include <memory>

namespace ombrix {

std::vector<SearchResult> SearchService::search(const std::string& query,
                                                const PDFDocument& document) const {
    if (!document.handle) {
        return {};
    }
    const pdfkit::Document& engine = *document.handle;
    const int pageCount = engine.pageCount();
    if (pageCount <= 0) {
        return {};
    }

    const std::vector<pdfkit::Selection> occurrences = engine.find(query, true);

    // One pass over the occurrences, bucketed by page, instead of one pass per page;
    // each bucket keeps the engine's order.
    std::vector<std::vector<std::size_t>> byPage(static_cast<std::size_t>(pageCount));
    for (std::size_t i = 0; i < occurrences.size(); ++i) {
        for (const auto& page : occurrences[i].pages()) {
            if (!page) {
                continue;
            }
            const auto index = engine.indexOf(*page);
            if (index && *index >= 0 && *index < pageCount) {
                byPage[static_cast<std::size_t>(*index)].push_back(i);
            }
        }
    }

    std::vector<SearchResult> results;
    for (int index = 0; index < pageCount; ++index) {
        const std::shared_ptr<pdfkit::Page> page = engine.page(index);
        if (!page) {
            continue;
        }
        for (std::size_t i : byPage[static_cast<std::size_t>(index)]) {
            const pdfkit::Selection& occurrence = occurrences[i];
            results.emplace_back(index, occurrence.string().value_or(query),
                                 occurrence.bounds(*page));
        }
    }
    return results;
}

} // namespace ombrix
