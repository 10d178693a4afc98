#include "document/BrainLoader.h"

#include "core/AtomicFile.h"
#include "core/LogSink.h"
#include "document/BrainFingerprint.h"
#include "document/BridgeError.h"
#include "document/PDFKitBridge.h"
#include "support/Fixtures.h"
#include "support/TempDir.h"

#include <chrono>
#include <fstream>
#include <gtest/gtest.h>

namespace ombrix {
namespace {

namespace fx = ombrix::testing;
using std::chrono::microseconds;

// 2026-12-08 04:15:58.700 UTC.
const TimePoint kStart = TimePoint{} + std::chrono::milliseconds(1796703358700);

// `start` on the first reading and 42.3 ms later on every one after, so a load sees
// exactly that much time pass however often it looks.
class SteppingClock : public Clock {
public:
    TimePoint now() const override { return calls_++ == 0 ? start : start + microseconds(42300); }
    TimePoint start = kStart;
    mutable int calls_ = 0;
};

class BrainLoaderTest : public ::testing::Test {
protected:
    std::filesystem::path document(const std::string& name, std::optional<std::string> title) {
        fx::FixtureDocument fixture;
        fixture.pages.resize(2);
        fixture.pages[1].width = 842;
        fixture.pages[1].height = 595;
        fixture.pages[1].rotation = 90;
        fixture.title = std::move(title);
        return fx::writePdf(fixture, dir / name);
    }
    std::optional<std::string> sidecar(const std::filesystem::path& file) const {
        return readFile(store->directory() / (*BrainFingerprint::compute(file) + ".json"));
    }
    std::size_t sidecarCount() const {
        return std::distance(std::filesystem::directory_iterator(store->directory()),
                             std::filesystem::directory_iterator());
    }

    fx::TempDir dir;
    std::shared_ptr<BrainStore> store = std::make_shared<BrainStore>(dir / "Brains");
    std::shared_ptr<MemorySink> sink = std::make_shared<MemorySink>();
    std::shared_ptr<SteppingClock> clock = std::make_shared<SteppingClock>();
    BrainLoader loader{store, std::make_shared<PDFKitBridge>(),
                       Logging(Logging::kSubsystem, Logging::kCategory, sink), clock};
};

TEST_F(BrainLoaderTest, EveryOpenWritesAFreshSidecarAndARepeatLogsTheHit) {
    auto path = document("report.pdf", "Annual/Report");
    auto first = loader.load(path);
    EXPECT_FALSE(first.brainReused);
    EXPECT_EQ(first.document->brainFingerprint, BrainFingerprint::compute(path));
    EXPECT_EQ(sink->lines(), std::vector<std::string>{"Loaded report.pdf in 42ms"});

    auto brain = DocumentBrain::decode(sidecar(path).value_or(""));
    ASSERT_TRUE(brain);
    EXPECT_EQ(brain->path, path.string());
    EXPECT_EQ(brain->fileSize, std::int64_t(std::filesystem::file_size(path)));
    EXPECT_EQ(brain->pageSizes, (std::vector<PageSizeEntry>{{612, 792, 0}, {842, 595, 90}}));
    EXPECT_EQ(brain->title, "Annual/Report");
    EXPECT_FALSE(brain->author);
    EXPECT_LT(std::chrono::abs(brain->savedAt - (kStart + microseconds(42300))), microseconds(1));
    EXPECT_EQ(brain->modifiedAt, brain->savedAt) << "the sidecar's time, not the file's";
    EXPECT_EQ(sidecar(path)->find("\"author\""), std::string::npos);

    sink->clear();
    clock->start = kStart + std::chrono::hours(24);
    clock->calls_ = 0;
    auto second = loader.load(path);
    EXPECT_FALSE(second.brainReused);
    EXPECT_NE(second.document->id, first.document->id);
    EXPECT_EQ(sink->lines(), (std::vector<std::string>{
                                 "Brain HIT for report.pdf (saved 2026-12-08 04:15:58 +0000)",
                                 "Loaded report.pdf in 42ms"}));
    EXPECT_EQ(sidecarCount(), 1u);
    EXPECT_GT(DocumentBrain::decode(*sidecar(path))->savedAt, brain->savedAt);
}

TEST_F(BrainLoaderTest, ASidecarWithoutPageSizesCountsAsAbsentAndIsReplaced) {
    auto path = document("old.pdf", std::nullopt);
    std::ofstream(store->directory() / (*BrainFingerprint::compute(path) + ".json"))
        << R"({"schemaVersion":1,"path":"\/old.pdf","fingerprint":"x","fileSize":1,)"
           R"("modifiedAt":0,"pageCount":2,"savedAt":0})";
    loader.load(path);
    EXPECT_EQ(sink->lines(), std::vector<std::string>{"Loaded old.pdf in 42ms"});
    EXPECT_EQ(DocumentBrain::decode(sidecar(path).value_or(""))->pageSizes.size(), 2u);
}

TEST_F(BrainLoaderTest, FilesThatDoNotOpenLeaveNoSidecarButMayStillLogAHit) {
    fx::writeTextFileNamedPdf(dir / "text.pdf");
    fx::writeZeroPagePdf(dir / "empty.pdf");
    EXPECT_THROW(loader.load(dir / "text.pdf"), BridgeError);
    EXPECT_THROW(loader.load(dir / "empty.pdf"), BridgeError);
    EXPECT_EQ(sidecarCount(), 0u);
    EXPECT_TRUE(sink->lines().empty());

    DocumentBrain old;
    old.fingerprint = *BrainFingerprint::compute(dir / "text.pdf");
    old.savedAt = old.modifiedAt = kStart;
    store->save(old);
    try {
        loader.load(dir / "text.pdf");
        ADD_FAILURE() << "a text file opened";
    } catch (const BridgeError& e) {
        EXPECT_EQ(e.description().rfind("Cannot open text.pdf: it is not a PDF", 0), 0u)
            << e.description();
    }
    EXPECT_EQ(sink->lines(),
              std::vector<std::string>{"Brain HIT for text.pdf (saved 2026-12-08 04:15:58 +0000)"});
    EXPECT_EQ(sidecar(dir / "text.pdf"), old.encode()) << "the old sidecar stays as it was";
}

TEST(LogTimestampTest, IsUtcTruncatedToTheSecond) {
    EXPECT_EQ(formatLogTimestamp(fromSecondsSinceReferenceDate(-0.25)),
              "2000-12-31 23:59:59 +0000");
    EXPECT_EQ(formatLogTimestamp(kStart), "2026-12-08 04:15:58 +0000");
}

} // namespace
} // namespace ombrix
