#include "annotations/PageMarkupCommand.h"

#include "annotations/MarkedDocument.h"
#include "document/PDFDocument.h"
#include "pdfkit/Annotation.h"
#include "pdfkit/Page.h"

#include <algorithm>

namespace ombrix {

namespace {

bool refersToAny(const AnnotationRecord& record,
                 const std::vector<std::shared_ptr<pdfkit::Annotation>>& annotations) {
    return record.pdfAnnotationRef &&
           std::any_of(annotations.begin(), annotations.end(),
                       [&](const auto& a) { return a.get() == record.pdfAnnotationRef.get(); });
}

} // namespace

bool isOnPage(const pdfkit::Page& page, const std::shared_ptr<pdfkit::Annotation>& annotation) {
    if (!annotation) {
        return false;
    }
    const auto list = page.annotations();
    return std::any_of(list.begin(), list.end(),
                       [&](const auto& a) { return a.get() == annotation.get(); });
}

void upsertRecord(std::vector<AnnotationRecord>& list, const AnnotationRecord& record) {
    auto it = std::find_if(list.begin(), list.end(),
                           [&](const AnnotationRecord& r) { return r.id == record.id; });
    if (it != list.end()) {
        *it = record;
    } else {
        list.push_back(record);
    }
}

PageMarkupCommand::PageMarkupCommand(std::shared_ptr<PDFDocument> doc,
                                     std::shared_ptr<pdfkit::Page> page,
                                     std::vector<std::shared_ptr<pdfkit::Annotation>> removed,
                                     std::vector<AnnotationRecord> added,
                                     std::weak_ptr<MarkedDocument> session)
    : doc_(std::move(doc)), page_(std::move(page)), removed_(std::move(removed)),
      added_(std::move(added)), session_(std::move(session)) {}

void PageMarkupCommand::execute() {
    if (!page_) {
        return;
    }
    for (const auto& annotation : removed_) {
        if (annotation && isOnPage(*page_, annotation)) {
            page_->removeAnnotation(annotation);
        }
    }
    for (const auto& record : added_) {
        if (record.pdfAnnotationRef && !isOnPage(*page_, record.pdfAnnotationRef)) {
            page_->addAnnotation(record.pdfAnnotationRef);
        }
    }
    if (auto tab = session_.lock()) {
        tab->annotations.mutate([&](std::vector<AnnotationRecord>& list) {
            if (!hasExecuted_) {
                std::copy_if(list.begin(), list.end(), std::back_inserter(removedRecords_),
                             [&](const AnnotationRecord& r) { return refersToAny(r, removed_); });
            }
            std::erase_if(list,
                          [&](const AnnotationRecord& r) { return refersToAny(r, removed_); });
            for (const auto& record : added_) {
                upsertRecord(list, record);
            }
        });
    }
    hasExecuted_ = true;
    if (doc_) {
        doc_->markDirty();
    }
}

CommandScope PageMarkupCommand::scope() const {
    return {doc_, page_ ? std::vector<int>{page_->index()} : std::vector<int>{}};
}

void PageMarkupCommand::undo() {
    if (!page_ || !hasExecuted_) {
        return;
    }
    for (const auto& record : added_) {
        if (record.pdfAnnotationRef && isOnPage(*page_, record.pdfAnnotationRef)) {
            page_->removeAnnotation(record.pdfAnnotationRef);
        }
    }
    for (const auto& annotation : removed_) {
        if (annotation && !isOnPage(*page_, annotation)) {
            page_->addAnnotation(annotation);
        }
    }
    if (auto tab = session_.lock()) {
        tab->annotations.mutate([&](std::vector<AnnotationRecord>& list) {
            std::erase_if(list, [&](const AnnotationRecord& r) {
                return std::any_of(added_.begin(), added_.end(),
                                   [&](const AnnotationRecord& a) { return a.id == r.id; });
            });
            for (const auto& record : removedRecords_) {
                upsertRecord(list, record);
            }
        });
    }
    if (doc_) {
        doc_->markDirty();
    }
}

} // namespace ombrix
