#include "extraction/FormulaSource.h"

namespace ombrix {

std::optional<FormulaSource> formulaSourceFromName(std::string_view name) {
    if (name == "auto") {
        return FormulaSource::automatic;
    }
    if (name == "page") {
        return FormulaSource::page;
    }
    if (name == "server") {
        return FormulaSource::server;
    }
    return std::nullopt;
}

std::string_view formulaSourceName(FormulaSource source) {
    switch (source) {
    case FormulaSource::automatic:
        return "auto";
    case FormulaSource::page:
        return "page";
    case FormulaSource::server:
        return "server";
    }
    return "auto";
}

std::string noFormulaMessage(const std::string& serverURL, const std::string& serverReason) {
    return std::string(kNoFormulaGlyphs) + " The recognition server at " + serverURL +
           " could not read it either: " + serverReason +
           " Start a recognition server there, or mark a formula of a born-digital page.";
}

} // namespace ombrix
