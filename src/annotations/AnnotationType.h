#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include <array>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <string_view>

namespace ombrix {

// The numeric order matters: markup, shape and text types are ranges of it.
enum class AnnotationType {
    highlight,
    underline,
    strikeout,
    squiggly,
    square,
    circle,
    line,
    polyline,
    polygon,
    ink,
    freeText,
    stickyNote,
    callout,
    link,
    stamp,
    redaction,
    unknown,
};

inline constexpr int kAnnotationTypeCount = 17;

std::string rawValue(AnnotationType type); // the case name, e.g. "freeText"
std::optional<AnnotationType> annotationTypeFromRaw(std::string_view raw);
const std::array<AnnotationType, kAnnotationTypeCount>& allAnnotationTypes();

// The subtype an engine annotation of this type is created with.
std::string annotationSubtype(AnnotationType type);
// The type of an engine subtype name (leading "/" and letter case ignored).
AnnotationType annotationTypeFrom(const std::optional<std::string>& rawSubtype);

bool isMarkupType(AnnotationType type); // highlight … squiggly
bool isShapeType(AnnotationType type);  // square … ink
bool isTextType(AnnotationType type);   // freeText … callout

// Encoded as the raw value; an unknown raw value fails to decode.
void to_json(nlohmann::json& j, AnnotationType type);
void from_json(const nlohmann::json& j, AnnotationType& type);

} // namespace ombrix

OMBRIX_API_END
