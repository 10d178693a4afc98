#include "core/AtomicFile.h"
#include "document/BrainStore.h"
#include "support/TempDir.h"

#include <chrono>
#include <gtest/gtest.h>
#include <set>
#include <sys/stat.h>

namespace ombrix {
namespace brain_hardening {

using testing::TempDir;
namespace fs = std::filesystem;

DocumentBrain version(const std::string& path, char digit, int minutes) {
    DocumentBrain brain;
    brain.path = path;
    brain.fingerprint = std::string(64, digit);
    brain.fileSize = 1000 + minutes;
    brain.modifiedAt = brain.savedAt =
        TimePoint{} + std::chrono::hours(24 * 365 * 50) + std::chrono::minutes(minutes);
    brain.pageCount = 1;
    brain.pageSizes = {{612, 792, 0}};
    return brain;
}

std::set<std::string> sidecars(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

TEST(BrainStoreHardening, ALinkPlantedAtASidecarsNameIsReplacedAndItsTargetKept) {
    TempDir dir;
    BrainStore store(dir / "Brains");
    const fs::path victim = dir / "thesis.tex";
    writeFileAtomically(victim, "\\documentclass{article} years of work");
    const DocumentBrain brain = version("/home/ana/report.pdf", 'a', 0);
    fs::create_symlink(victim, *store.fileFor(brain.fingerprint));

    store.save(brain);
    EXPECT_EQ(readFile(victim), "\\documentclass{article} years of work");
    EXPECT_FALSE(fs::is_symlink(*store.fileFor(brain.fingerprint)));
    ASSERT_TRUE(store.load({}, brain.fingerprint));
    EXPECT_EQ(store.load({}, brain.fingerprint)->path, brain.path);
}

TEST(BrainStoreHardening, TheFolderAndTheSidecarsArePrivate) {
    TempDir dir;
    BrainStore store(dir / "OmbrixPdf" / "Brains");
    struct stat st {};
    for (const fs::path& level : {dir / "OmbrixPdf", dir / "OmbrixPdf" / "Brains"}) {
        ASSERT_EQ(::stat(level.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u) << level;
    }
    const DocumentBrain brain = version("/home/ana/private.pdf", 'b', 0);
    store.save(brain);
    ASSERT_EQ(::stat(store.fileFor(brain.fingerprint)->c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(BrainStoreHardening, KeepsTheNewestVersionsOfEachPathOnly) {
    TempDir dir;
    BrainStore store(dir / "Brains");
    // Another document, and one whose path begins with the first's.
    store.save(version("/home/ana/report.pdf.old", 'x', 1));
    store.save(version("/home/ana/other.pdf", 'y', 2));
    // Six edits of one document, saved in an order that is not their age.
    const char digits[] = {'1', '2', '3', '4', '5', '6'};
    for (int i : {0, 2, 1, 3, 5, 4}) {
        store.save(version("/home/ana/report.pdf", digits[i], 10 + i));
    }
    const auto name = [](char digit) {
        std::string file(64, digit);
        file.append(".json");
        return file;
    };
    EXPECT_EQ(sidecars(dir / "Brains"),
              (std::set<std::string>{name('x'), name('y'), name('4'), name('5'), name('6')}));

    // The version just written stays even when the others are newer.
    store.save(version("/home/ana/report.pdf", '0', 0));
    EXPECT_TRUE(fs::exists(dir / "Brains" / name('0')));
    EXPECT_EQ(sidecars(dir / "Brains").size(), 5u);
    EXPECT_FALSE(fs::exists(dir / "Brains" / name('4')));
}

} // namespace brain_hardening
} // namespace ombrix
