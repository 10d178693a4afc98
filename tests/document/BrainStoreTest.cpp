#include "document/BrainStore.h"

#include "core/AtomicFile.h"
#include "support/TempDir.h"

#include <chrono>
#include <fstream>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace ombrix {
namespace {

// 818396158.75 s after 2001-01-01 UTC: a time a stored double holds exactly.
const TimePoint kTime =
    TimePoint{} + std::chrono::seconds(978307200 + 818396158) + std::chrono::milliseconds(750);

DocumentBrain sample() {
    DocumentBrain brain;
    brain.path = "/home/ana/My Papers/report.pdf";
    brain.fingerprint = std::string(64, 'c');
    brain.fileSize = 123456;
    brain.modifiedAt = brain.savedAt = kTime;
    brain.pageCount = 2;
    brain.pageSizes = {{612, 792, 0}, {595.5, 842, 90}};
    return brain;
}

std::optional<std::string> roundTrip(const DocumentBrain& brain) {
    auto back = DocumentBrain::decode(brain.encode());
    return back ? std::optional(back->encode()) : std::nullopt;
}

TEST(DocumentBrainTest, EncodesCompactlyWithEscapedSlashesAndOnlyPresentMembers) {
    EXPECT_EQ(
        sample().encode(),
        R"({"schemaVersion":1,"path":"\/home\/ana\/My Papers\/report.pdf","fingerprint":")" +
            std::string(64, 'c') +
            R"(","fileSize":123456,"modifiedAt":818396158.75,"pageCount":2,"pageSizes":[)"
            R"({"widthPt":612.0,"heightPt":792.0,"rotationDeg":0},)"
            R"({"widthPt":595.5,"heightPt":842.0,"rotationDeg":90}],"savedAt":818396158.75})");
    DocumentBrain titled = sample();
    titled.title = "Input/Output";
    titled.author = "Zoë";
    EXPECT_NE(titled.encode().find(R"(],"title":"Input\/Output","author":"Zoë","savedAt":)"),
              std::string::npos);
    EXPECT_EQ(roundTrip(titled), titled.encode());
    EXPECT_EQ(DocumentBrain::decode(sample().encode())->savedAt, kTime);

    DocumentBrain odd = sample(); // a file name that is not UTF-8 still makes a sidecar
    odd.path = "/tmp/\xff.pdf";
    EXPECT_TRUE(DocumentBrain::decode(odd.encode()));
    odd.savedAt = std::chrono::system_clock::now();
    auto back = DocumentBrain::decode(odd.encode());
    EXPECT_LT(std::chrono::abs(back->savedAt - odd.savedAt), std::chrono::microseconds(1));
}

TEST(DocumentBrainTest, ReadsMembersByNameAndRefusesAnythingMissingOrMistyped) {
    auto reordered = DocumentBrain::decode(
        R"({"savedAt":0,"pageSizes":[],"pageCount":0,"modifiedAt":-10.5,"fileSize":0,)"
        R"("fingerprint":"f","path":"/x","schemaVersion":1,"extra":true,"title":null})");
    ASSERT_TRUE(reordered);
    EXPECT_EQ(reordered->path, "/x");
    EXPECT_FALSE(reordered->title);

    const auto good = nlohmann::json::parse(sample().encode());
    for (const char* key : {"schemaVersion", "path", "fingerprint", "fileSize", "modifiedAt",
                            "pageCount", "pageSizes", "savedAt"}) {
        auto broken = good;
        broken.erase(key);
        EXPECT_FALSE(DocumentBrain::decode(broken.dump())) << "without " << key;
    }
    const std::pair<const char*, nlohmann::json> wrong[] = {
        {"/schemaVersion", "1"},
        {"/path", 7},
        {"/fileSize", 1.5},
        {"/pageCount", nullptr},
        {"/pageSizes", {{"a", 1}}},
        {"/pageSizes/0/rotationDeg", 90.5},
        {"/pageSizes/1/heightPt", "842"},
        {"/pageSizes/2", 3},
        {"/title", 5},
        {"/savedAt", 1e300}, // beyond what the clock holds
    };
    for (const auto& [pointer, value] : wrong) {
        auto changed = good;
        changed[nlohmann::json::json_pointer(pointer)] = value;
        EXPECT_FALSE(DocumentBrain::decode(changed.dump())) << pointer;
    }
    for (const char* text : {"", "[]", R"({"schemaVersion":1,"path":"\/x")"}) {
        EXPECT_FALSE(DocumentBrain::decode(text)) << text;
    }
}

TEST(BrainStoreTest, SavesLoadsAndRemovesByFingerprintInsideItsFolderOnly) {
    testing::TempDir dir;
    BrainStore store(dir / "OmbrixPdf" / "Brains");
    auto file = dir / "OmbrixPdf" / "Brains" / (sample().fingerprint + ".json");
    EXPECT_FALSE(store.load("/any.pdf", sample().fingerprint));
    store.save(sample());
    EXPECT_EQ(readFile(file), sample().encode());
    EXPECT_EQ(roundTrip(*store.load("/elsewhere.pdf", sample().fingerprint)), sample().encode());
    store.remove(sample().fingerprint);
    EXPECT_FALSE(std::filesystem::exists(file));
    store.remove(sample().fingerprint); // nothing there: ignored

    std::ofstream(dir / "OmbrixPdf" / "Brains" / "bad.json") << "{";
    EXPECT_FALSE(store.load({}, "bad"));
    EXPECT_TRUE(std::filesystem::exists(dir / "OmbrixPdf" / "Brains" / "bad.json"));

    DocumentBrain brain = sample();
    for (std::string name : {"../escape", "..", "", "a/b"}) {
        brain.fingerprint = name;
        store.save(brain);
        EXPECT_FALSE(store.load({}, name)) << name;
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "OmbrixPdf" / "escape.json"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir / "OmbrixPdf" / "Brains"),
                            std::filesystem::directory_iterator()),
              1);

    std::ofstream(dir / "file") << "in the way"; // a folder that cannot be made is ignored
    BrainStore blocked(dir / "file" / "Brains");
    blocked.save(sample());
    EXPECT_FALSE(blocked.load({}, sample().fingerprint));
}

} // namespace
} // namespace ombrix
