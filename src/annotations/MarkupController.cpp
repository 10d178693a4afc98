#include "annotations/MarkupController.h"

#include "annotations/AnnotationCommands.h"
#include "annotations/AnnotationRecord.h"
#include "annotations/AnnotationService.h"
#include "annotations/AppUndoManager.h"
#include "annotations/CompositeCommand.h"
#include "annotations/EditAnnotationsCommand.h"
#include "annotations/HighlightNote.h"
#include "annotations/MarkedDocument.h"
#include "annotations/PageMarkupCommand.h"
#include "core/UnicodeText.h"
#include "core/UserInteraction.h"
#include "document/PDFDocument.h"
#include "document/PDFKitBridge.h"
#include "pdfkit/Annotation.h"
#include "pdfkit/Document.h"
#include "pdfkit/Page.h"
#include "pdfkit/Selection.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace ombrix {

namespace {

// The comment and the result as the sidebar reads them.
note::HighlightNote noteOf(const pdfkit::Annotation& annotation) {
    return note::read(annotation, note::looksLikeTable);
}

std::string pageTextUnder(const pdfkit::Page& page, const Rect& bounds) {
    auto selection = page.selection(bounds);
    return selection && selection->string() ? annotationContentFromPageText(*selection->string())
                                            : std::string();
}

AnnotationRecord recordFor(const std::shared_ptr<pdfkit::Annotation>& annotation, int pageIndex,
                           AnnotationType type, std::optional<std::string> content,
                           const Color& colour) {
    AnnotationAppearance look = AnnotationRecord::defaultAppearance(type);
    // The engine colour's alpha is the annotation's opacity.
    look.color = colour.withAlpha(1);
    look.opacity = colour.alpha;
    if (auto fill = annotation->interiorColor()) {
        look.interiorColor = *fill;
    } else {
        look.interiorColor.reset();
    }
    return AnnotationRecord(Uuid::random(), pageIndex, type, annotation->bounds(),
                            std::move(content), look, annotation);
}

// Colours read back from a file are rounded: these count as the same.
bool sameRgb(const std::optional<Color>& a, const std::optional<Color>& b) {
    if (!a || !b) {
        return a.has_value() == b.has_value();
    }
    constexpr double kTolerance = 1.0 / 255;
    return std::abs(a->red - b->red) <= kTolerance && std::abs(a->green - b->green) <= kTolerance &&
           std::abs(a->blue - b->blue) <= kTolerance && std::abs(a->alpha - b->alpha) <= kTolerance;
}

// Half or more of the highlight lies in the region: a region drawn with a generous margin
// around one line must not take the neighbouring lines' highlights with it.
bool isMostlyUnder(const Rect& highlight, const Rect& region) {
    const Rect h = highlight.standardized();
    if (!h.intersects(region)) {
        return false;
    }
    const Rect common = h.intersection(region);
    const double area = h.width * h.height;
    return area <= 0 || common.width * common.height >= 0.5 * area;
}

// A colour in the palette entry's red, green and blue at another's opacity.
Color withRgbOf(const Color& colour, const Color& keepingAlphaOf) {
    return Color{colour.red, colour.green, colour.blue, keepingAlphaOf.alpha};
}

// One step that puts one new annotation on its page, nothing replaced.
std::shared_ptr<UndoableCommand> adding(const std::shared_ptr<MarkedDocument>& tab,
                                        const std::shared_ptr<pdfkit::Page>& page,
                                        AnnotationRecord added) {
    return std::make_shared<PageMarkupCommand>(
        tab->document, page, std::vector<std::shared_ptr<pdfkit::Annotation>>{},
        std::vector<AnnotationRecord>{std::move(added)}, tab);
}

// A page of the tab's own document (a page of another tab's document is not).
bool isPage(const std::shared_ptr<pdfkit::Page>& page, const std::shared_ptr<MarkedDocument>& tab) {
    return page && tab && tab->document &&
           page->document() == PDFKitBridge::engineDocument(*tab->document);
}

} // namespace

MarkupController::MarkupController(std::shared_ptr<AppUndoManager> undoManager,
                                   std::shared_ptr<UserInteraction> userInteraction)
    : undo_(std::move(undoManager)), user_(std::move(userInteraction)) {}

bool MarkupController::refused(const std::shared_ptr<MarkedDocument>& tab) const {
    auto engine = tab && tab->document ? PDFKitBridge::engineDocument(*tab->document) : nullptr;
    auto refusal = engine ? engine->markupRefusal() : std::nullopt;
    if (!refusal) {
        return false;
    }
    // Said, never silent: the gesture did nothing for a reason the user can act on.
    if (user_) {
        user_->showAlert("Cannot mark up \u201c" + tab->document->name + "\u201d", *refusal,
                         AlertStyle::warning);
    }
    return true;
}

