#include "cli/AnnotationIds.h"

#include "annotations/AnnotationService.h"
#include "cli/Command.h"
#include "cli/JsonOutput.h"
#include "core/Error.h"
#include "document/PDFKitBridge.h"
#include "pdfkit/Annotation.h"
#include "pdfkit/Document.h"
#include "pdfkit/Page.h"

#include <charconv>
#include <unordered_map>

namespace ombrix::cli {

std::vector<IdentifiedAnnotation> identifyAnnotations(const pdfkit::Document& document) {
    std::vector<IdentifiedAnnotation> all;
    std::unordered_map<std::string, int> uses;
    for (int i = 0; i < document.pageCount(); ++i) {
        auto page = document.page(i);
        if (!page) {
            continue;
        }
        int position = 0;
        for (const auto& annotation : page->annotations()) {
            ++position;
            auto name = annotation->name();
            if (name && !name->empty()) {
                ++uses[*name];
            }
            all.push_back(IdentifiedAnnotation{
                name && !name->empty() ? *name
                                       : std::to_string(i + 1) + "-" + std::to_string(position),
                i, annotation});
        }
    }
    // A name two annotations share names neither: both go by their place.
    std::unordered_map<int, int> positions;
    for (auto& entry : all) {
        const int position = ++positions[entry.pageIndex];
        if (auto it = uses.find(entry.id); it != uses.end() && it->second > 1) {
            entry.id = std::to_string(entry.pageIndex + 1) + "-" + std::to_string(position);
        }
    }
    return all;
}

IdentifiedAnnotation findAnnotation(const pdfkit::Document& document, std::string_view id) {
    auto all = identifyAnnotations(document);
    for (auto& entry : all) {
        if (entry.id == id) {
            return entry;
        }
    }
    // "PAGE-N" finds an annotation by its place whether it has a name or not.
    int page = 0, position = 0;
    const auto dash = id.find('-');
    if (dash != std::string_view::npos) {
        const auto* begin = id.data();
        const auto [pageEnd, pageError] = std::from_chars(begin, begin + dash, page);
        const auto [end, error] = std::from_chars(begin + dash + 1, begin + id.size(), position);
        if (pageError == std::errc() && pageEnd == begin + dash && error == std::errc() &&
            end == begin + id.size()) {
            int seen = 0;
            for (auto& entry : all) {
                if (entry.pageIndex == page - 1 && ++seen == position) {
                    return entry;
                }
            }
        }
    }
    throw Error("ombrix", kExitFailure,
                "no annotation has the id '" + std::string(id) +
                    "' (run 'ombrix annotations' for the ids)");
}

std::string idOf(const pdfkit::Document& document, const pdfkit::Annotation& annotation) {
    for (const auto& entry : identifyAnnotations(document)) {
        if (entry.annotation.get() == &annotation) {
            return entry.id;
        }
    }
    return {};
}

void addAnnotationFields(nlohmann::ordered_json& item, const IdentifiedAnnotation& annotation) {
    item["id"] = annotation.id;
    item["page"] = annotation.pageIndex + 1;
    addAnnotationFields(item,
                        AnnotationService::recordOf(annotation.annotation, annotation.pageIndex));
}

IdentifiedAnnotation findToMark(const pdfkit::Document& document, std::string_view id) {
    IdentifiedAnnotation found = findAnnotation(document, id);
    refuseMarkup(document);
    return found;
}

void refuseMarkup(const pdfkit::Document& document) {
    if (auto refusal = document.markupRefusal()) {
        throw Error("ombrix", kExitFailure, *refusal);
    }
}

} // namespace ombrix::cli
