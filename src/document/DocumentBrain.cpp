#include "document/DocumentBrain.h"

#include <chrono>
#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>

namespace ombrix {

namespace {

using nlohmann::json;

// Thrown inside decode() only; any failure there means "no sidecar".
struct Unreadable {};

const json& member(const json& object, const char* key) {
    auto it = object.find(key);
    if (it == object.end()) {
        throw Unreadable{};
    }
    return *it;
}

std::int64_t integer(const json& value, std::int64_t lo, std::int64_t hi) {
    if (value.is_number_unsigned()) {
        auto u = value.get<std::uint64_t>();
        if (u > static_cast<std::uint64_t>(hi)) {
            throw Unreadable{};
        }
        return static_cast<std::int64_t>(u);
    }
    if (!value.is_number_integer()) {
        throw Unreadable{};
    }
    auto i = value.get<std::int64_t>();
    if (i < lo || i > hi) {
        throw Unreadable{};
    }
    return i;
}

int intMember(const json& object, const char* key) {
    return static_cast<int>(integer(member(object, key), std::numeric_limits<int>::min(),
                                    std::numeric_limits<int>::max()));
}

double number(const json& object, const char* key) {
    const json& value = member(object, key);
    if (!value.is_number()) {
        throw Unreadable{};
    }
    return value.get<double>();
}

std::string string(const json& object, const char* key) {
    const json& value = member(object, key);
    if (!value.is_string()) {
        throw Unreadable{};
    }
    return value.get<std::string>();
}

std::optional<std::string> optionalString(const json& object, const char* key) {
    auto it = object.find(key);
    if (it == object.end() || it->is_null()) {
        return std::nullopt;
    }
    if (!it->is_string()) {
        throw Unreadable{};
    }
    return it->get<std::string>();
}

constexpr std::int64_t kReferenceDateUnix = 978307200; // 2001-01-01T00:00:00Z

// Whole seconds and the fraction apart, so a stored time reads back as the very number
// it was written as (one double of nanoseconds since 1970 cannot hold that).
double toStored(TimePoint t) {
    auto whole = std::chrono::floor<std::chrono::seconds>(t);
    auto fraction = std::chrono::duration_cast<std::chrono::nanoseconds>(t - whole);
    return static_cast<double>(whole.time_since_epoch().count() - kReferenceDateUnix) +
           static_cast<double>(fraction.count()) / 1e9;
}

// The clock's time points span about ±292 years around 1970; a stored number outside
// that range would overflow the conversion, so such a sidecar counts as unreadable.
TimePoint timestamp(const json& object, const char* key) {
    double s = number(object, key);
    constexpr double kLimit = 8.0e9; // ~253 years either side of 2001
    if (!std::isfinite(s) || std::abs(s) > kLimit) {
        throw Unreadable{};
    }
    double whole = std::floor(s);
    auto nanos = std::llround((s - whole) * 1e9);
    return TimePoint{} +
           std::chrono::duration_cast<Duration>(
               std::chrono::seconds(static_cast<std::int64_t>(whole) + kReferenceDateUnix) +
               std::chrono::nanoseconds(nanos));
}

} // namespace

std::string DocumentBrain::encode() const {
    nlohmann::ordered_json sizes = nlohmann::ordered_json::array();
    for (const auto& entry : pageSizes) {
        sizes.push_back({{"widthPt", entry.widthPt},
                         {"heightPt", entry.heightPt},
                         {"rotationDeg", entry.rotationDeg}});
    }
    nlohmann::ordered_json j;
    j["schemaVersion"] = schemaVersion;
    j["path"] = path;
    j["fingerprint"] = fingerprint;
    j["fileSize"] = fileSize;
    j["modifiedAt"] = toStored(modifiedAt);
    j["pageCount"] = pageCount;
    j["pageSizes"] = std::move(sizes);
    if (title) {
        j["title"] = *title;
    }
    if (author) {
        j["author"] = *author;
    }
    j["savedAt"] = toStored(savedAt);

    // A path need not be valid UTF-8 on Linux; replacing bad bytes keeps the sidecar
    // writable (the path in it is informational only).
    std::string text = j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    // "/" can only occur inside strings in this text, so escaping every one is safe.
    std::string escaped;
    escaped.reserve(text.size() + 16);
    for (char c : text) {
        if (c == '/') {
            escaped += "\\/";
        } else {
            escaped += c;
        }
    }
    return escaped;
}

std::optional<DocumentBrain> DocumentBrain::decode(std::string_view text) {
    try {
        json j = json::parse(text);
        if (!j.is_object()) {
            return std::nullopt;
        }
        DocumentBrain brain;
        brain.schemaVersion = intMember(j, "schemaVersion");
        brain.path = string(j, "path");
        brain.fingerprint = string(j, "fingerprint");
        brain.fileSize = integer(member(j, "fileSize"), std::numeric_limits<std::int64_t>::min(),
                                 std::numeric_limits<std::int64_t>::max());
        brain.modifiedAt = timestamp(j, "modifiedAt");
        brain.pageCount = intMember(j, "pageCount");
        const json& sizes = member(j, "pageSizes");
        if (!sizes.is_array()) {
            return std::nullopt;
        }
        for (const auto& entry : sizes) {
            if (!entry.is_object()) {
                return std::nullopt;
            }
            brain.pageSizes.push_back(PageSizeEntry{number(entry, "widthPt"),
                                                    number(entry, "heightPt"),
                                                    intMember(entry, "rotationDeg")});
        }
        brain.title = optionalString(j, "title");
        brain.author = optionalString(j, "author");
        brain.savedAt = timestamp(j, "savedAt");
        return brain;
    } catch (const Unreadable&) {
        return std::nullopt;
    } catch (const json::exception&) {
        return std::nullopt;
    }
}

} // namespace ombrix
