#include "annotations/HighlightNote.h"

#include "pdfkit/Annotation.h"

namespace ombrix::note {

HighlightNote read(const pdfkit::Annotation& annotation, const ResultMarker& isLegacyResult) {
    HighlightNote note;
    const auto contents = annotation.contents();
    if (auto result = annotation.privateText(kResultKey)) {
        note.result = std::move(result);
        // An emptied legacy contents is no comment.
        if (contents && !contents->empty()) {
            note.comment = contents;
        }
        return note;
    }
    if (!contents) {
        return note;
    }
    if (annotation.privateFlag(kResultKey) || (isLegacyResult && isLegacyResult(*contents))) {
        note.result = contents;
        note.resultInContents = true;
    } else {
        note.comment = contents;
    }
    return note;
}

bool looksLikeTable(const std::string& contents) {
    return contents.find("<table") != std::string::npos ||
           contents.find("<html") != std::string::npos;
}

void writeResult(pdfkit::Annotation& annotation, const std::string& result,
                 const std::optional<std::string>& comment, const ResultMarker& isLegacyResult) {
    const HighlightNote before = read(annotation, isLegacyResult);
    // Replaces the earlier file's flag as well: one entry per key.
    annotation.setPrivateText(kResultKey, result);
    if (comment && !comment->empty()) {
        if (annotation.contents() != comment) {
            annotation.setContents(*comment);
        }
    } else if (before.resultInContents) {
        annotation.setContents("");
    }
}

void writeComment(pdfkit::Annotation& annotation, const std::string& comment,
                  const ResultMarker& isLegacyResult) {
    const HighlightNote before = read(annotation, isLegacyResult);
    if (before.resultInContents) {
        annotation.setPrivateText(kResultKey, before.result);
    }
    if (annotation.contents() != comment) {
        annotation.setContents(comment);
    }
}

} // namespace ombrix::note
