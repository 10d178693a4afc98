#include "document/BrainStore.h"

#include "BrainPrinting.h"
#include "core/AtomicFile.h"
#include "document/DocumentBrain.h"
#include "support/TempDir.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <ostream>

namespace ombrix {
namespace {

using testing::TempDir;

// A time exactly `millis` milliseconds after 2001-01-01 UTC, which a stored double holds.
TimePoint sinceReferenceDate(std::int64_t millis) {
    return TimePoint{} + std::chrono::seconds(978307200) + std::chrono::milliseconds(millis);
}

DocumentBrain sampleBrain() {
    DocumentBrain brain;
    brain.path = "/home/ana/My Papers/report.pdf";
    brain.fingerprint = std::string(64, 'c');
    brain.fileSize = 123456;
    brain.modifiedAt = sinceReferenceDate(818396158750);
    brain.pageCount = 2;
    brain.pageSizes = {{612, 792, 0}, {595.5, 842, 90}};
    brain.savedAt = sinceReferenceDate(818396158750);
    return brain;
}

TEST(DocumentBrainTest, EncodesCompactlyWithEscapedSlashesAndNoAbsentMembers) {
    EXPECT_EQ(sampleBrain().encode(),
              R"({"schemaVersion":1,"path":"\/home\/ana\/My Papers\/report.pdf",)"
              R"("fingerprint":"cccccccccccccccccccccccccccccccccccccccccccccccccccccccccccccccc",)"
              R"("fileSize":123456,"modifiedAt":818396158.75,"pageCount":2,"pageSizes":[)"
              R"({"widthPt":612.0,"heightPt":792.0,"rotationDeg":0},)"
              R"({"widthPt":595.5,"heightPt":842.0,"rotationDeg":90}],"savedAt":818396158.75})");

    DocumentBrain titled = sampleBrain();
    titled.title = "Input/Output";
    titled.author = "Zoë \"Z\" Ng";
    std::string text = titled.encode();
    EXPECT_NE(text.find(R"("pageSizes":[)"), std::string::npos);
    EXPECT_NE(text.find(R"(],"title":"Input\/Output","author":"Zoë \"Z\" Ng","savedAt":)"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find('\n'), std::string::npos);
}

TEST(DocumentBrainTest, DecodesWhatItEncodesAndIgnoresMemberOrder) {
    DocumentBrain brain = sampleBrain();
    brain.title = "A/B";
    EXPECT_EQ(DocumentBrain::decode(brain.encode()), brain);
    EXPECT_EQ(DocumentBrain::decode(sampleBrain().encode()), sampleBrain());

    // A time of the clock's full precision comes back within a microsecond.
    DocumentBrain now = sampleBrain();
    now.savedAt = std::chrono::system_clock::now();
    auto back = DocumentBrain::decode(now.encode());
    ASSERT_TRUE(back);
    EXPECT_LT(std::chrono::abs(back->savedAt - now.savedAt), std::chrono::microseconds(1));

    auto reordered = DocumentBrain::decode(
        R"({"savedAt":0,"pageSizes":[],"pageCount":0,"modifiedAt":-10.5,"fileSize":0,)"
        R"("fingerprint":"f","path":"/x","schemaVersion":1,"extra":{"ignored":true},"title":null})");
    ASSERT_TRUE(reordered);
    EXPECT_EQ(reordered->path, "/x");
    EXPECT_FALSE(reordered->title);
    EXPECT_EQ(secondsSinceReferenceDate(reordered->modifiedAt), -10.5);
}

TEST(DocumentBrainTest, AnyMissingOrMistypedRequiredMemberMakesItUnreadable) {
    const auto good = nlohmann::json::parse(sampleBrain().encode());
    for (const char* key : {"schemaVersion", "path", "fingerprint", "fileSize", "modifiedAt",
                            "pageCount", "pageSizes", "savedAt"}) {
        auto broken = good;
        broken.erase(key);
        EXPECT_FALSE(DocumentBrain::decode(broken.dump())) << "without " << key;
    }

    auto withMember = [&](const std::string& pointer, nlohmann::json value) {
        auto changed = good;
        changed[nlohmann::json::json_pointer(pointer)] = std::move(value);
        return changed.dump();
    };
    EXPECT_FALSE(DocumentBrain::decode(withMember("/schemaVersion", "1")));
    EXPECT_FALSE(DocumentBrain::decode(withMember("/path", 7)));
    EXPECT_FALSE(DocumentBrain::decode(withMember("/fileSize", 1.5)));
    EXPECT_FALSE(DocumentBrain::decode(withMember("/pageCount", nullptr)));
    EXPECT_FALSE(DocumentBrain::decode(withMember("/pageCount", 1e12)));
    EXPECT_FALSE(DocumentBrain::decode(withMember("/pageSizes", nlohmann::json::object())));
    EXPECT_FALSE(DocumentBrain::decode(withMember("/pageSizes/0/rotationDeg", 90.5)));
    EXPECT_FALSE(DocumentBrain::decode(withMember("/pageSizes/1/heightPt", "842")));
    EXPECT_FALSE(DocumentBrain::decode(withMember("/savedAt", "yesterday")));
    EXPECT_FALSE(DocumentBrain::decode(withMember("/title", 5)));
    // A time the clock cannot hold is unreadable rather than an overflow.
    EXPECT_FALSE(DocumentBrain::decode(withMember("/savedAt", 1e300)));

    auto sizes = good;
    sizes["pageSizes"].push_back(3);
    EXPECT_FALSE(DocumentBrain::decode(sizes.dump()));

    EXPECT_FALSE(DocumentBrain::decode(""));
    EXPECT_FALSE(DocumentBrain::decode("[]"));
    EXPECT_FALSE(DocumentBrain::decode(sampleBrain().encode().substr(0, 40)));
}

TEST(BrainStoreTest, SavesLoadsAndDeletesByFingerprint) {
    TempDir dir;
    BrainStore store(dir / "OmbrixPdf" / "Brains");
    ASSERT_TRUE(std::filesystem::is_directory(dir / "OmbrixPdf" / "Brains"));

    DocumentBrain brain = sampleBrain();
    EXPECT_FALSE(store.load("/anywhere.pdf", brain.fingerprint));
    store.save(brain);
    auto file = dir / "OmbrixPdf" / "Brains" / (brain.fingerprint + ".json");
    EXPECT_EQ(readFile(file), brain.encode());
    // The path given to load plays no part in finding the sidecar.
    EXPECT_EQ(store.load("/somewhere/else.pdf", brain.fingerprint), brain);

    brain.pageCount = 1;
    brain.pageSizes.pop_back();
    store.save(brain);
    EXPECT_EQ(store.load({}, brain.fingerprint), brain) << "a save replaces the old sidecar";

    store.remove(brain.fingerprint);
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_FALSE(store.load({}, brain.fingerprint));
    store.remove(brain.fingerprint); // nothing there any more: ignored
}

TEST(BrainStoreTest, BadSidecarsAreAbsentAndLeftInPlace) {
    TempDir dir;
    BrainStore store(dir.path());
    auto file = dir / "abc.json";
    { std::ofstream(file) << R"({"schemaVersion":1,"path":"\/x")"; }
    EXPECT_FALSE(store.load({}, "abc"));
    EXPECT_TRUE(std::filesystem::exists(file));

    std::filesystem::create_directory(dir / "folder.json");
    EXPECT_FALSE(store.load({}, "folder"));
}

TEST(BrainStoreTest, FingerprintsCannotNameFilesOutsideTheFolder) {
    TempDir dir;
    std::filesystem::create_directory(dir / "brains");
    BrainStore store(dir / "brains");
    DocumentBrain brain = sampleBrain();
    for (const std::string& name :
         std::vector<std::string>{"../escape", "..", ".", "", "a/b", std::string("nul\0byte", 8)}) {
        brain.fingerprint = name;
        store.save(brain);
        EXPECT_FALSE(store.load({}, name)) << name;
        store.remove(name);
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "escape.json"));
    EXPECT_TRUE(std::filesystem::is_empty(dir / "brains"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              1);
}

TEST(BrainStoreTest, AFolderThatCannotBeMadeIsIgnored) {
    TempDir dir;
    std::ofstream(dir / "file") << "in the way";
    BrainStore store(dir / "file" / "Brains");
    store.save(sampleBrain());
    EXPECT_FALSE(store.load({}, sampleBrain().fingerprint));
}

} // namespace
} // namespace ombrix