std::optional<HighlightColor> MarkupController::toolColour(HighlightTool tool) {
    const auto& palette = HighlightColor::defaults();
    auto named = [&](const char* id) -> std::optional<HighlightColor> {
        for (const auto& entry : palette) {
            if (entry.id == id) {
                return entry;
            }
        }
        return std::nullopt;
    };
    switch (tool) {
    case HighlightTool::none:
        return std::nullopt;
    case HighlightTool::text:
        return named("blue");
    case HighlightTool::crop:
        return named("purple");
    case HighlightTool::orange:
        return named("yellow");
    }
    return std::nullopt;
}

const HighlightColor& MarkupController::nearestPaletteEntry(const Color& colour) {
    // By hue: light green is green however pale it is written; a colour too grey to have a
    // hue goes by its nearest red, green and blue.
    auto hueAndSaturation = [](const Color& c) {
        const double high = std::max({c.red, c.green, c.blue});
        const double low = std::min({c.red, c.green, c.blue});
        const double span = high - low;
        double hue = 0;
        if (span > 0) {
            if (high == c.red) {
                hue = std::fmod((c.green - c.blue) / span + 6, 6);
            } else if (high == c.green) {
                hue = (c.blue - c.red) / span + 2;
            } else {
                hue = (c.red - c.green) / span + 4;
            }
        }
        return std::pair<double, double>{hue * 60, high > 0 ? span / high : 0};
    };
    const auto [hue, saturation] = hueAndSaturation(colour);
    const bool grey = saturation < 0.15;
    const auto& palette = HighlightColor::defaults();
    const HighlightColor* best = &palette.front();
    double bestDistance = std::numeric_limits<double>::infinity();
    for (const auto& entry : palette) {
        const Color& c = entry.nsColor;
        double d = 0;
        if (grey) {
            d = std::pow(c.red - colour.red, 2) + std::pow(c.green - colour.green, 2) +
                std::pow(c.blue - colour.blue, 2);
        } else {
            const double apart = std::abs(hueAndSaturation(c).first - hue);
            d = std::min(apart, 360 - apart);
        }
        if (d < bestDistance) {
            bestDistance = d;
            best = &entry;
        }
    }
    return *best;
}

std::optional<std::string>
joinedComments(const std::vector<std::shared_ptr<pdfkit::Annotation>>& replaced,
               const pdfkit::Page& page) {
    std::vector<std::string> comments;
    for (const auto& annotation : replaced) {
        const auto stored = noteOf(*annotation);
        if (!stored.comment) {
            continue;
        }
        const std::string comment = trimmingWhitespaceAndNewlines(*stored.comment);
        // A highlight made from a selection carries its text; that is not a comment.
        if (comment.empty() || comment == pageTextUnder(page, annotation->bounds())) {
            continue;
        }
        if (std::find(comments.begin(), comments.end(), comment) == comments.end()) {
            comments.push_back(comment);
        }
    }
    if (comments.empty()) {
        return std::nullopt;
    }
    std::string joined = comments.front();
    for (std::size_t i = 1; i < comments.size(); ++i) {
        joined += "\n\n" + comments[i];
    }
    return joined;
}

std::shared_ptr<pdfkit::Annotation>
MarkupController::highlightRegion(const std::shared_ptr<MarkedDocument>& tab,
                                  const std::shared_ptr<pdfkit::Page>& page, const Rect& pageRect,
                                  const Color& colour) {
    return markRegion(tab, page, pageRect, AnnotationType::highlight, colour, false);
}

