#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "app/PreferencesStore.h"

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

    // The stored record, or the defaults as a whole when there is none or it does not
    // decode. Never changes the store.
    static AppSettings load(const PreferencesStore& store = PreferencesStore::standard());

    // Replaces the stored record; gives up silently when it cannot be encoded or written.
    void save() const;
    void save(PreferencesStore& store) const;

    // The persisted form: an object with all four keys.
    nlohmann::json toJson() const;
    // None unless every key is present with the right type and a known theme.
    static std::optional<AppSettings> fromJson(const nlohmann::json& json);

    bool operator==(const AppSettings&) const = default;
};

} // namespace ombrix

OMBRIX_API_END
