#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include <optional>
#include <span>
#include <string_view>

namespace ombrix::pdfkit {

// The annotation subtypes of PDF: the one table of their names and numbers. Any thread.
enum class Subtype {
    text,
    link,
    freeText,
    line,
    square,
    circle,
    polygon,
    polyLine,
    highlight,
    underline,
    squiggly,
    strikeOut,
    stamp,
    caret,
    ink,
    popup,
    fileAttachment,
    sound,
    movie,
    widget,
    screen,
    printerMark,
    trapNet,
    watermark,
    threeD,
    richMedia,
    redact,
    projection,
};

struct SubtypeInfo {
    Subtype subtype;
    const char* name; // as PDF spells it, e.g. "StrikeOut"
    int code;         // the number the path-addressed engine reports; 0 for none
};

std::span<const SubtypeInfo> annotationSubtypes();
const SubtypeInfo& subtypeInfo(Subtype subtype);
// By the name exactly as PDF spells it.
std::optional<Subtype> subtypeNamed(std::string_view name);
// As files and callers write it: a leading "/" and letter case (fully Unicode) ignored, "Redaction"
// for "Redact".
std::optional<Subtype> subtypeLoosely(std::string_view name);

} // namespace ombrix::pdfkit

OMBRIX_API_END
