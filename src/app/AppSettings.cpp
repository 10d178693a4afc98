#include "app/AppSettings.h"

namespace ombrix {

namespace {

constexpr const char* kBrainEnabled = "brainEnabled";
constexpr const char* kTheme = "theme";
constexpr const char* kRecent = "recentDocuments";
constexpr const char* kLastOpen = "lastOpenDocuments";
constexpr const char* kFormulaSource = "formulaSource";
constexpr const char* kPageFirst = "page first";
constexpr const char* kServerOnly = "server only";

std::optional<std::vector<std::string>> stringList(const nlohmann::json& object, const char* key) {
    auto it = object.find(key);
    if (it == object.end() || !it->is_array()) {
        return std::nullopt;
    }
    std::vector<std::string> out;
    out.reserve(it->size());
    for (const auto& element : *it) {
        if (!element.is_string()) {
            return std::nullopt;
        }
        out.push_back(element.get<std::string>());
    }
    return out;
}

} // namespace

std::string_view rawValue(PDFEditorTheme theme) {
    switch (theme) {
    case PDFEditorTheme::light:
        return "light";
    case PDFEditorTheme::dark:
        return "dark";
    case PDFEditorTheme::system:
        break;
    }
    return "system";
}

std::optional<PDFEditorTheme> themeFromRawValue(std::string_view raw) {
    for (auto theme : {PDFEditorTheme::light, PDFEditorTheme::dark, PDFEditorTheme::system}) {
        if (rawValue(theme) == raw) {
            return theme;
        }
    }
    return std::nullopt;
}

nlohmann::json AppSettings::toJson() const {
    nlohmann::json json{{kBrainEnabled, brainEnabled},
                        {kTheme, std::string(rawValue(theme))},
                        {kRecent, recentDocuments},
                        {kLastOpen, lastOpenDocuments}};
    if (formulaSource == FormulaSource::server) {
        json[kFormulaSource] = kServerOnly;
    }
    return json;
}

std::optional<AppSettings> AppSettings::fromJson(const nlohmann::json& json) {
    if (!json.is_object()) {
        return std::nullopt;
    }
    AppSettings settings;
    auto brain = json.find(kBrainEnabled);
    if (brain == json.end() || !brain->is_boolean()) {
        return std::nullopt;
    }
    settings.brainEnabled = brain->get<bool>();

    auto theme = json.find(kTheme);
    if (theme == json.end() || !theme->is_string()) {
        return std::nullopt;
    }
    auto parsedTheme = themeFromRawValue(theme->get_ref<const std::string&>());
    if (!parsedTheme) {
        return std::nullopt;
    }
    settings.theme = *parsedTheme;

    auto recent = stringList(json, kRecent);
    auto lastOpen = stringList(json, kLastOpen);
    if (!recent || !lastOpen) {
        return std::nullopt;
    }
    settings.recentDocuments = std::move(*recent);
    settings.lastOpenDocuments = std::move(*lastOpen);
    if (auto source = json.find(kFormulaSource);
        source != json.end() && source->is_string() && *source == kServerOnly) {
        settings.formulaSource = FormulaSource::server;
    }
    return settings;
}

AppSettings AppSettings::load(const PreferencesStore& store) {
    if (auto stored = store.value(kStoreKey)) {
        if (auto settings = fromJson(*stored)) {
            return *settings;
        }
    }
    return AppSettings{};
}

void AppSettings::save() const {
    PreferencesStore store = PreferencesStore::standard();
    save(store);
}

void AppSettings::save(PreferencesStore& store) const {
    // The store refuses a value it cannot encode (a string that is not UTF-8) and
    // leaves the file alone; there is no one to tell.
    store.setValue(kStoreKey, toJson());
}

} // namespace ombrix