std::shared_ptr<pdfkit::Annotation>
MarkupController::markRegion(const std::shared_ptr<MarkedDocument>& tab,
                             const std::shared_ptr<pdfkit::Page>& page, const Rect& pageRect,
                             AnnotationType type, const Color& colour, bool contentsFromText) {
    const Rect region = pageRect.standardized();
    if (!isPage(page, tab) || !isMarkupType(type) || !region.isFinite() ||
        region.width < kMinRegionSide || region.height < kMinRegionSide || refused(tab)) {
        return nullptr;
    }
    // A highlight replaces the highlights under it; other marks sit beside what is there.
    std::vector<std::shared_ptr<pdfkit::Annotation>> replaced;
    if (type == AnnotationType::highlight) {
        for (const auto& annotation : page->annotations()) {
            if (annotation->subtype() == pdfkit::Subtype::highlight &&
                isMostlyUnder(annotation->bounds(), region)) {
                replaced.push_back(annotation);
            }
        }
    }
    auto annotation = pdfkit::Annotation::create(region, annotationSubtype(type));
    if (!annotation) {
        return nullptr;
    }
    annotation->setColor(colour);
    // A dragged-out region shows exactly its rectangle, not the rounded band of a line.
    if (type == AnnotationType::highlight) {
        annotation->setRegion(true);
    }
    std::optional<std::string> content = joinedComments(replaced, *page);
    if (!content && contentsFromText) {
        if (std::string text = pageTextUnder(*page, region); !text.empty()) {
            content = text;
        }
    }
    if (content) {
        annotation->setContents(*content);
    }
    AnnotationRecord added = recordFor(annotation, page->index(), type, content, colour);
    added.region = type == AnnotationType::highlight;
    undo_->record(std::make_shared<PageMarkupCommand>(tab->document, page, std::move(replaced),
                                                      std::vector<AnnotationRecord>{added}, tab));
    return annotation;
}

std::vector<std::shared_ptr<pdfkit::Annotation>>
MarkupController::markSelection(const std::shared_ptr<MarkedDocument>& tab,
                                const pdfkit::Selection& selection, AnnotationType type,
                                const Color& colour) {
    if (!tab || !isMarkupType(type) || selection.isEmpty() || refused(tab)) {
        return {};
    }
    std::vector<std::shared_ptr<pdfkit::Annotation>> made;
    std::vector<std::shared_ptr<UndoableCommand>> steps;
    for (const auto& part : selection.parts()) {
        const auto& page = part.page;
        if (!isPage(page, tab) || part.lineRects.empty()) {
            continue;
        }
        Rect bounds = part.lineRects.front().standardized();
        for (const auto& line : part.lineRects) {
            const Rect r = line.standardized();
            bounds = Rect::fromEdges(
                std::min(bounds.minX(), r.minX()), std::min(bounds.minY(), r.minY()),
                std::max(bounds.maxX(), r.maxX()), std::max(bounds.maxY(), r.maxY()));
        }
        auto annotation = pdfkit::Annotation::create(bounds, annotationSubtype(type));
        if (!annotation) {
            continue;
        }
        // One quad per selected line, so every reader marks the lines, not the block.
        annotation->setQuadRects(part.lineRects);
        annotation->setColor(colour);
        std::string text = pageTextUnder(*page, bounds);
        if (auto selected = selection.string(); selected && selection.parts().size() == 1) {
            text = annotationContentFromPageText(*selected);
        }
        std::optional<std::string> content;
        if (!text.empty()) {
            content = text;
            annotation->setContents(text);
        }
        steps.push_back(std::make_shared<PageMarkupCommand>(
            tab->document, page, std::vector<std::shared_ptr<pdfkit::Annotation>>{},
            std::vector<AnnotationRecord>{
                recordFor(annotation, page->index(), type, content, colour)},
            tab));
        made.push_back(annotation);
    }
    if (steps.size() == 1) {
        undo_->record(steps.front());
    } else if (!steps.empty()) {
        undo_->record(std::make_shared<CompositeCommand>(std::move(steps)));
    }
    return made;
}

std::shared_ptr<pdfkit::Annotation>
MarkupController::addShape(const std::shared_ptr<MarkedDocument>& tab,
                           const std::shared_ptr<pdfkit::Page>& page, const Rect& pageRect) {
    const Rect bounds = pageRect.standardized();
    if (!isPage(page, tab) || !bounds.isFinite() || !(bounds.width > kMinShapeSide) ||
        !(bounds.height > kMinShapeSide) || refused(tab)) {
        return nullptr;
    }
    auto annotation = pdfkit::Annotation::create(bounds, pdfkit::Subtype::square);
    if (!annotation) {
        return nullptr;
    }
    // An outline and no fill: a PDF fill has no alpha of its own, so a faint fill would be
    // written opaque and hide the page under the shape.
    annotation->setColor(SystemColors::red);
    AnnotationRecord added = recordFor(annotation, page->index(), AnnotationType::square,
                                       std::string("Shape"), SystemColors::red);
    undo_->record(adding(tab, page, std::move(added)));
    return annotation;
}

