#include "core/AtomicFile.h"

#include "core/Error.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <vector>

using namespace ombrix;
namespace fs = std::filesystem;

namespace {

struct AtomicFileTest : ::testing::Test {
    fs::path dir;

    void SetUp() override {
        std::string tmpl = (fs::temp_directory_path() / "ombrix-atomic-XXXXXX").string();
        ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
        dir = tmpl;
    }
    void TearDown() override { fs::remove_all(dir); }

    std::vector<std::string> entries(const fs::path& folder) const {
        std::vector<std::string> names;
        for (auto& e : fs::directory_iterator(folder)) {
            names.push_back(e.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }
};

} // namespace

TEST_F(AtomicFileTest, CreatesAndReplacesTheWholeFile) {
    auto target = dir / "file.bin";
    std::string large(200000, 'x');
    writeFileAtomically(target, large);
    EXPECT_EQ(readFile(target), large);

    using namespace std::string_literals;
    std::string small = "a\0b\n"s;
    writeFileAtomically(target, small);
    EXPECT_EQ(readFile(target), small);

    writeFileAtomically(target, "");
    EXPECT_EQ(readFile(target), "");
    EXPECT_EQ(entries(dir), std::vector<std::string>{"file.bin"});
}

TEST_F(AtomicFileTest, MissingFolderFailsWithoutCreatingAnything) {
    auto target = dir / "absent" / "file.json";
    try {
        writeFileAtomically(target, "data");
        FAIL() << "expected an error";
    } catch (const Error& e) {
        EXPECT_EQ(e.domain(), "AtomicFile");
        EXPECT_EQ(e.code(), ENOENT);
        EXPECT_NE(e.description().find(target.string()), std::string::npos);
    }
    EXPECT_TRUE(entries(dir).empty());
}

TEST_F(AtomicFileTest, FailedRenameLeavesTheTargetAndNoTemporary) {
    auto target = dir / "taken";
    fs::create_directories(target / "inner");
    writeFileAtomically(dir / "other", "keep me");

    EXPECT_THROW(writeFileAtomically(target, "new bytes"), Error);
    EXPECT_TRUE(fs::is_directory(target / "inner"));
    EXPECT_EQ(entries(dir), (std::vector<std::string>{"other", "taken"}));
    EXPECT_EQ(readFile(dir / "other"), "keep me");
}

TEST_F(AtomicFileTest, KeepsPermissionsAndFollowsSymbolicLinks) {
    auto real = dir / "real.json";
    writeFileAtomically(real, "old");
    fs::permissions(real, fs::perms(0640));
    auto link = dir / "link.json";
    fs::create_symlink(real, link);

    writeFileAtomically(link, "new");
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(readFile(real), "new");
    struct stat st {};
    ASSERT_EQ(::stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(entries(dir), (std::vector<std::string>{"link.json", "real.json"}));
}

TEST_F(AtomicFileTest, ConcurrentWritersNeverMixTheirBytes) {
    auto target = dir / "shared";
    std::vector<std::string> contents;
    for (char c = 'a'; c < 'i'; ++c) {
        contents.emplace_back(50000, c);
    }
    std::vector<std::thread> writers;
    for (const auto& content : contents) {
        writers.emplace_back([&target, &content] {
            for (int i = 0; i < 10; ++i) {
                writeFileAtomically(target, content);
            }
        });
    }
    for (auto& w : writers) {
        w.join();
    }
    auto result = readFile(target);
    ASSERT_TRUE(result);
    EXPECT_NE(std::find(contents.begin(), contents.end(), *result), contents.end());
    EXPECT_EQ(entries(dir), std::vector<std::string>{"shared"});
}

// An edit that locks its file can save through a writer that locks it too; other threads
// still wait for both to let go.
TEST_F(AtomicFileTest, AThreadsOwnLockIsSharedWithItAndNobodyElse) {
    auto target = dir / "doc";
    writeFileAtomically(target, "one");
    std::atomic<bool> otherHasIt{false};
    std::thread other;
    {
        FileLock outer(target);
        {
            FileLock inner(target); // would wait forever were it not shared
        }
        other = std::thread([&] {
            FileLock lock(target);
            otherHasIt = true;
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        // Still held: the inner lock's end did not let go of the outer one.
        EXPECT_FALSE(otherHasIt.load());
    }
    other.join();
    EXPECT_TRUE(otherHasIt.load());
}

TEST_F(AtomicFileTest, ReadFileReportsAbsenceForMissingFilesAndFolders) {
    EXPECT_EQ(readFile(dir / "missing"), std::nullopt);
    EXPECT_EQ(readFile(dir), std::nullopt);
}
