#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include <functional>
#include <optional>
#include <string>

namespace ombrix::pdfkit {
class Annotation;
}

// Where a highlight keeps the user's comment and an extraction result. The comment is the
// annotation's contents, what every reader shows; a result (an HTML table, a formula's
// LaTeX) is a private entry of ours that other readers skip, so they never show raw HTML
// as the note.
//
// Files written before kept the result in the contents, recognised by a marker in the
// text or by the annotation carrying the boolean entry of the same key; they still read
// as results, and the next write moves the result to its entry.
namespace ombrix::note {

inline constexpr const char* kResultKey = "OmbrixResult";

struct HighlightNote {
    std::optional<std::string> comment;
    std::optional<std::string> result;
    // The result was read from the contents of an earlier file.
    bool resultInContents = false;
};

// Says whether contents written by an earlier version are a result; each reader has
// its own markers.
using ResultMarker = std::function<bool(const std::string& contents)>;

HighlightNote read(const pdfkit::Annotation& annotation, const ResultMarker& isLegacyResult);

// The marker every reader shares: an HTML table or page in the contents.
bool looksLikeTable(const std::string& contents);

// Stores the result under the private key. The contents become `comment` when one is
// given and not empty; an earlier file's result leaves them (emptied when there is no
// comment), so the result never stays behind as the comment.
void writeResult(pdfkit::Annotation& annotation, const std::string& result,
                 const std::optional<std::string>& comment, const ResultMarker& isLegacyResult);

// Stores the comment in the contents. A result an earlier file kept there moves to the
// private key first, so it is not lost.
void writeComment(pdfkit::Annotation& annotation, const std::string& comment,
                  const ResultMarker& isLegacyResult);

} // namespace ombrix::note

OMBRIX_API_END