std::shared_ptr<pdfkit::Annotation>
MarkupController::addNote(const std::shared_ptr<MarkedDocument>& tab,
                          const std::shared_ptr<pdfkit::Page>& page, Point pageTopLeft,
                          const std::string& text, const Color& colour) {
    if (!isPage(page, tab) || !std::isfinite(pageTopLeft.x) || !std::isfinite(pageTopLeft.y) ||
        refused(tab)) {
        return nullptr;
    }
    // The icon stays on the page even when the point is at its edge.
    const Rect box = page->cropBox();
    const double x =
        std::clamp(pageTopLeft.x, box.minX(), std::max(box.minX(), box.maxX() - kNoteSize));
    const double top =
        std::clamp(pageTopLeft.y, std::min(box.maxY(), box.minY() + kNoteSize), box.maxY());
    const Rect bounds{x, top - kNoteSize, kNoteSize, kNoteSize};
    auto annotation = pdfkit::Annotation::create(bounds, pdfkit::Subtype::text);
    if (!annotation) {
        return nullptr;
    }
    annotation->setColor(colour.withAlpha(1));
    const std::string trimmed = trimmingWhitespaceAndNewlines(text);
    std::optional<std::string> content;
    if (!trimmed.empty()) {
        content = trimmed;
        annotation->setContents(trimmed);
    }
    AnnotationRecord added = recordFor(annotation, page->index(), AnnotationType::stickyNote,
                                       content, colour.withAlpha(1));
    undo_->record(adding(tab, page, std::move(added)));
    return annotation;
}

std::shared_ptr<pdfkit::Annotation>
MarkupController::addMark(const std::shared_ptr<MarkedDocument>& tab,
                          const std::shared_ptr<pdfkit::Page>& page, const Rect& pageRect,
                          AnnotationType type, const Color& colour) {
    if (isMarkupType(type)) {
        return markRegion(tab, page, pageRect, type, colour, true);
    }
    const Rect bounds = pageRect.standardized();
    if (type == AnnotationType::stickyNote) {
        return addNote(tab, page, Point{bounds.minX(), bounds.maxY()}, {}, colour);
    }
    const bool makeable = isShapeType(type) || type == AnnotationType::freeText;
    if (!isPage(page, tab) || !makeable || !bounds.isFinite() || !(bounds.width > 0) ||
        !(bounds.height > 0) || refused(tab)) {
        return nullptr;
    }
    auto annotation = pdfkit::Annotation::create(bounds, annotationSubtype(type));
    if (!annotation) {
        return nullptr;
    }
    annotation->setColor(colour);
    AnnotationRecord added = recordFor(annotation, page->index(), type, std::nullopt, colour);
    undo_->record(adding(tab, page, std::move(added)));
    return annotation;
}

std::shared_ptr<pdfkit::Annotation>
MarkupController::addFreeText(const std::shared_ptr<MarkedDocument>& tab,
                              const std::shared_ptr<pdfkit::Page>& page, const Rect& bounds,
                              const std::string& text, const Color& colour, double fontSize) {
    const Rect box = bounds.standardized();
    if (!isPage(page, tab) || !box.isFinite() || trimmingWhitespaceAndNewlines(text).empty() ||
        refused(tab)) {
        return nullptr;
    }
    auto annotation = pdfkit::Annotation::create(box, annotationSubtype(AnnotationType::freeText));
    if (!annotation) {
        return nullptr;
    }
    AnnotationAppearance look = AnnotationAppearance::defaultText();
    look.color = colour;
    look.fontSize = fontSize;
    AnnotationService::applyAppearance(*annotation, AnnotationType::freeText, look, text);
    AnnotationRecord added(Uuid::random(), page->index(), AnnotationType::freeText, box, text, look,
                           annotation);
    undo_->record(adding(tab, page, std::move(added)));
    return annotation;
}

bool MarkupController::resize(const std::shared_ptr<MarkedDocument>& tab,
                              const std::shared_ptr<pdfkit::Annotation>& annotation,
                              const Rect& bounds) {
    auto page = annotation ? annotation->page() : nullptr;
    if (!isPage(page, tab) || !bounds.isFinite() || !isOnPage(*page, annotation)) {
        return false;
    }
    const Rect before = annotation->bounds();
    const Rect after = bounds.standardized();
    if (after == before || refused(tab)) {
        return false;
    }
    undo_->record(std::make_shared<UpdateAnnotationCommand>(page, annotation, before, after,
                                                            tab->document, tab));
    return true;
}

