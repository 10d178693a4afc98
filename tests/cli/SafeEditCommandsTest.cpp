// The commands that open and edit a user's files, tried as a careful user and a hostile
// file would: concurrent edits, files that are not PDFs or not files, senseless numbers.

#include "core/AtomicFile.h"
#include "pdfkit/Document.h"
#include "pdfkit/Page.h"
#include "support/DecompressionBomb.h"
#include "support/Fixtures.h"
#include "support/Shell.h"
#include "support/TempDir.h"

#include <algorithm>
#include <chrono>
#include <gtest/gtest.h>
#include <initializer_list>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
namespace fx = ombrix::testing;
using fx::shellQuoted;

class SafeEditCommandsTest : public ::testing::Test {
protected:
    std::string tool() const {
        return "XDG_DATA_HOME=" + shellQuoted(data.path().string()) + " " +
               shellQuoted(OMBRIX_CLI_PATH);
    }
    fx::ShellRun run(const std::string& arguments) {
        return fx::runShell(tool() + " " + arguments);
    }
    fx::TempDir dir;
    fx::TempDir data;
};

std::size_t annotationCount(const fs::path& path) {
    auto doc = ombrix::pdfkit::Document::open(path);
    if (!doc) {
        return std::size_t(-1);
    }
    return doc->page(0)->annotations().size();
}

// Two edits of one file at the same moment, again and again: each either lands or fails
// cleanly, and the file always opens with exactly the edits that reported success.
TEST_F(SafeEditCommandsTest, ConcurrentEditsNeverCorruptTheFile) {
    const auto file = fx::writePdf(fx::textDocument(2), dir / "shared.pdf");
    const std::string q = shellQuoted(file.string());
    std::size_t landed = 0;
    for (int trial = 0; trial < 8; ++trial) {
        // A highlight replaces the highlights under it: each trial marks a line of its own.
        const std::string highlight = tool() + " highlight " + q + " --page 1 --rect 72," +
                                      std::to_string(700 - 20 * trial) + ",90,12";
        const std::string annotate =
            tool() + " annotate " + q + " --page 1 --type Square --rect 100,100,20,20";
        auto both = fx::runShell("(" + highlight + " >/dev/null 2>" + q + ".a.err; echo $? > " + q +
                                 ".a) & (" + annotate + " >/dev/null 2>" + q +
                                 ".b.err; echo $? > " + q + ".b) & wait");
        ASSERT_EQ(both.status, 0);
        for (const char* side : {".a", ".b"}) {
            const auto status = ombrix::readFile(file.string() + side).value_or("?");
            const auto err = ombrix::readFile(file.string() + side + ".err").value_or("");
            if (status == "0\n") {
                ++landed;
            } else {
                EXPECT_NE(err.find("changed on disk"), std::string::npos) << err;
            }
        }
        ASSERT_EQ(annotationCount(file), landed) << "trial " << trial;
    }
    EXPECT_GE(landed, 8u);
}

// Every command that opens a file, with what it needs after the file. Read-only ones first;
// the edits after them are each valid on the file the earlier ones left.
const std::pair<std::string, std::string> kOpeningCommands[] = {
    {"info", ""},
    {"text", " --page 1"},
    {"annotations", ""},
    {"highlights", ""},
    {"render", " --page 1 -o out.png"},
    {"search", " Page"},
    {"table", " --page 1 --rect 0,0,600,700"},
    {"crop", " --page 1 --rect 72,600,200,100"},
    {"fonts", " --page 1 --char 0"},
    {"formula", " --page 1 --rect 72,600,200,100 --server http://127.0.0.1:9"},
    {"annotate", " --page 1 --type Square --rect 1,1,9,9"},
    {"edit-annotation", " --id 1-1 --rect 2,2,9,9"},
    {"highlight", " --page 2 --rect 72,700,90,12"},
    {"delete-annotation", " --id 1-1"},
    {"rotate", " --page 2 --degrees 90"},
    {"delete-page", " --page 1"},
};

bool mentions(const std::string& text, std::initializer_list<const char*> phrases) {
    return std::any_of(phrases.begin(), phrases.end(),
                       [&](const char* p) { return text.find(p) != std::string::npos; });
}

