#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "search/SearchResult.h"

#include <string>
#include <vector>

namespace ombrix {

class PDFDocument;

// Every occurrence of a query in a document, one result per occurrence and page it
// touches, ordered by page and then by the engine's order. Stateless; never fails.
class SearchService {
public:
    std::vector<SearchResult> search(const std::string& query, const PDFDocument& document) const;
};

} // namespace ombrix

OMBRIX_API_END