bool MarkupController::recolour(const std::shared_ptr<MarkedDocument>& tab,
                                const std::vector<std::shared_ptr<pdfkit::Annotation>>& which,
                                const Color& colour) {
    if (!tab) {
        return false;
    }
    std::vector<EditAnnotationsCommand::Edit> edits;
    for (const auto& annotation : which) {
        if (!annotation || !annotation->page() ||
            std::any_of(edits.begin(), edits.end(),
                        [&](const auto& e) { return e.annotation == annotation; })) {
            continue;
        }
        EditAnnotationsCommand::Edit edit{annotation, AnnotationLook::of(*annotation), {}};
        edit.after = edit.before;
        if (annotation->subtype() == pdfkit::Subtype::freeText) {
            // Free text shows only its text: the text takes the colour.
            edit.after.fontColor = colour.withAlpha(1);
        } else {
            edit.after.color = withRgbOf(colour, edit.before.color.value_or(colour));
            if (edit.before.interiorColor) {
                edit.after.interiorColor = withRgbOf(colour, *edit.before.interiorColor);
            }
        }
        if (!sameRgb(edit.after.color, edit.before.color) ||
            !sameRgb(edit.after.interiorColor, edit.before.interiorColor) ||
            !sameRgb(edit.after.fontColor, edit.before.fontColor)) {
            edits.push_back(std::move(edit));
        }
    }
    if (edits.empty() || refused(tab)) {
        return false;
    }
    undo_->record(std::make_shared<EditAnnotationsCommand>(tab->document, std::move(edits), tab));
    return true;
}

bool MarkupController::setText(const std::shared_ptr<MarkedDocument>& tab,
                               const std::shared_ptr<pdfkit::Annotation>& annotation,
                               const std::string& text, std::optional<Rect> resizedTo) {
    if (!tab || !annotation || !annotation->page()) {
        return false;
    }
    EditAnnotationsCommand::Edit edit{annotation, AnnotationLook::of(*annotation), {}};
    edit.after = edit.before;
    const std::string trimmed = trimmingWhitespaceAndNewlines(text);
    if (trimmed.empty()) {
        if (annotation->subtype() == pdfkit::Subtype::freeText) {
            return false;
        }
        edit.after.contents.reset();
    } else {
        edit.after.contents = text;
    }
    // An earlier file kept a result in the contents: it moves to its own entry rather than
    // being lost under the comment.
    if (const auto stored = noteOf(*annotation); stored.resultInContents) {
        edit.after.result = stored.result;
        edit.after.resultFlag = false;
    }
    if (edit.after == edit.before || refused(tab)) {
        return false;
    }
    auto step = std::make_shared<EditAnnotationsCommand>(
        tab->document, std::vector<EditAnnotationsCommand::Edit>{std::move(edit)}, tab);
    if (resizedTo && resizedTo->isFinite() &&
        !(resizedTo->standardized() == annotation->bounds())) {
        undo_->record(
            std::make_shared<CompositeCommand>(std::vector<std::shared_ptr<UndoableCommand>>{
                step, std::make_shared<UpdateAnnotationCommand>(annotation->page(), annotation,
                                                                annotation->bounds(),
                                                                resizedTo->standardized())}));
    } else {
        undo_->record(step);
    }
    return true;
}

bool MarkupController::remove(const std::shared_ptr<MarkedDocument>& tab,
                              const std::vector<std::shared_ptr<pdfkit::Annotation>>& which) {
    if (!tab) {
        return false;
    }
    std::vector<std::shared_ptr<UndoableCommand>> steps;
    std::vector<std::shared_ptr<pdfkit::Page>> pages;
    for (const auto& annotation : which) {
        if (auto page = annotation ? annotation->page() : nullptr;
            page && std::find(pages.begin(), pages.end(), page) == pages.end()) {
            pages.push_back(page);
        }
    }
    for (const auto& page : pages) {
        std::vector<std::shared_ptr<pdfkit::Annotation>> onPage;
        for (const auto& annotation : which) {
            if (annotation && annotation->page() == page && isOnPage(*page, annotation) &&
                std::find(onPage.begin(), onPage.end(), annotation) == onPage.end()) {
                onPage.push_back(annotation);
            }
        }
        if (!onPage.empty()) {
            steps.push_back(std::make_shared<PageMarkupCommand>(
                tab->document, page, std::move(onPage), std::vector<AnnotationRecord>{}, tab));
        }
    }
    if (steps.empty() || refused(tab)) {
        return false;
    }
    if (steps.size() == 1) {
        undo_->record(steps.front());
    } else {
        undo_->record(std::make_shared<CompositeCommand>(std::move(steps)));
    }
    return true;
}

} // namespace ombrix
