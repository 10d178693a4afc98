#include "document/BrainLoader.h"

#include "BrainPrinting.h"
#include "core/AtomicFile.h"
#include "core/LogSink.h"
#include "core/Logging.h"
#include "document/BrainFingerprint.h"
#include "document/BridgeError.h"
#include "document/PDFKitBridge.h"
#include "support/Fixtures.h"
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

// 2026-12-08 04:15:58.700 UTC.
const TimePoint kSavedTime =
    TimePoint{} + std::chrono::seconds(978307200) + std::chrono::milliseconds(818396158700);

// Gives `start` on the first call and `start + step` from then on, so a load that reads
// the time when it starts and again later sees exactly `step` pass.
class SteppingClock : public Clock {
public:
    SteppingClock(TimePoint start, Duration step) : start_(start), step_(step) {}
    TimePoint now() const override { return calls_++ == 0 ? start_ : start_ + step_; }
    void restart(TimePoint start) {
        start_ = start;
        calls_ = 0;
    }

private:
    TimePoint start_;
    Duration step_;
    mutable int calls_ = 0;
};

class BrainLoaderTest : public ::testing::Test {
protected:
    std::filesystem::path writeDocument(const std::string& name,
                                        std::optional<std::string> title = std::nullopt,
                                        std::optional<std::string> author = std::nullopt) {
        ombrix::testing::FixtureDocument fixture;
        fixture.pages = {ombrix::testing::FixturePage{}, ombrix::testing::FixturePage{}};
        fixture.pages[1].width = 842;
        fixture.pages[1].height = 595;
        fixture.pages[1].rotation = 90;
        fixture.title = std::move(title);
        fixture.author = std::move(author);
        return ombrix::testing::writePdf(fixture, dir / name);
    }
    std::filesystem::path sidecarOf(const std::filesystem::path& file) const {
        return store->directory() / (BrainFingerprint::compute(file).value() + ".json");
    }
    std::vector<std::filesystem::path> sidecars() const {
        std::vector<std::filesystem::path> all;
        for (const auto& entry : std::filesystem::directory_iterator(store->directory())) {
            all.push_back(entry.path());
        }
        return all;
    }

    TempDir dir;
    std::shared_ptr<BrainStore> store = std::make_shared<BrainStore>(dir / "support" / "Brains");
    std::shared_ptr<MemorySink> sink = std::make_shared<MemorySink>();
    std::shared_ptr<SteppingClock> clock = std::make_shared<SteppingClock>(
        kSavedTime - std::chrono::microseconds(42300), std::chrono::microseconds(42300));
    BrainLoader loader{store, std::make_shared<PDFKitBridge>(),
                       Logging(Logging::kSubsystem, Logging::kCategory, sink), clock};
};

TEST_F(BrainLoaderTest, OpensTheFileWritesAFreshSidecarAndLogsTheTimeTaken) {
    auto path = writeDocument("report.pdf", "Annual/Report");
    auto result = loader.load(path);
    ASSERT_TRUE(result.document);
    EXPECT_FALSE(result.brainReused);
    EXPECT_EQ(result.document->pageCount, 2);
    EXPECT_EQ(result.document->brainFingerprint, BrainFingerprint::compute(path));
    EXPECT_EQ(sink->lines(), std::vector<std::string>{"Loaded report.pdf in 42ms"});
    EXPECT_EQ(sink->entries().front().level, LogLevel::info);

    auto brain = store->load(path, result.document->brainFingerprint);
    ASSERT_TRUE(brain);
    EXPECT_EQ(brain->schemaVersion, 1);
    EXPECT_EQ(brain->path, path.string());
    EXPECT_EQ(brain->fingerprint, result.document->brainFingerprint);
    EXPECT_EQ(brain->fileSize, static_cast<std::int64_t>(std::filesystem::file_size(path)));
    EXPECT_EQ(brain->pageCount, 2);
    EXPECT_EQ(brain->pageSizes, (std::vector<PageSizeEntry>{{612, 792, 0}, {842, 595, 90}}));
    EXPECT_EQ(brain->title, "Annual/Report");
    EXPECT_FALSE(brain->author);
    // Stored as a double of seconds: good to well under a microsecond.
    EXPECT_LT(std::chrono::abs(brain->savedAt - kSavedTime), std::chrono::microseconds(1));
    EXPECT_EQ(brain->modifiedAt, brain->savedAt) << "the sidecar's time, not the file's";

    auto text = readFile(sidecarOf(path)).value();
    EXPECT_NE(text.find(R"("title":"Annual\/Report")"), std::string::npos) << text;
    EXPECT_EQ(text.find("\"author\""), std::string::npos) << text;
}

