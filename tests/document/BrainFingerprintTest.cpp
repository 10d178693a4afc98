#include "document/BrainFingerprint.h"

#include "core/AtomicFile.h"
#include "support/TempDir.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>

namespace ombrix {
namespace {

using testing::TempDir;

void writeBytes(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

void setModificationTime(const std::filesystem::path& path, time_t seconds, long nanoseconds) {
    timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

std::string littleEndian(std::uint64_t bits) {
    std::string out;
    for (int i = 0; i < 8; ++i) {
        out.push_back(static_cast<char>((bits >> (8 * i)) & 0xff));
    }
    return out;
}

// The digest as coreutils computes it over the bytes we expect to be hashed, so the
// expectation does not share code with the implementation.
std::string sha256sum(const std::string& bytes) {
    TempDir scratch;
    writeBytes(scratch / "input", bytes);
    std::string command = "sha256sum '" + (scratch / "input").string() + "'";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) {
        ADD_FAILURE() << "sha256sum did not start";
        return {};
    }
    std::array<char, 65> hex{};
    std::size_t n = fread(hex.data(), 1, 64, pipe);
    pclose(pipe);
    return std::string(hex.data(), n);
}

std::string expectedHashInput(std::int64_t size, time_t seconds, long nanoseconds,
                              const std::string& head) {
    double mtime = static_cast<double>(seconds) + static_cast<double>(nanoseconds) / 1e9;
    std::uint64_t timeBits;
    std::memcpy(&timeBits, &mtime, 8);
    return littleEndian(static_cast<std::uint64_t>(size)) + littleEndian(timeBits) + head;
}

TEST(BrainFingerprintTest, HashesSizeTimeAndAShortFileWhole) {
    TempDir dir;
    const std::string content = "%PDF-1.4 not much of a document\n";
    writeBytes(dir / "short.pdf", content);
    setModificationTime(dir / "short.pdf", 1765000000, 123456789);

    auto fingerprint = BrainFingerprint::compute(dir / "short.pdf");
    ASSERT_TRUE(fingerprint);
    EXPECT_EQ(*fingerprint, sha256sum(expectedHashInput(static_cast<std::int64_t>(content.size()),
                                                        1765000000, 123456789, content)));
    EXPECT_EQ(fingerprint->size(), 64u);
    EXPECT_EQ(fingerprint->find_first_not_of("0123456789abcdef"), std::string::npos);
}

TEST(BrainFingerprintTest, OnlyTheFirst4096BytesOfContentCount) {
    TempDir dir;
    std::string content(10000, 'a');
    writeBytes(dir / "long.pdf", content);
    setModificationTime(dir / "long.pdf", 1700000000, 0);
    EXPECT_EQ(BrainFingerprint::compute(dir / "long.pdf"),
              sha256sum(expectedHashInput(10000, 1700000000, 0, content.substr(0, 4096))));

    std::string tailChanged = content;
    tailChanged[4096] = 'b';
    writeBytes(dir / "tail.pdf", tailChanged);
    setModificationTime(dir / "tail.pdf", 1700000000, 0);
    EXPECT_EQ(BrainFingerprint::compute(dir / "tail.pdf"),
              BrainFingerprint::compute(dir / "long.pdf"));

    std::string headChanged = content;
    headChanged[4095] = 'b';
    writeBytes(dir / "head.pdf", headChanged);
    setModificationTime(dir / "head.pdf", 1700000000, 0);
    EXPECT_NE(BrainFingerprint::compute(dir / "head.pdf"),
              BrainFingerprint::compute(dir / "long.pdf"));
}

TEST(BrainFingerprintTest, FollowsContentAndTimeNotTheName) {
    TempDir dir;
    const std::string content = "same bytes";
    writeBytes(dir / "a.pdf", content);
    std::filesystem::create_directory(dir / "elsewhere");
    writeBytes(dir / "elsewhere" / "b.pdf", content);
    setModificationTime(dir / "a.pdf", 1600000000, 500);
    setModificationTime(dir / "elsewhere" / "b.pdf", 1600000000, 500);
    auto a = BrainFingerprint::compute(dir / "a.pdf");
    ASSERT_TRUE(a);
    EXPECT_EQ(BrainFingerprint::compute(dir / "elsewhere" / "b.pdf"), a);

    // A touch, even by a microsecond, is a new fingerprint; the old time gives the old one.
    setModificationTime(dir / "elsewhere" / "b.pdf", 1600000000, 1500);
    EXPECT_NE(BrainFingerprint::compute(dir / "elsewhere" / "b.pdf"), a);
    setModificationTime(dir / "elsewhere" / "b.pdf", 1600000000, 500);
    EXPECT_EQ(BrainFingerprint::compute(dir / "elsewhere" / "b.pdf"), a);

    // Same time, one byte more: the size alone changes it.
    writeBytes(dir / "elsewhere" / "b.pdf", content + " ");
    setModificationTime(dir / "elsewhere" / "b.pdf", 1600000000, 500);
    EXPECT_NE(BrainFingerprint::compute(dir / "elsewhere" / "b.pdf"), a);
}

TEST(BrainFingerprintTest, UnreadableContentHashesSizeAndTimeAloneAndMissingFilesNothing) {
    TempDir dir;
    EXPECT_FALSE(BrainFingerprint::compute(dir / "missing.pdf"));

    // A folder has attributes but no content to read.
    std::filesystem::create_directory(dir / "folder.pdf");
    setModificationTime(dir / "folder.pdf", 1650000000, 42);
    struct stat info {};
    ASSERT_EQ(stat((dir / "folder.pdf").c_str(), &info), 0);
    EXPECT_EQ(BrainFingerprint::compute(dir / "folder.pdf"),
              sha256sum(expectedHashInput(info.st_size, 1650000000, 42, "")));

    writeBytes(dir / "empty.pdf", "");
    setModificationTime(dir / "empty.pdf", 1650000000, 42);
    EXPECT_EQ(BrainFingerprint::compute(dir / "empty.pdf"),
              sha256sum(expectedHashInput(0, 1650000000, 42, "")));
}

TEST(BrainFingerprintTest, TheFallbackIsAFreshUpperCaseUuid) {
    auto a = BrainFingerprint::fallback();
    auto b = BrainFingerprint::fallback();
    EXPECT_NE(a, b);
    ASSERT_EQ(a.size(), 36u);
    EXPECT_EQ(a.find_first_not_of("0123456789ABCDEF-"), std::string::npos) << a;
    EXPECT_EQ(a[14], '4');
}

} // namespace
} // namespace ombrix
