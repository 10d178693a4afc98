#include "annotations/EditAnnotationsCommand.h"

#include "annotations/HighlightNote.h"
#include "annotations/MarkedDocument.h"
#include "document/PDFDocument.h"
#include "pdfkit/Annotation.h"
#include "pdfkit/Page.h"

#include <algorithm>

namespace ombrix {

AnnotationLook AnnotationLook::of(const pdfkit::Annotation& annotation) {
    AnnotationLook look;
    look.color = annotation.color();
    look.interiorColor = annotation.interiorColor();
    look.fontColor = annotation.fontColor();
    look.contents = annotation.contents();
    if (look.contents && look.contents->empty()) {
        look.contents.reset();
    }
    look.result = annotation.privateText(note::kResultKey);
    look.resultFlag = !look.result && annotation.privateFlag(note::kResultKey);
    return look;
}

void applyLook(pdfkit::Annotation& annotation, const AnnotationLook& from,
               const AnnotationLook& to) {
    // A colour cannot be taken away through the kit; "none" stays as it is.
    if (to.color && to.color != from.color) {
        annotation.setColor(*to.color);
    }
    if (to.interiorColor != from.interiorColor) {
        annotation.setInteriorColor(to.interiorColor);
    }
    if (to.fontColor && to.fontColor != from.fontColor) {
        annotation.setFontColor(*to.fontColor);
    }
    if (to.contents != from.contents) {
        annotation.setContents(to.contents.value_or(""));
    }
    // The flag and the text share their key, so whichever is kept is written last.
    auto flag = [&] {
        if (to.resultFlag != from.resultFlag) {
            annotation.setPrivateFlag(note::kResultKey, to.resultFlag);
        }
    };
    auto text = [&] {
        if (to.result != from.result) {
            annotation.setPrivateText(note::kResultKey, to.result);
        }
    };
    if (to.result) {
        flag();
        text();
    } else {
        text();
        flag();
    }
}

EditAnnotationsCommand::EditAnnotationsCommand(std::shared_ptr<PDFDocument> doc,
                                               std::vector<Edit> edits,
                                               std::weak_ptr<MarkedDocument> session)
    : doc_(std::move(doc)), edits_(std::move(edits)), session_(std::move(session)) {}

void EditAnnotationsCommand::execute() {
    apply(true);
}

void EditAnnotationsCommand::undo() {
    apply(false);
}

void EditAnnotationsCommand::apply(bool forward) {
    for (const auto& edit : edits_) {
        if (edit.annotation) {
            applyLook(*edit.annotation, forward ? edit.before : edit.after,
                      forward ? edit.after : edit.before);
        }
    }
    if (auto tab = session_.lock()) {
        tab->annotations.mutate([&](std::vector<AnnotationRecord>& list) {
            for (auto& record : list) {
                auto it = std::find_if(edits_.begin(), edits_.end(), [&](const Edit& e) {
                    return e.annotation && e.annotation == record.pdfAnnotationRef;
                });
                if (it == edits_.end()) {
                    continue;
                }
                const AnnotationLook& look = forward ? it->after : it->before;
                if (look.color) {
                    record.appearance.color = *look.color;
                }
                record.appearance.interiorColor = look.interiorColor;
                record.content = look.contents;
            }
        });
    }
    if (doc_) {
        doc_->markDirty();
    }
}

CommandScope EditAnnotationsCommand::scope() const {
    CommandScope scope{doc_, {}};
    for (const auto& edit : edits_) {
        if (auto page = edit.annotation ? edit.annotation->page() : nullptr) {
            if (std::find(scope.pages.begin(), scope.pages.end(), page->index()) ==
                scope.pages.end()) {
                scope.pages.push_back(page->index());
            }
        }
    }
    return scope;
}

} // namespace ombrix
