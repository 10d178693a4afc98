#include "pdfkit/AnnotationSubtype.h"

#include "core/UnicodeText.h"

#include <string>
#include <vector>

namespace ombrix::pdfkit {

namespace {

constexpr SubtypeInfo kSubtypes[] = {
    {Subtype::text, "Text", 1},
    {Subtype::link, "Link", 2},
    {Subtype::freeText, "FreeText", 3},
    {Subtype::line, "Line", 4},
    {Subtype::square, "Square", 5},
    {Subtype::circle, "Circle", 6},
    {Subtype::polygon, "Polygon", 7},
    {Subtype::polyLine, "PolyLine", 8},
    {Subtype::highlight, "Highlight", 9},
    {Subtype::underline, "Underline", 10},
    {Subtype::squiggly, "Squiggly", 11},
    {Subtype::strikeOut, "StrikeOut", 12},
    {Subtype::stamp, "Stamp", 13},
    {Subtype::caret, "Caret", 14},
    {Subtype::ink, "Ink", 15},
    {Subtype::popup, "Popup", 16},
    {Subtype::fileAttachment, "FileAttachment", 17},
    {Subtype::sound, "Sound", 18},
    {Subtype::movie, "Movie", 19},
    {Subtype::widget, "Widget", 20},
    {Subtype::screen, "Screen", 21},
    {Subtype::printerMark, "PrinterMark", 22},
    {Subtype::trapNet, "TrapNet", 23},
    {Subtype::watermark, "Watermark", 24},
    {Subtype::threeD, "3D", 25},
    {Subtype::richMedia, "RichMedia", 26},
    {Subtype::redact, "Redact", 28},
    {Subtype::projection, "Projection", 0},
};

} // namespace

std::span<const SubtypeInfo> annotationSubtypes() {
    return kSubtypes;
}

const SubtypeInfo& subtypeInfo(Subtype subtype) {
    for (const auto& info : kSubtypes) {
        if (info.subtype == subtype) {
            return info;
        }
    }
    return kSubtypes[0];
}

std::optional<Subtype> subtypeNamed(std::string_view name) {
    for (const auto& info : kSubtypes) {
        if (name == info.name) {
            return info.subtype;
        }
    }
    return std::nullopt;
}

std::optional<Subtype> subtypeLoosely(std::string_view name) {
    if (!name.empty() && name.front() == '/') {
        name.remove_prefix(1);
    }
    // Full Unicode lower-casing: what lower-cases to a name is that name.
    static const auto lowerNames = [] {
        std::vector<std::string> names;
        for (const auto& info : kSubtypes) {
            names.push_back(lowercased(info.name));
        }
        return names;
    }();
    const std::string lower = lowercased(name);
    for (std::size_t i = 0; i < lowerNames.size(); ++i) {
        if (lower == lowerNames[i]) {
            return kSubtypes[i].subtype;
        }
    }
    if (lower == "redaction") {
        return Subtype::redact;
    }
    return std::nullopt;
}

} // namespace ombrix::pdfkit