TEST_F(BrainLoaderTest, ASecondOpenLogsTheHitButStillBuildsFromTheFile) {
    auto path = writeDocument("notes.pdf");
    auto first = loader.load(path);
    sink->clear();
    clock->restart(kSavedTime + std::chrono::hours(24));

    auto second = loader.load(path);
    EXPECT_FALSE(second.brainReused);
    EXPECT_NE(second.document, first.document);
    EXPECT_NE(second.document->id, first.document->id);
    EXPECT_EQ(sink->lines(),
              (std::vector<std::string>{"Brain HIT for notes.pdf (saved 2026-12-08 04:15:58 +0000)",
                                        "Loaded notes.pdf in 42ms"}));
    EXPECT_EQ(sidecars().size(), 1u);
    auto brain = store->load(path, second.document->brainFingerprint);
    EXPECT_LT(std::chrono::abs(brain->savedAt - (kSavedTime + std::chrono::hours(24) +
                                                 std::chrono::microseconds(42300))),
              std::chrono::microseconds(1));
    EXPECT_FALSE(brain->title);
}

TEST_F(BrainLoaderTest, ASidecarWithoutPageSizesCountsAsAbsentAndIsReplaced) {
    auto path = writeDocument("old.pdf");
    auto fingerprint = BrainFingerprint::compute(path).value();
    auto stale = nlohmann::json::parse(
        R"({"schemaVersion":1,"path":"/old.pdf","fileSize":1,"modifiedAt":0,"pageCount":2,"savedAt":0})");
    stale["fingerprint"] = fingerprint;
    std::ofstream(sidecarOf(path)) << stale.dump();

    loader.load(path);
    EXPECT_EQ(sink->lines(), std::vector<std::string>{"Loaded old.pdf in 42ms"});
    auto brain = store->load(path, fingerprint);
    ASSERT_TRUE(brain);
    EXPECT_EQ(brain->pageSizes.size(), 2u);
}

TEST_F(BrainLoaderTest, FilesThatDoNotOpenLeaveNoSidecarButMayStillLogAHit) {
    ombrix::testing::writeTextFileNamedPdf(dir / "text.pdf");
    try {
        loader.load(dir / "text.pdf");
        ADD_FAILURE() << "a text file opened";
    } catch (const BridgeError& e) {
        EXPECT_EQ(e.description(), "Cannot open text.pdf");
    }
    ombrix::testing::writeZeroPagePdf(dir / "empty.pdf");
    try {
        loader.load(dir / "empty.pdf");
        ADD_FAILURE() << "a document without pages opened";
    } catch (const BridgeError& e) {
        EXPECT_EQ(e.kind(), BridgeError::Kind::emptyDocument);
    }
    EXPECT_TRUE(sidecars().empty());
    EXPECT_TRUE(sink->lines().empty());

    // An older sidecar under the same fingerprint is still found before the open fails.
    DocumentBrain old;
    old.fingerprint = BrainFingerprint::compute(dir / "text.pdf").value();
    old.savedAt = kSavedTime;
    old.modifiedAt = kSavedTime;
    store->save(old);
    EXPECT_THROW(loader.load(dir / "text.pdf"), BridgeError);
    EXPECT_EQ(sink->lines(),
              std::vector<std::string>{"Brain HIT for text.pdf (saved 2026-12-08 04:15:58 +0000)"});
    EXPECT_EQ(readFile(store->directory() / (old.fingerprint + ".json")), old.encode())
        << "the old sidecar is not rewritten";
}

TEST(LogTimestampTest, IsUtcWithWholeSeconds) {
    EXPECT_EQ(formatLogTimestamp(fromSecondsSinceReferenceDate(0)), "2001-01-01 00:00:00 +0000");
    EXPECT_EQ(formatLogTimestamp(fromSecondsSinceReferenceDate(-0.25)),
              "2000-12-31 23:59:59 +0000");
    EXPECT_EQ(formatLogTimestamp(kSavedTime), "2026-12-08 04:15:58 +0000");
}

} // namespace
} // namespace ombrix
