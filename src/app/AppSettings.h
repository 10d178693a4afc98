#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "app/PreferencesStore.h"
#include "extraction/FormulaSource.h"

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ombrix {

enum class PDFEditorTheme { light, dark, system };

std::string_view rawValue(PDFEditorTheme theme);
std::optional<PDFEditorTheme> themeFromRawValue(std::string_view raw);

// The user's settings, a plain value. The document lists hold absolute URL strings
// (file URLs, see FileUrl.h), kept as given so nothing is lost in conversion.
struct AppSettings {
    static constexpr const char* kStoreKey = "PDFEditor.AppSettings";

    bool brainEnabled = true;
    PDFEditorTheme theme = PDFEditorTheme::system;
    std::vector<std::string> recentDocuments;
    std::vector<std::string> lastOpenDocuments;
    // Where the formula action reads formulas: "page first" (the page's glyphs, the
    // server for regions without any) or "server only".
    FormulaSource formulaSource = FormulaSource::automatic;

    // The stored record, or the defaults as a whole when there is none or it does not
    // decode. Never changes the store.
    static AppSettings load(const PreferencesStore& store = PreferencesStore::standard());

    // Replaces the stored record; gives up silently when it cannot be encoded or written.
    void save() const;
    void save(PreferencesStore& store) const;

    // The persisted form: an object with the four keys, and "formulaSource" when it is not
    // the default, so records written before it read the same.
    nlohmann::json toJson() const;
    // None unless the four keys are present with the right type and a known theme; a
    // "formulaSource" that is missing or unknown reads as "page first".
    static std::optional<AppSettings> fromJson(const nlohmann::json& json);

    bool operator==(const AppSettings&) const = default;
};

} // namespace ombrix

OMBRIX_API_END
