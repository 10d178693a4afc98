#pragma once

#include "annotations/AnnotationRecord.h"
#include "cli/AnnotationIds.h"
#include "cli/Command.h"
#include "core/Geometry.h"

#include <nlohmann/json.hpp>
#include <ostream>

namespace ombrix::cli {

// {"x", "y", "width", "height"} in that order.
inline nlohmann::ordered_json rectJson(const Rect& rect) {
    return {{"x", rect.x}, {"y", rect.y}, {"width", rect.width}, {"height", rect.height}};
}

// The fields every annotation listing shows: type, bounds, content (null when none), colour.
inline void addAnnotationFields(nlohmann::ordered_json& item, const AnnotationRecord& record) {
    item["type"] = rawValue(record.type);
    item["bounds"] = rectJson(record.bounds);
    item["content"] =
        record.content ? nlohmann::ordered_json(*record.content) : nlohmann::ordered_json(nullptr);
    item["color"] = record.appearance.color.hexRGBA();
}

// "id", "page" (from 1) and the fields above, of an annotation of an open document.
void addAnnotationFields(nlohmann::ordered_json& item, const IdentifiedAnnotation& annotation);

// Indented by two, invalid UTF-8 replaced rather than thrown on, and a line break.
inline void printJson(Io& io, const nlohmann::ordered_json& json) {
    io.out << json.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
}

} // namespace ombrix::cli
