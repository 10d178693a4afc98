#include "document/PDFDocument.h"

#include "core/FileUrl.h"

#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>

namespace ombrix {

namespace {

using nlohmann::json;

bool isSideways(int rotationDeg) {
    return rotationDeg % 180 != 0;
}

// A stored rotation is a whole number of degrees; 90.0 reads as 90, 90.5 or "90" fail.
int readRotation(const json& value) {
    constexpr auto lo = std::numeric_limits<int>::min();
    constexpr auto hi = std::numeric_limits<int>::max();
    bool inRange = false;
    if (value.is_number_unsigned()) {
        inRange = value.get<std::uint64_t>() <= static_cast<std::uint64_t>(hi);
    } else if (value.is_number_integer()) {
        auto wide = value.get<std::int64_t>();
        inRange = wide >= lo && wide <= hi;
    } else if (value.is_number_float()) {
        double d = value.get<double>();
        inRange = std::trunc(d) == d && d >= lo && d <= hi;
    } else {
        throw json::type_error::create(302, "rotationDeg must be an integer", &value);
    }
    if (!inRange) {
        throw json::out_of_range::create(406, "rotationDeg is not a whole number of degrees",
                                         &value);
    }
    return static_cast<int>(value.get<double>());
}

double readNumber(const json& object, const char* key) {
    const json& value = object.at(key);
    if (!value.is_number()) {
        throw json::type_error::create(302, std::string(key) + " must be a number", &value);
    }
    return value.get<double>();
}

// A missing member and an explicit null both read as absent.
std::optional<std::string> optionalJsonString(const json& object, const char* key) {
    auto it = object.find(key);
    if (it == object.end() || it->is_null()) {
        return std::nullopt;
    }
    if (!it->is_string()) {
        throw json::type_error::create(302, std::string(key) + " must be a string", &*it);
    }
    return it->get<std::string>();
}

std::optional<TimePoint> optionalDate(const json& object, const char* key) {
    auto it = object.find(key);
    if (it == object.end() || it->is_null()) {
        return std::nullopt;
    }
    if (!it->is_number()) {
        throw json::type_error::create(302, std::string(key) + " must be a number", &*it);
    }
    return fromSecondsSinceReferenceDate(it->get<double>());
}

void putString(json& j, const char* key, const std::optional<std::string>& value) {
    if (value) {
        j[key] = *value;
    }
}

void putDate(json& j, const char* key, const std::optional<TimePoint>& value) {
    if (value) {
        j[key] = secondsSinceReferenceDate(*value);
    }
}

} // namespace

double PageGeometry::displayWidthPt() const {
    return isSideways(rotationDeg) ? heightPt : widthPt;
}

double PageGeometry::displayHeightPt() const {
    return isSideways(rotationDeg) ? widthPt : heightPt;
}

const PageGeometry PageGeometry::usLetter{612, 792, 0};
const PageGeometry PageGeometry::a4{595, 842, 0};

void to_json(json& j, const PageGeometry& g) {
    j = json{{"widthPt", g.widthPt}, {"heightPt", g.heightPt}, {"rotationDeg", g.rotationDeg}};
}

void from_json(const json& j, PageGeometry& g) {
    if (!j.is_object()) {
        throw json::type_error::create(302, "page geometry must be an object", &j);
    }
    PageGeometry read;
    read.widthPt = readNumber(j, "widthPt");
    read.heightPt = readNumber(j, "heightPt");
    read.rotationDeg = readRotation(j.at("rotationDeg"));
    g = read;
}

void to_json(json& j, const PDFMetadata& m) {
    j = json::object();
    putString(j, "title", m.title);
    putString(j, "author", m.author);
    putString(j, "subject", m.subject);
    putString(j, "keywords", m.keywords);
    putString(j, "version", m.version);
    putDate(j, "createdAt", m.createdAt);
    putDate(j, "modifiedAt", m.modifiedAt);
}

void from_json(const json& j, PDFMetadata& m) {
    if (!j.is_object()) {
        throw json::type_error::create(302, "metadata must be an object", &j);
    }
    PDFMetadata read;
    read.title = optionalJsonString(j, "title");
    read.author = optionalJsonString(j, "author");
    read.subject = optionalJsonString(j, "subject");
    read.keywords = optionalJsonString(j, "keywords");
    read.version = optionalJsonString(j, "version");
    read.createdAt = optionalDate(j, "createdAt");
    read.modifiedAt = optionalDate(j, "modifiedAt");
    m = std::move(read);
}

PDFDocument::PDFDocument(Uuid id, std::filesystem::path url, std::string name,
                         std::int64_t pageCount, std::vector<PageGeometry> pageSizes,
                         PDFMetadata metadata, bool isDirty, std::string brainFingerprint,
                         std::shared_ptr<pdfkit::Document> handle)
    : id(id), url(std::move(url)), name(std::move(name)), pageCount(pageCount),
      pageSizes(std::move(pageSizes)), metadata(std::move(metadata)), isDirty(isDirty),
      brainFingerprint(std::move(brainFingerprint)), handle(std::move(handle)) {}

void PDFDocument::setDirty(bool dirty) {
    if (isDirty != dirty) {
        isDirty = dirty;
        dirtyChanged.emit(dirty);
    }
}

std::optional<PageGeometry> PDFDocument::pageSize(std::int64_t index) const {
    if (index < 0 || static_cast<std::uint64_t>(index) >= pageSizes.size()) {
        return std::nullopt;
    }
    return pageSizes[static_cast<std::size_t>(index)];
}

std::string documentName(const std::filesystem::path& url) {
    auto name = lastPathComponent(url);
    // stem() keeps dot-files whole (".notes" stays ".notes") and drops only the last
    // extension ("archive.tar.gz" gives "archive.tar").
    return name.stem().string();
}

} // namespace ombrix
