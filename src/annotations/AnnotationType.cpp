#include "annotations/AnnotationType.h"

#include "core/UnicodeText.h"
#include "pdfkit/AnnotationSubtype.h"

#include <nlohmann/json.hpp>

namespace ombrix {

namespace {

using pdfkit::Subtype;

struct TypeInfo {
    AnnotationType type;
    const char* raw;
    Subtype subtype; // what an annotation of the type is made as
    // Written to the engine with a leading "/" (Squiggly, PolyLine and Polygon): exactly as
    // records have always given them.
    bool slashed = false;
};

// In enumeration order.
constexpr TypeInfo kTypes[kAnnotationTypeCount] = {
    {AnnotationType::highlight, "highlight", Subtype::highlight},
    {AnnotationType::underline, "underline", Subtype::underline},
    {AnnotationType::strikeout, "strikeout", Subtype::strikeOut},
    {AnnotationType::squiggly, "squiggly", Subtype::squiggly, true},
    {AnnotationType::square, "square", Subtype::square},
    {AnnotationType::circle, "circle", Subtype::circle},
    {AnnotationType::line, "line", Subtype::line},
    {AnnotationType::polyline, "polyline", Subtype::polyLine, true},
    {AnnotationType::polygon, "polygon", Subtype::polygon, true},
    {AnnotationType::ink, "ink", Subtype::ink},
    {AnnotationType::freeText, "freeText", Subtype::freeText},
    {AnnotationType::stickyNote, "stickyNote", Subtype::text},
    {AnnotationType::callout, "callout", Subtype::freeText},
    {AnnotationType::link, "link", Subtype::link},
    {AnnotationType::stamp, "stamp", Subtype::stamp},
    {AnnotationType::redaction, "redaction", Subtype::square},
    {AnnotationType::unknown, "unknown", Subtype::highlight},
};

const TypeInfo& info(AnnotationType type) {
    auto index = static_cast<int>(type);
    if (index < 0 || index >= kAnnotationTypeCount) {
        return kTypes[static_cast<int>(AnnotationType::unknown)];
    }
    return kTypes[index];
}

// The type a subtype read from a file stands for: the first type made as it, but for the
// subtypes read back as a type of their own.
std::optional<AnnotationType> typeOfSubtype(Subtype subtype) {
    if (subtype == Subtype::redact) {
        return AnnotationType::redaction;
    }
    for (const auto& entry : kTypes) {
        if (entry.subtype == subtype && entry.type != AnnotationType::unknown) {
            return entry.type;
        }
    }
    return std::nullopt;
}

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
    const TypeInfo& entry = info(type);
    return std::string(entry.slashed ? "/" : "") + pdfkit::subtypeInfo(entry.subtype).name;
}

AnnotationType annotationTypeFrom(const std::optional<std::string>& rawSubtype) {
    if (!rawSubtype || rawSubtype->empty()) {
        return AnnotationType::unknown;
    }
    if (auto subtype = pdfkit::subtypeLoosely(*rawSubtype)) {
        return typeOfSubtype(*subtype).value_or(AnnotationType::unknown);
    }
    // Callouts are free text to PDF; some writers name them on their own.
    std::string_view name = *rawSubtype;
    if (name.front() == '/') {
        name.remove_prefix(1);
    }
    const std::string lower = lowercased(name);
    return lower == "callout" || lower == "freetextcallout" ? AnnotationType::callout
                                                            : AnnotationType::unknown;
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
