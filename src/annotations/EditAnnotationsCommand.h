#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "annotations/UndoableCommand.h"
#include "core/Color.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ombrix {

class MarkedDocument;

namespace pdfkit {
class Annotation;
}

// The properties of an annotation a user edits in place: its colours, its contents (a
// comment, or a note's or a free text's text) and an extraction result kept beside them.
// Absent means "none".
struct AnnotationLook {
    std::optional<Color> color;
    std::optional<Color> interiorColor;
    std::optional<Color> fontColor;
    std::optional<std::string> contents;
    std::optional<std::string> result; // our private entry
    bool resultFlag = false;           // an earlier file's mark: the contents are a result

    static AnnotationLook of(const pdfkit::Annotation& annotation);
    bool operator==(const AnnotationLook&) const = default;
};

// Recolours or re-words annotations in place, one or many at once, as one step: undo puts
// every one of them back as it was. The very annotation objects change (never copies), the
// tab's records of them follow, and the document is marked dirty both ways; nothing is
// written to the file. Main thread only.
class EditAnnotationsCommand : public UndoableCommand {
public:
    struct Edit {
        std::shared_ptr<pdfkit::Annotation> annotation;
        AnnotationLook before;
        AnnotationLook after;
    };

    EditAnnotationsCommand(std::shared_ptr<PDFDocument> doc, std::vector<Edit> edits,
                           std::weak_ptr<MarkedDocument> session);

    void execute() override;
    void undo() override;
    CommandScope scope() const override;

    const std::vector<Edit>& edits() const { return edits_; }

private:
    void apply(bool forward);

    std::shared_ptr<PDFDocument> doc_;
    std::vector<Edit> edits_;
    std::weak_ptr<MarkedDocument> session_;
};

// Sets what differs between two looks on the annotation, and nothing else: each setter
// regenerates the annotation's appearance.
void applyLook(pdfkit::Annotation& annotation, const AnnotationLook& from,
               const AnnotationLook& to);

} // namespace ombrix

OMBRIX_API_END
