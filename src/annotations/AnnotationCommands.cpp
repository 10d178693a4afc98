#include "annotations/AnnotationCommands.h"

#include "annotations/AnnotationService.h"
#include "annotations/MarkedDocument.h"
#include "annotations/PageMarkupCommand.h"
#include "core/Logging.h"
#include "core/UnicodeText.h"
#include "document/PDFDocument.h"
#include "document/PDFKitBridge.h"
#include "pdfkit/Annotation.h"
#include "pdfkit/Document.h"
#include "pdfkit/Page.h"

#include <algorithm>

namespace ombrix {

namespace {

std::shared_ptr<pdfkit::Page> enginePage(const std::shared_ptr<PDFDocument>& doc, int pageIndex) {
    if (!doc) {
        return nullptr;
    }
    auto engine = PDFKitBridge::engineDocument(*doc);
    return engine ? engine->page(pageIndex) : nullptr;
}

// Identity, not equality, decides whether an annotation is on a page.
std::optional<int> positionOn(const pdfkit::Page& page,
                              const std::shared_ptr<pdfkit::Annotation>& annotation) {
    if (!annotation) {
        return std::nullopt;
    }
    const auto list = page.annotations();
    auto it = std::find_if(list.begin(), list.end(),
                           [&](const auto& a) { return a.get() == annotation.get(); });
    if (it == list.end()) {
        return std::nullopt;
    }
    return static_cast<int>(it - list.begin());
}

void upsertIntoTab(const std::weak_ptr<MarkedDocument>& session, const AnnotationRecord& record) {
    auto tab = session.lock();
    if (!tab) {
        return;
    }
    tab->annotations.mutate([&](std::vector<AnnotationRecord>& list) {
        auto it = std::find_if(list.begin(), list.end(),
                               [&](const AnnotationRecord& r) { return r.id == record.id; });
        if (it != list.end()) {
            *it = record;
        } else {
            list.push_back(record);
        }
    });
}

void removeFromTab(const std::weak_ptr<MarkedDocument>& session, const Uuid& id) {
    auto tab = session.lock();
    if (!tab) {
        return;
    }
    tab->annotations.mutate([&](std::vector<AnnotationRecord>& list) {
        std::erase_if(list, [&](const AnnotationRecord& r) { return r.id == id; });
    });
}

bool takesContentFromPage(AnnotationType type) {
    // Squiggly is a markup type too but keeps whatever content it came with.
    return type == AnnotationType::highlight || type == AnnotationType::underline ||
           type == AnnotationType::strikeout;
}

} // namespace

std::string annotationContentFromPageText(std::string_view text) {
    std::string flat(text);
    std::replace(flat.begin(), flat.end(), '\n', ' ');
    std::replace(flat.begin(), flat.end(), '\r', ' ');
    return trimmingWhitespaceAndNewlines(flat);
}

// ---- Add ----

AddAnnotationCommand::AddAnnotationCommand(std::shared_ptr<PDFDocument> doc,
                                           AnnotationRecord record,
                                           std::shared_ptr<AnnotationService> service,
                                           std::weak_ptr<MarkedDocument> session,
                                           RedrawTargets redraw)
    : doc_(std::move(doc)), service_(std::move(service)), session_(std::move(session)),
      record_(std::move(record)), redraw_(std::move(redraw)) {}

void AddAnnotationCommand::execute() {
    if (hasExecuted_ && record_.pdfAnnotationRef) {
        // Redo puts back the very object the first run made; never a second one.
        auto page = enginePage(doc_, record_.pageIndex);
        const bool readd = page && !isOnPage(*page, record_.pdfAnnotationRef);
        if (readd) {
            page->addAnnotation(record_.pdfAnnotationRef);
            doc_->markDirty();
        }
        upsertIntoTab(session_, record_);
        if (readd) {
            requestRedraw(redraw_, false);
        }
        return;
    }

    auto page = enginePage(doc_, record_.pageIndex);
    if (!page) {
        return;
    }
    if (takesContentFromPage(record_.type)) {
        auto selection = page->selection(record_.bounds);
        if (selection && selection->string() && !selection->string()->empty()) {
            record_.content = annotationContentFromPageText(*selection->string());
        }
    }
    auto annotation =
        AnnotationService::makeEngineAnnotation(record_, AnnotationService::ShapeBorder::leave);
    if (!annotation) {
        return;
    }
    page->addAnnotation(annotation);
    if (!isOnPage(*page, annotation)) {
        return; // the engine refused it; nothing to mirror in the tab
    }
    record_.pdfAnnotationRef = std::move(annotation);
    hasExecuted_ = true;
    doc_->markDirty();
    upsertIntoTab(session_, record_);
    requestRedraw(redraw_, false);
}

void AddAnnotationCommand::undo() {
    auto page = enginePage(doc_, record_.pageIndex);
    if (!page || !record_.pdfAnnotationRef) {
        return;
    }
    if (isOnPage(*page, record_.pdfAnnotationRef)) {
        page->removeAnnotation(record_.pdfAnnotationRef);
        doc_->markDirty();
    }
    removeFromTab(session_, record_.id);
    requestRedraw(redraw_, false);
}

// ---- Delete ----

DeleteAnnotationCommand::DeleteAnnotationCommand(std::shared_ptr<PDFDocument> doc,
                                                 AnnotationRecord record,
                                                 std::shared_ptr<AnnotationService> service,
                                                 std::weak_ptr<MarkedDocument> session,
                                                 RedrawTargets redraw,
                                                 std::shared_ptr<const Logging> log)
    : doc_(std::move(doc)), service_(std::move(service)), session_(std::move(session)),
      record_(std::move(record)), redraw_(std::move(redraw)), log_(std::move(log)) {
    if (!log_) {
        log_ = std::make_shared<Logging>(Logging::kSubsystem, Logging::kCategory);
    }
}

std::shared_ptr<pdfkit::Annotation>
DeleteAnnotationCommand::findTarget(const pdfkit::Page& page) const {
    if (isOnPage(page, record_.pdfAnnotationRef)) {
        return record_.pdfAnnotationRef;
    }
    for (const auto& annotation : page.annotations()) {
        if (!annotation) {
            continue;
        }
        const Rect bounds = annotation->bounds();
        if (bounds == record_.bounds ||
            (bounds.intersects(record_.bounds) && annotation->contents() == record_.content)) {
            return annotation;
        }
    }
    return nullptr;
}

void DeleteAnnotationCommand::execute() {
    auto page = enginePage(doc_, record_.pageIndex);
    if (!page) {
        return;
    }
    if (auto target = findTarget(*page)) {
        originalIndex_ = positionOn(*page, target);
        removedAnnotation_ = target;
        page->removeAnnotation(target);
        // From now on the record means the annotation actually removed: undo puts that
        // one back into the tab, and redo removes that one again rather than whichever
        // look-alike comes first on the page by then.
        record_.pdfAnnotationRef = std::move(target);
    } else {
        log_->info("⚠️ Could not find annotation to delete.");
    }
    removeFromTab(session_, record_.id);
    doc_->markDirty();
    requestRedraw(redraw_, true);
}

void DeleteAnnotationCommand::undo() {
    auto page = enginePage(doc_, record_.pageIndex);
    if (!page || !removedAnnotation_) {
        return;
    }
    // The page appends it at the end; its old position is not restored.
    if (!isOnPage(*page, removedAnnotation_)) {
        page->addAnnotation(removedAnnotation_);
    }
    upsertIntoTab(session_, record_);
    doc_->markDirty();
    requestRedraw(redraw_, true);
}

// ---- Update ----

UpdateAnnotationCommand::UpdateAnnotationCommand(std::shared_ptr<pdfkit::Page> page,
                                                 std::shared_ptr<pdfkit::Annotation> annot,
                                                 const Rect& oldBounds, const Rect& newBounds,
                                                 std::shared_ptr<PDFDocument> doc,
                                                 std::weak_ptr<MarkedDocument> session)
    : page_(std::move(page)), annot_(std::move(annot)), oldBounds_(oldBounds),
      newBounds_(newBounds), doc_(std::move(doc)), session_(std::move(session)) {}

void UpdateAnnotationCommand::apply(const Rect& bounds) {
    if (!annot_) {
        return;
    }
    annot_->setBounds(bounds);
    // Taken off and put back so the page redraws it; one deleted meanwhile stays deleted.
    if (page_ && isOnPage(*page_, annot_)) {
        page_->removeAnnotation(annot_);
        page_->addAnnotation(annot_);
    }
    if (auto tab = session_.lock()) {
        tab->annotations.mutate([&](std::vector<AnnotationRecord>& list) {
            for (auto& record : list) {
                if (record.pdfAnnotationRef == annot_) {
                    record.bounds = annot_->bounds();
                }
            }
        });
    }
    if (doc_) {
        doc_->markDirty();
    }
}

void UpdateAnnotationCommand::execute() {
    apply(newBounds_);
}

void UpdateAnnotationCommand::undo() {
    apply(oldBounds_);
}

} // namespace ombrix