TEST_F(SafeEditCommandsTest, EveryCommandSaysWhyAFileDoesNotOpen) {
    const auto fifo = dir / "pipe.pdf";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    fs::create_directory(dir / "folder.pdf");
    fx::writeTextFileNamedPdf(dir / "notes.pdf");
    const std::string header = "%PDF-1.7\n" + std::string(2000, '\x01');
    ombrix::writeFileAtomically(dir / "damaged.pdf", header);
    struct Case {
        const char* file;
        std::initializer_list<const char*> reason;
    };
    const Case cases[] = {
        {"pipe.pdf", {"not a regular file"}},
        {"folder.pdf", {"not a regular file"}},
        {"gone.pdf", {"does not exist", "no such file"}},
        {"notes.pdf", {"not a PDF"}},
        {"damaged.pdf", {"damaged beyond repair"}},
    };
    const auto start = std::chrono::steady_clock::now();
    for (const auto& [command, rest] : kOpeningCommands) {
        for (const auto& c : cases) {
            auto result = run(command + " " + shellQuoted((dir / c.file).string()) + rest);
            EXPECT_EQ(result.status, 1) << command << " " << c.file << ": " << result.err;
            EXPECT_TRUE(mentions(result.err, c.reason))
                << command << " " << c.file << ": " << result.err;
        }
    }
    // Nothing waited on the FIFO.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));
    if (::geteuid() != 0) { // root reads anything
        const auto file = fx::writePdf(fx::textDocument(1), dir / "private.pdf");
        fs::permissions(file, fs::perms::none);
        for (const char* command : {"info", "annotate"}) {
            auto result = run(std::string(command) + " " + shellQuoted(file.string()));
            EXPECT_NE(result.err.find("permission denied"), std::string::npos) << result.err;
        }
    }
}

// A locked file: no password says one is needed, a wrong one says so, the right one works
// for every command, and whatever the edits saved still needs the password.
TEST_F(SafeEditCommandsTest, EveryCommandTakesThePasswordOfALockedFile) {
    const auto path = dir / "locked.pdf";
    fx::writeEncryptedPdf(path, "secret");
    const std::string locked = shellQuoted(path.string());
    for (const auto& [command, rest] : kOpeningCommands) {
        auto none = run(command + " " + locked + rest);
        EXPECT_EQ(none.status, 1) << command << ": " << none.err;
        EXPECT_NE(none.err.find("needs a password"), std::string::npos)
            << command << ": " << none.err;
        auto wrong = run(command + " " + locked + rest + " --password guess");
        EXPECT_EQ(wrong.status, 1) << command << ": " << wrong.err;
        EXPECT_NE(wrong.err.find("wrong password"), std::string::npos)
            << command << ": " << wrong.err;
    }
    for (const auto& [command, rest] : kOpeningCommands) {
        if (command == "formula") {
            continue; // opens, then needs a recognition server
        }
        auto right = fx::runShell("cd " + shellQuoted(dir.path().string()) + " && " + tool() + " " +
                                  command + " " + locked + rest + " --password secret");
        // No table in the region is an answer too (status 3).
        EXPECT_TRUE(right.status == 0 || (command == "table" && right.status == 3))
            << command << ": " << right.status << " " << right.err;
    }
    auto text = run("text " + locked + " --page 1 --password secret");
    EXPECT_NE(text.out.find("Page"), std::string::npos) << text.out;
    // The kit's highlight save and the engine's edits kept the encryption.
    auto opened = ombrix::pdfkit::Document::openFile(path);
    ASSERT_EQ(opened.status, ombrix::pdfkit::OpenStatus::needsPassword);
    ASSERT_TRUE(opened.document->authenticate("secret"));
    EXPECT_EQ(opened.document->pageCount(), 1);
    EXPECT_EQ(opened.document->page(0)->rotation(), 90);
    EXPECT_EQ(opened.document->page(0)->annotations().size(), 1u) << "the highlight";
}

TEST_F(SafeEditCommandsTest, SenselessNumbersAreRefusedBeforeAnythingIsWritten) {
    const auto file = fx::writePdf(fx::textDocument(1), dir / "doc.pdf");
    const auto before = ombrix::readFile(file);
    const std::string q = shellQuoted(file.string());
    for (const char* rect : {"1e308,0,10,10", "0,0,1e308,10", "0,0,10,1e7", "nan,0,1,1"}) {
        auto result = run("annotate " + q + " --page 1 --type Square --rect " + rect);
        EXPECT_EQ(result.status, 2) << rect << ": " << result.err;
        auto highlighted = run("highlight " + q + " --page 1 --rect " + rect);
        EXPECT_EQ(highlighted.status, 2) << rect << ": " << highlighted.err;
    }
    auto offPage = run("highlight " + q + " --page 1 --rect 5000,5000,10,10");
    EXPECT_EQ(offPage.status, 1);
    EXPECT_NE(offPage.err.find("outside page 1"), std::string::npos) << offPage.err;
    auto hugeRender =
        run("render " + q + " --page 1 --size 1e9x10 -o " + shellQuoted((dir / "x.png").string()));
    EXPECT_EQ(hugeRender.status, 2) << hugeRender.err;
    EXPECT_EQ(ombrix::readFile(file), before);
}

TEST_F(SafeEditCommandsTest, TheOnlyPageStays) {
    const auto file = fx::writePdf(fx::textDocument(1), dir / "one.pdf");
    auto result = run("delete-page " + shellQuoted(file.string()) + " --page 1");
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("only page"), std::string::npos) << result.err;
    EXPECT_EQ(annotationCount(file), 0u);
}

