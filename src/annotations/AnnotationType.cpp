#include "annotations/AnnotationType.h"

#include "core/UnicodeText.h"

#include <nlohmann/json.hpp>

namespace ombrix {

namespace {

struct TypeInfo {
    AnnotationType type;
    const char* raw;
    const char* subtype;
};

// In enumeration order. Squiggly, PolyLine and Polygon carry their leading slash: they
// are written to the engine exactly as given.
constexpr TypeInfo kTypes[kAnnotationTypeCount] = {
    {AnnotationType::highlight, "highlight", "Highlight"},
    {AnnotationType::underline, "underline", "Underline"},
    {AnnotationType::strikeout, "strikeout", "StrikeOut"},
    {AnnotationType::squiggly, "squiggly", "/Squiggly"},
    {AnnotationType::square, "square", "Square"},
    {AnnotationType::circle, "circle", "Circle"},
    {AnnotationType::line, "line", "Line"},
    {AnnotationType::polyline, "polyline", "/PolyLine"},
    {AnnotationType::polygon, "polygon", "/Polygon"},
    {AnnotationType::ink, "ink", "Ink"},
    {AnnotationType::freeText, "freeText", "FreeText"},
    {AnnotationType::stickyNote, "stickyNote", "Text"},
    {AnnotationType::callout, "callout", "FreeText"},
    {AnnotationType::link, "link", "Link"},
    {AnnotationType::stamp, "stamp", "Stamp"},
    {AnnotationType::redaction, "redaction", "Square"},
    {AnnotationType::unknown, "unknown", "Highlight"},
};

const TypeInfo& info(AnnotationType type) {
    auto index = static_cast<int>(type);
    if (index < 0 || index >= kAnnotationTypeCount) {
        return kTypes[static_cast<int>(AnnotationType::unknown)];
    }
    return kTypes[index];
}

struct SubtypeName {
    const char* lowerName;
    AnnotationType type;
};

// The engine's subtype names, lower-cased, in the order they are tried.
constexpr SubtypeName kSubtypeNames[] = {
    {"highlight", AnnotationType::highlight},
    {"underline", AnnotationType::underline},
    {"strikeout", AnnotationType::strikeout},
    {"squiggly", AnnotationType::squiggly},
    {"square", AnnotationType::square},
    {"circle", AnnotationType::circle},
    {"line", AnnotationType::line},
    {"polyline", AnnotationType::polyline},
    {"polygon", AnnotationType::polygon},
    {"ink", AnnotationType::ink},
    {"freetext", AnnotationType::freeText},
    {"text", AnnotationType::stickyNote},
    {"link", AnnotationType::link},
    {"stamp", AnnotationType::stamp},
    {"redact", AnnotationType::redaction},
    {"redaction", AnnotationType::redaction},
    {"freetextcallout", AnnotationType::callout},
    {"callout", AnnotationType::callout},
};

} // namespace

std::string rawValue(AnnotationType type) {
    return info(type).raw;
}

std::optional<AnnotationType> annotationTypeFromRaw(std::string_view raw) {
    for (const auto& entry : kTypes) {
        if (raw == entry.raw) {
            return entry.type;
        }
    }
    return std::nullopt;
}

const std::array<AnnotationType, kAnnotationTypeCount>& allAnnotationTypes() {
    static const auto all = [] {
        std::array<AnnotationType, kAnnotationTypeCount> types{};
        for (int i = 0; i < kAnnotationTypeCount; ++i) {
            types[i] = kTypes[i].type;
        }
        return types;
    }();
    return all;
}

std::string annotationSubtype(AnnotationType type) {
    return info(type).subtype;
}

AnnotationType annotationTypeFrom(const std::optional<std::string>& rawSubtype) {
    if (!rawSubtype || rawSubtype->empty()) {
        return AnnotationType::unknown;
    }
    std::string_view name = *rawSubtype;
    if (name.front() == '/') {
        name.remove_prefix(1);
    }
    const std::string lower = lowercased(name);
    for (const auto& entry : kSubtypeNames) {
        if (lower == entry.lowerName) {
            return entry.type;
        }
    }
    return AnnotationType::unknown;
}

bool isMarkupType(AnnotationType type) {
    return type >= AnnotationType::highlight && type <= AnnotationType::squiggly;
}

bool isShapeType(AnnotationType type) {
    return type >= AnnotationType::square && type <= AnnotationType::ink;
}

bool isTextType(AnnotationType type) {
    return type >= AnnotationType::freeText && type <= AnnotationType::callout;
}

void to_json(nlohmann::json& j, AnnotationType type) {
    j = rawValue(type);
}

void from_json(const nlohmann::json& j, AnnotationType& type) {
    if (!j.is_string()) {
        throw nlohmann::json::type_error::create(302, "annotation type must be a string", &j);
    }
    const auto& raw = j.get_ref<const std::string&>();
    auto parsed = annotationTypeFromRaw(raw);
    if (!parsed) {
        throw nlohmann::json::other_error::create(501, "unknown annotation type \"" + raw + "\"",
                                                  &j);
    }
    type = *parsed;
}

} // namespace ombrix
