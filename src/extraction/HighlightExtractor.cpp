#include "extraction/HighlightExtractor.h"

#include "annotations/HighlightNote.h"
#include "core/HtmlEscape.h"
#include "document/PDFKitBridge.h"
#include "extraction/HighlightText.h"
#include "extraction/TableMarkup.h"
#include "pdfkit/AnnotationSubtype.h"
#include "pdfkit/Document.h"
#include "pdfkit/Page.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <functional>
#include <string_view>

namespace ombrix::HighlightExtractor {

namespace {

using pdfkit::Subtype;
constexpr std::array<Subtype, 5> kKinds{Subtype::highlight, Subtype::underline, Subtype::strikeOut,
                                        Subtype::squiggly, Subtype::square};

bool isCollected(std::string type) {
    std::erase(type, '/');
    const auto subtype = pdfkit::subtypeNamed(type);
    return subtype && std::find(kKinds.begin(), kKinds.end(), *subtype) != kKinds.end();
}

// A table from the table action or a LaTeX formula from the formula action.
bool isResult(const std::string& contents) {
    return contents.find("<table") != std::string::npos ||
           contents.find("\\(") != std::string::npos;
}

// Markdown readers show inline HTML as HTML: text from the page or a note keeps its
// characters but no tag or entity of its own.
std::string markdownText(const std::string& text) {
    return escapeHTML(text, false);
}

// A table result stays a table, as our writer writes it; anything else is text.
std::string markdownResult(const std::string& result) {
    return note::looksLikeTable(result) ? table::sanitizeHTML(result) : markdownText(result);
}

} // namespace

std::vector<ExtractedHighlight> collectPageHighlights(const pdfkit::Page& page, int pageNumber) {
    std::vector<ExtractedHighlight> list;
    for (const auto& annotation : page.annotations()) {
        if (!isCollected(annotation->type())) {
            continue;
        }
        const Rect bounds = annotation->bounds();
        const auto contents = annotation->contents();

        std::string text;
        if (auto selection = page.selection(bounds);
            selection && selection->string() && !selection->string()->empty()) {
            text = *selection->string();
        } else if (contents) {
            text = *contents;
        }

        ExtractedHighlight entry;
        entry.id = std::to_string(pageNumber) + "-" +
                   std::to_string(std::hash<const pdfkit::Annotation*>{}(annotation.get()));
        entry.text = collapseWhitespace(text);
        entry.bounds = bounds;
        entry.color = annotation->color().value_or(kDefaultHighlightColor);
        auto stored = note::read(*annotation, isResult);
        entry.comment = std::move(stored.comment);
        entry.resultData = std::move(stored.result);
        entry.pageNumber = pageNumber;
        list.push_back(std::move(entry));
    }
    std::stable_sort(list.begin(), list.end(), [](const auto& a, const auto& b) {
        if (a.bounds.minY() != b.bounds.minY()) {
            return a.bounds.minY() > b.bounds.minY();
        }
        return a.bounds.minX() < b.bounds.minX();
    });
    return list;
}

HighlightsByPage collectDocumentHighlights(const pdfkit::Document& document) {
    HighlightsByPage byPage;
    for (int index = 0; index < document.pageCount(); ++index) {
        auto page = document.page(index);
        if (!page) {
            continue;
        }
        auto list = collectPageHighlights(*page, index + 1);
        if (!list.empty()) {
            byPage.emplace(index + 1, std::move(list));
        }
    }
    return byPage;
}

HighlightsByPage collectDocumentHighlights(const PDFDocument& document) {
    auto engine = PDFKitBridge::engineDocument(document);
    return engine ? collectDocumentHighlights(*engine) : HighlightsByPage{};
}

std::string colorCode(const Color& color) {
    const std::array<double, 3> components{color.red, color.green, color.blue};
    std::array<int, 3> bytes{};
    for (std::size_t i = 0; i < components.size(); ++i) {
        if (!std::isfinite(components[i])) {
            return "#FFFF00";
        }
        // Device RGB holds 0…1; a wider value would print more than two digits.
        bytes[i] = static_cast<int>(std::clamp(components[i], 0.0, 1.0) * 255);
    }
    std::array<char, 8> code{};
    std::snprintf(code.data(), code.size(), "#%02X%02X%02X", bytes[0], bytes[1], bytes[2]);
    return code.data();
}

std::string markdownDigest(const HighlightsByPage& highlights, const std::string& title) {
    std::string md = "# Highlights from " + markdownText(title) + "\n\n";
    for (const auto& [pageNumber, list] : highlights) {
        md += "## Page " + std::to_string(pageNumber) + "\n\n";
        for (const auto& h : list) {
            if (h.text.empty()) {
                continue;
            }
            md += "> [!" + colorCode(h.color) + "] Highlight\n";
            md += "> " + markdownText(h.text) + "\n";
            if (h.comment && !h.comment->empty()) {
                md += "> \n> **Comment:** " + markdownText(*h.comment) + "\n";
            }
            if (h.resultData && !h.resultData->empty()) {
                md += "> \n> **Result:** " + markdownResult(*h.resultData) + "\n";
            }
            md += "\n";
        }
    }
    return md;
}

std::size_t totalCount(const HighlightsByPage& highlights) {
    std::size_t total = 0;
    for (const auto& [pageNumber, list] : highlights) {
        total += list.size();
    }
    return total;
}

} // namespace ombrix::HighlightExtractor