// The reader's own save path (open, highlight, save) appends to a long file.
TEST_F(SafeEditCommandsTest, OneHighlightOnALongDocumentAppendsLittle) {
    const auto file = fx::writePdf(fx::textDocument(2100), dir / "long.pdf");
    const auto before = *ombrix::readFile(file);
    auto result =
        run("highlight " + shellQuoted(file.string()) + " --page 1500 --rect 72,700,90,12");
    ASSERT_EQ(result.status, 0) << result.err;
    const auto after = *ombrix::readFile(file);
    EXPECT_EQ(after.compare(0, before.size(), before), 0) << "the earlier revision changed";
    EXPECT_LT(after.size() - before.size(), 64u * 1024);
    auto doc = ombrix::pdfkit::Document::open(file);
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(doc->pageCount(), 2100);
    EXPECT_EQ(doc->page(1499)->annotations().size(), 1u);
}

TEST_F(SafeEditCommandsTest, ADecompressionBombStopsQuicklyWithinItsLimits) {
    // A few KB inflating to 256 MiB through two deflates: refused with the default limits
    // before a glyph is drawn, and the file is never written.
    const auto bomb = dir / "bomb.pdf";
    fx::writeDecompressionBomb(bomb, std::uint64_t(256) << 20);
    ASSERT_LT(fs::file_size(bomb), 16u * 1024);
    const auto bytes = ombrix::readFile(bomb);
    const std::string q = shellQuoted(bomb.string());
    for (const std::string& command :
         {"text " + q + " --page 1", "render " + q + " --page 1 -o " + q + ".png",
          "search " + q + " AAAB", "table " + q + " --page 1 --rect 0,0,600,700",
          "highlight " + q + " --page 1 --rect 0,0,100,100"}) {
        const auto start = std::chrono::steady_clock::now();
        auto result = run(command);
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_EQ(result.status, 1) << command << ": " << result.err;
        EXPECT_NE(result.err.find("decompression bomb"), std::string::npos)
            << command << ": " << result.err;
        EXPECT_LT(took, std::chrono::seconds(20)) << command;
    }
    EXPECT_EQ(ombrix::readFile(bomb), bytes) << "a command that failed changed the file";

    // Deflated once, 256 MiB is a 2 MB file no ratio rule may refuse: rendering and text
    // extraction meet the memory cap, the table's scan of the content (which allocates
    // nothing) meets the deadline.
    const auto plain = dir / "plain.pdf";
    fx::writeDecompressionBomb(plain, std::uint64_t(256) << 20, false);
    const std::string p = shellQuoted(plain.string());
    for (const std::string& command :
         {"OMBRIX_MEMORY_LIMIT_MB=16 " + tool() + " text " + p + " --page 1",
          "OMBRIX_MEMORY_LIMIT_MB=16 " + tool() + " render " + p + " --page 1 -o " + p + ".png",
          "OMBRIX_MEMORY_LIMIT_MB=16 " + tool() + " search " + p + " AAAB",
          "OMBRIX_TIMEOUT_SECONDS=0.3 " + tool() + " table " + p +
              " --page 1 --rect 0,0,600,700"}) {
        const auto start = std::chrono::steady_clock::now();
        auto result = fx::runShell(command);
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_EQ(result.status, 1) << command << ": " << result.err;
        EXPECT_NE(result.err.find("stopped"), std::string::npos) << command << ": " << result.err;
        EXPECT_LT(took, std::chrono::seconds(20)) << command;
    }
    // A fuzz finding: an annotation whose appearance MuPDF builds for minutes.
    const auto slow =
        fs::path(OMBRIX_SOURCE_DIR) / "tests/data/hostile/slow-annotation-appearance.pdf";
    const auto start = std::chrono::steady_clock::now();
    auto result = fx::runShell("OMBRIX_MEMORY_LIMIT_MB=256 OMBRIX_TIMEOUT_SECONDS=0.5 " + tool() +
                               " render " + shellQuoted(slow.string()) + " --page 1 -o " +
                               shellQuoted((dir / "slow.png").string()));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    EXPECT_TRUE(result.status == 0 || result.err.find("stopped") != std::string::npos)
        << result.err;

    rusage usage{};
    ::getrusage(RUSAGE_CHILDREN, &usage);
    // The largest cap, and room for the program itself; the address sanitizer keeps freed
    // memory in quarantine and adds its shadow.
#ifdef __SANITIZE_ADDRESS__
    constexpr long kRoomMB = 1024;
#else
    constexpr long kRoomMB = 512;
#endif
    EXPECT_LT(usage.ru_maxrss, (256 + kRoomMB) * 1024) << "kilobytes at the peak";
}

} // namespace
