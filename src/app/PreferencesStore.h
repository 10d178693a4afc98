#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

namespace ombrix {

// The per-user settings store: one JSON object, key to value, in one file that is
// rewritten whole and atomically on every change. A copy names the same file.
class PreferencesStore {
public:
    explicit PreferencesStore(std::filesystem::path file);

    // $XDG_CONFIG_HOME/ombrix-pdf/preferences.json; an unset, empty or relative
    // XDG_CONFIG_HOME means $HOME/.config. Read from the environment on each call.
    static std::filesystem::path standardPath();
    static PreferencesStore standard();

    const std::filesystem::path& path() const { return file_; }

    // None when the key is absent or the file is missing or not a JSON object.
    // Reading never changes the file.
    std::optional<nlohmann::json> value(const std::string& key) const;

    // Re-reads the file, replaces one key and writes the whole object back, creating the
    // folder when needed. A file that is not a JSON object is moved aside to
    // "<file>.corrupt" (replacing an older one) rather than overwritten. Returns false,
    // leaving the file as it was, when the value cannot be encoded, an existing file
    // cannot be read, or writing fails.
    bool setValue(const std::string& key, nlohmann::json value);

private:
    std::filesystem::path file_;
};

} // namespace ombrix

OMBRIX_API_END
