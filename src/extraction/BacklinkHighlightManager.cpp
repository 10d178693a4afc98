#include "extraction/BacklinkHighlightManager.h"

#include "annotations/AnnotationCommands.h"
#include "annotations/HighlightNote.h"
#include "core/Executor.h"
#include "document/PDFKitBridge.h"
#include "extraction/HighlightText.h"
#include "pdfkit/AnnotationSubtype.h"
#include "pdfkit/Document.h"
#include "pdfkit/Page.h"
#include "tabs/TabSession.h"

#include <algorithm>
#include <array>
#include <functional>
#include <string_view>

namespace ombrix {

namespace {

using pdfkit::Subtype;
constexpr std::array<Subtype, 6> kKinds{Subtype::highlight, Subtype::underline, Subtype::strikeOut,
                                        Subtype::squiggly,  Subtype::square,    Subtype::circle};

bool isListed(std::string type) {
    std::erase(type, '/');
    const auto subtype = pdfkit::subtypeNamed(type);
    return subtype && std::find(kKinds.begin(), kKinds.end(), *subtype) != kKinds.end();
}

std::string entryId(int pageIndex, const Rect& b, const std::string& text) {
    return std::to_string(pageIndex) + "_" + shortestDecimal(b.x) + "_" + shortestDecimal(b.y) +
           "_" + shortestDecimal(b.width) + "_" + shortestDecimal(b.height) + "_" +
           std::to_string(std::hash<std::string>{}(text));
}

std::shared_ptr<pdfkit::Page> pageOf(const TabSession& tab, int pageNumber) {
    auto engine = tab.document ? PDFKitBridge::engineDocument(*tab.document) : nullptr;
    return engine ? engine->page(pageNumber - 1) : nullptr;
}

bool overlapsOrEquals(const Rect& a, const Rect& b) {
    return a == b || a.intersects(b);
}

// The annotation an entry stands for: the very one it was read from while it is on the
// page; for an entry made elsewhere, a listed kind at its bounds, else over them.
std::shared_ptr<pdfkit::Annotation> targetOf(const ExtractedHighlight& highlight,
                                             const pdfkit::Page& page) {
    const auto annotations = page.annotations();
    if (highlight.annotation) {
        const bool onPage = std::find(annotations.begin(), annotations.end(),
                                      highlight.annotation) != annotations.end();
        return onPage ? highlight.annotation : nullptr;
    }
    std::shared_ptr<pdfkit::Annotation> overlapping;
    for (const auto& a : annotations) {
        if (!isListed(a->type())) {
            continue;
        }
        const Rect b = a->bounds();
        if (b == highlight.bounds) {
            return a;
        }
        if (!overlapping && b.intersects(highlight.bounds)) {
            overlapping = a;
        }
    }
    return overlapping;
}

} // namespace

BacklinkHighlightManager::BacklinkHighlightManager(std::shared_ptr<Logging> log)
    : log_(std::move(log)) {}

void BacklinkHighlightManager::publish(std::vector<ExtractedHighlight> list) {
    extractedHighlights.set(std::move(list));
    refreshTrigger.set(Uuid::random());
}

void BacklinkHighlightManager::refreshHighlights(const PDFDocument& document) {
    std::vector<ExtractedHighlight> list;
    if (auto engine = PDFKitBridge::engineDocument(document)) {
        for (int index = 0; index < engine->pageCount(); ++index) {
            auto page = engine->page(index);
            if (!page) {
                continue;
            }
            for (const auto& annotation : page->annotations()) {
                if (!isListed(annotation->type())) {
                    continue;
                }
                const Rect bounds = annotation->bounds();
                const auto contents = annotation->contents();
                std::string text = contents.value_or("");
                std::string pageText;
                if (auto selection = page->selection(bounds);
                    selection && selection->string() && !selection->string()->empty()) {
                    text = pageText = *selection->string();
                }

                ExtractedHighlight entry;
                entry.id = entryId(index, bounds, text);
                if (std::any_of(list.begin(), list.end(),
                                [&](const auto& e) { return e.id == entry.id; })) {
                    continue;
                }
                entry.text = text.empty() ? "Annotation" : text;
                entry.bounds = bounds;
                entry.color = annotation->color().value_or(kDefaultHighlightColor);
                auto stored = note::read(*annotation, note::looksLikeTable);
                entry.comment = std::move(stored.comment);
                // A highlight made from a selection carries its text as its contents: that is
                // the text again, not a comment of the user's.
                if (entry.comment && !pageText.empty() &&
                    annotationContentFromPageText(*entry.comment) ==
                        annotationContentFromPageText(pageText)) {
                    entry.comment.reset();
                }
                entry.resultData = std::move(stored.result);
                entry.pageNumber = index + 1;
                entry.annotation = annotation;
                list.push_back(std::move(entry));
            }
        }
    }
    publish(std::move(list));
}

void BacklinkHighlightManager::updateHighlight(const ExtractedHighlight& highlight) {
    auto list = extractedHighlights.get();
    auto it =
        std::find_if(list.begin(), list.end(), [&](const auto& e) { return e.id == highlight.id; });
    if (it == list.end()) {
        return;
    }
    *it = highlight;
    publish(std::move(list));
}

void BacklinkHighlightManager::removeHighlight(const ExtractedHighlight& highlight,
                                               TabSession& tab) {
    mainQueue().post([this, alive = std::weak_ptr<bool>(alive_), id = highlight.id] {
        if (alive.expired()) {
            return;
        }
        auto list = extractedHighlights.get();
        std::erase_if(list, [&](const auto& e) { return e.id == id; });
        publish(std::move(list));
    });

    auto page = pageOf(tab, highlight.pageNumber);
    if (!page) {
        return;
    }
    for (const auto& annotation : page->annotations()) {
        if (!overlapsOrEquals(annotation->bounds(), highlight.bounds)) {
            continue;
        }
        const auto contents = annotation->contents();
        const bool matches = (contents && *contents == highlight.text) ||
                             (highlight.comment && contents && *contents == *highlight.comment) ||
                             (!contents && !highlight.comment) ||
                             annotation->color() == highlight.color;
        if (!matches) {
            continue;
        }
        page->removeAnnotation(annotation);
        tab.document->markDirty();
        log_->info("✅ Removed highlight from PDF page " + std::to_string(highlight.pageNumber));
        return;
    }
}

void BacklinkHighlightManager::dropMatching(const std::string& text, int pageNumber,
                                            const Rect& rect) {
    mainQueue().post([this, alive = std::weak_ptr<bool>(alive_), text, pageNumber, rect] {
        if (alive.expired()) {
            return;
        }
        const Rect widened = rect.insetBy(-0.5, -0.5);
        auto list = extractedHighlights.get();
        std::erase_if(list, [&](const auto& e) {
            return e.pageNumber == pageNumber &&
                   (e.bounds.intersects(widened) || e.bounds == rect) &&
                   (text.empty() || e.text == text);
        });
        publish(std::move(list));
    });
}

void BacklinkHighlightManager::saveToAnnotation(const ExtractedHighlight& highlight,
                                                TabSession& tab) {
    auto page = pageOf(tab, highlight.pageNumber);
    if (!page) {
        return;
    }
    auto annotation = targetOf(highlight, *page);
    if (!annotation) {
        return;
    }
    if (highlight.resultData && !highlight.resultData->empty()) {
        note::writeResult(*annotation, *highlight.resultData, highlight.comment,
                          note::looksLikeTable);
    } else if (highlight.comment && !highlight.comment->empty()) {
        note::writeComment(*annotation, *highlight.comment, note::looksLikeTable);
    }
    if (annotation->color() != highlight.color) {
        annotation->setColor(highlight.color);
        // Only a fill the annotation has follows the colour: a highlight or an outline
        // given one would cover what it marks.
        if (annotation->interiorColor()) {
            annotation->setInteriorColor(highlight.color.withAlpha(0.5));
        }
    }
    tab.document->markDirty();
}

} // namespace ombrix
