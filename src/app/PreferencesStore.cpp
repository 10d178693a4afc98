#include "app/PreferencesStore.h"

#include "core/AtomicFile.h"
#include "core/Error.h"

#include <cstdlib>
#include <mutex>
#include <pwd.h>
#include <unistd.h>

namespace ombrix {

namespace fs = std::filesystem;

namespace {

// Read-modify-write of the file is serialised within the process, so two writers of
// different keys do not lose each other's change.
std::mutex& writeMutex() {
    static std::mutex mutex;
    return mutex;
}

fs::path homeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home) {
        return home;
    }
    if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir) {
        return entry->pw_dir;
    }
    return "/";
}

std::optional<nlohmann::json> parseObject(const std::string& bytes) {
    auto parsed = nlohmann::json::parse(bytes, nullptr, /*allow_exceptions=*/false);
    if (parsed.is_discarded() || !parsed.is_object()) {
        return std::nullopt;
    }
    return parsed;
}

} // namespace

PreferencesStore::PreferencesStore(fs::path file) : file_(std::move(file)) {}

fs::path PreferencesStore::standardPath() {
    fs::path base;
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config) {
        base = config;
    }
    if (base.empty() || base.is_relative()) {
        base = homeFolder() / ".config";
    }
    return base / "ombrix-pdf" / "preferences.json";
}

PreferencesStore PreferencesStore::standard() {
    return PreferencesStore(standardPath());
}

std::optional<nlohmann::json> PreferencesStore::value(const std::string& key) const {
    auto bytes = readFile(file_);
    if (!bytes) {
        return std::nullopt;
    }
    auto object = parseObject(*bytes);
    if (!object) {
        return std::nullopt;
    }
    auto it = object->find(key);
    if (it == object->end()) {
        return std::nullopt;
    }
    return *it;
}

bool PreferencesStore::setValue(const std::string& key, nlohmann::json value) {
    std::lock_guard lock(writeMutex());

    nlohmann::json object = nlohmann::json::object();
    std::optional<std::string> corrupt; // the old bytes, when they are not an object
    if (auto bytes = readFile(file_)) {
        if (auto parsed = parseObject(*bytes)) {
            object = std::move(*parsed);
        } else {
            corrupt = std::move(bytes);
        }
    } else {
        // Only a missing file means "no values yet"; one that exists but cannot be read
        // must not be replaced by a store holding one key.
        std::error_code ec;
        if (fs::status(file_, ec).type() != fs::file_type::not_found) {
            return false;
        }
    }

    object[key] = std::move(value);
    std::string encoded;
    try {
        encoded = object.dump(2);
    } catch (const nlohmann::json::exception&) {
        return false; // e.g. a string that is not UTF-8
    }
    encoded += '\n';

    if (file_.has_parent_path() && !makePrivateFolder(file_.parent_path())) {
        return false;
    }
    try {
        if (corrupt) {
            // A copy rather than a rename: if the new file cannot be written, the old one
            // is still in its place.
            fs::path aside = file_;
            aside += ".corrupt";
            writeOwnFile(aside, *corrupt);
        }
        writeOwnFile(file_, encoded);
    } catch (const Error&) {
        return false;
    }
    return true;
}

} // namespace ombrix
