#include "document/BrainFingerprint.h"

#include "support/TempDir.h"

#include <array>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace ombrix {
namespace {

using testing::TempDir;

class BrainFingerprintTest : public ::testing::Test {
protected:
    // Writes a file and gives it a modification time of `seconds` + `nanos`.
    std::filesystem::path file(const std::string& name, const std::string& bytes,
                               time_t seconds = 1700000000, long nanos = 0) {
        auto path = dir / name;
        std::ofstream(path, std::ios::binary) << bytes;
        touch(path, seconds, nanos);
        return path;
    }
    static void touch(const std::filesystem::path& path, time_t seconds, long nanos) {
        timespec times[2] = {{seconds, nanos}, {seconds, nanos}};
        ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    }
    // What coreutils' sha256sum makes of size and time little-endian, then `head`: an
    // expectation that shares no code with the implementation.
    std::string expected(std::int64_t size, time_t seconds, long nanos, const std::string& head) {
        double mtime = double(seconds) + double(nanos) / 1e9;
        std::uint64_t bits[2] = {std::uint64_t(size), 0};
        std::memcpy(&bits[1], &mtime, 8);
        std::string input;
        for (std::uint64_t b : bits) {
            for (int i = 0; i < 8; ++i) {
                input.push_back(char((b >> (8 * i)) & 0xff));
            }
        }
        std::ofstream(dir / "input", std::ios::binary) << input + head;
        FILE* pipe = popen(("sha256sum '" + (dir / "input").string() + "'").c_str(), "r");
        std::array<char, 64> hex{};
        std::size_t n = pipe ? fread(hex.data(), 1, hex.size(), pipe) : 0;
        if (pipe) {
            pclose(pipe);
        }
        return std::string(hex.data(), n);
    }
    TempDir dir;
};

TEST_F(BrainFingerprintTest, HashesSizeTimeAndAtMostTheFirst4096Bytes) {
    const std::string shortContent = "%PDF-1.4 not much of a document\n";
    auto shortFile = file("short.pdf", shortContent, 1765000000, 123456789);
    EXPECT_EQ(BrainFingerprint::compute(shortFile),
              expected(std::int64_t(shortContent.size()), 1765000000, 123456789, shortContent));

    std::string longContent(10000, 'a');
    auto longFile = file("long.pdf", longContent);
    EXPECT_EQ(BrainFingerprint::compute(longFile),
              expected(10000, 1700000000, 0, longContent.substr(0, 4096)));
    std::string tail = longContent, head = longContent;
    tail[4096] = 'b';
    head[4095] = 'b';
    EXPECT_EQ(BrainFingerprint::compute(file("tail.pdf", tail)),
              BrainFingerprint::compute(longFile));
    EXPECT_NE(BrainFingerprint::compute(file("head.pdf", head)),
              BrainFingerprint::compute(longFile));
}

TEST_F(BrainFingerprintTest, FollowsContentAndTimeNotTheName) {
    auto a = BrainFingerprint::compute(file("a.pdf", "same bytes", 1600000000, 500));
    std::filesystem::create_directory(dir / "elsewhere");
    auto copy = file("elsewhere/b.pdf", "same bytes", 1600000000, 500);
    ASSERT_TRUE(a);
    EXPECT_EQ(BrainFingerprint::compute(copy), a);

    touch(copy, 1600000000, 1500); // a microsecond later
    EXPECT_NE(BrainFingerprint::compute(copy), a);
    touch(copy, 1600000000, 500);
    EXPECT_EQ(BrainFingerprint::compute(copy), a);
    EXPECT_NE(BrainFingerprint::compute(file("elsewhere/b.pdf", "same bytes ", 1600000000, 500)), a)
        << "one byte more at the same time";
}

TEST_F(BrainFingerprintTest, UnreadableContentHashesSizeAndTimeAloneAndMissingFilesNothing) {
    EXPECT_FALSE(BrainFingerprint::compute(dir / "missing.pdf"));
    std::filesystem::create_directory(dir / "folder.pdf"); // attributes, but nothing to read
    touch(dir / "folder.pdf", 1650000000, 42);
    struct stat info {};
    ASSERT_EQ(stat((dir / "folder.pdf").c_str(), &info), 0);
    EXPECT_EQ(BrainFingerprint::compute(dir / "folder.pdf"),
              expected(info.st_size, 1650000000, 42, ""));

    auto fallback = BrainFingerprint::fallback();
    EXPECT_NE(fallback, BrainFingerprint::fallback());
    EXPECT_EQ(fallback.size(), 36u);
    EXPECT_EQ(fallback.find_first_not_of("0123456789ABCDEF-"), std::string::npos) << fallback;
}

} // namespace
} // namespace ombrix
