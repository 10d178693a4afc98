// The commands that open and edit a user's files, tried as a careful user and a hostile
// file would: concurrent edits, files that are not PDFs or not files, senseless numbers.

#include "core/AtomicFile.h"
#include "pdfkit/Document.h"
#include "pdfkit/Page.h"
#include "support/Fixtures.h"
#include "support/HandMadePdf.h"
#include "support/MuPdfSession.h"
#include "support/Shell.h"
#include "support/TempDir.h"

#include <chrono>
#include <gtest/gtest.h>
#include <mupdf/fitz.h>
#include <sys/resource.h>
#include <sys/stat.h>

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
        const std::string highlight = tool() + " highlight " + q + " --page 1 --rect 72,700,90,12";
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

TEST_F(SafeEditCommandsTest, OpeningSaysWhyItCannot) {
    const auto fifo = dir / "pipe.pdf";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const auto start = std::chrono::steady_clock::now();
    for (const char* command : {"info", "search", "text", "annotations"}) {
        std::string args = std::string(command) + " " + shellQuoted(fifo.string());
        if (std::string(command) == "search") {
            args += " word";
        } else if (std::string(command) == "text") {
            args += " --page 1";
        }
        auto result = run(args);
        EXPECT_NE(result.status, 0) << command;
        EXPECT_NE(result.err.find("not a regular file"), std::string::npos)
            << command << ": " << result.err;
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));

    auto missing = run("info " + shellQuoted((dir / "gone.pdf").string()));
    EXPECT_NE(missing.err.find("does not exist"), std::string::npos) << missing.err;
    fx::writeTextFileNamedPdf(dir / "notes.pdf");
    auto notPdf = run("text " + shellQuoted((dir / "notes.pdf").string()) + " --page 1");
    EXPECT_NE(notPdf.err.find("not a PDF"), std::string::npos) << notPdf.err;

    fx::writeEncryptedPdf(dir / "locked.pdf", "secret");
    const std::string locked = shellQuoted((dir / "locked.pdf").string());
    auto needs = run("text " + locked + " --page 1");
    EXPECT_NE(needs.err.find("password"), std::string::npos) << needs.err;
    auto wrong = run("annotate " + locked + " --page 1 --type Square --rect 1,1,9,9 --password no");
    EXPECT_NE(wrong.err.find("wrong password"), std::string::npos) << wrong.err;
    auto right =
        run("annotate " + locked + " --page 1 --type Square --rect 1,1,9,9 --password secret");
    EXPECT_EQ(right.status, 0) << right.err;
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

// A page whose content stream, deflated twice, is a few kilobytes and inflates to 40 MB:
// forty million glyphs to draw and to extract.
void writeDecompressionBomb(const fs::path& path) {
    std::string line = "(" + std::string(1000, 'A') + ") Tj\n";
    std::string content = "BT /F1 1 Tf 0 0 Td\n";
    content.reserve(40'100'000);
    for (int i = 0; i < 40'000; ++i) {
        content += line;
    }
    content += "ET\n";
    fx::MuPdfSession session;
    fz_context* ctx = session.ctx();
    std::string once, twice;
    auto deflate = [&](const std::string& in, std::string& out) {
        std::size_t length = 0;
        unsigned char* data = nullptr;
        session.run("deflate", [&](fz_context* c) {
            data =
                fz_new_deflated_data(c, &length, reinterpret_cast<const unsigned char*>(in.data()),
                                     in.size(), FZ_DEFLATE_BEST);
        });
        out.assign(reinterpret_cast<const char*>(data), length);
        fz_free(ctx, data);
    };
    deflate(content, once);
    deflate(once, twice);
    const std::string pdf = fx::handMadePdf({
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R "
        "/Resources << /Font << /F1 << /Type /Font /Subtype /Type1 /BaseFont /Helvetica >> >> >> "
        ">>",
        "<< /Filter [/FlateDecode /FlateDecode] /Length " + std::to_string(twice.size()) +
            " >>\nstream\n" + twice + "\nendstream",
    });
    ombrix::writeFileAtomically(path, pdf);
}

TEST_F(SafeEditCommandsTest, ADecompressionBombStopsQuicklyWithinItsLimits) {
    const auto bomb = dir / "bomb.pdf";
    writeDecompressionBomb(bomb);
    ASSERT_LT(fs::file_size(bomb), 64u * 1024);
    const std::string q = shellQuoted(bomb.string());
    const std::string limits = "OMBRIX_MEMORY_LIMIT_MB=256 OMBRIX_TIMEOUT_SECONDS=2 ";
    for (const std::string& command :
         {"text " + q + " --page 1", "render " + q + " --page 1 -o " + q + ".png",
          "search " + q + " AAAB"}) {
        const auto start = std::chrono::steady_clock::now();
        auto result = fx::runShell(limits + tool() + " " + command);
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_EQ(result.status, 1) << command << ": " << result.err;
        EXPECT_NE(result.err.find("stopped"), std::string::npos) << command << ": " << result.err;
        EXPECT_LT(took, std::chrono::seconds(20)) << command;
    }
    // A fuzz finding: an annotation whose appearance MuPDF builds for minutes.
    const auto slow =
        fs::path(OMBRIX_SOURCE_DIR) / "tests/data/hostile/slow-annotation-appearance.pdf";
    const auto start = std::chrono::steady_clock::now();
    auto result = fx::runShell(limits + tool() + " render " + shellQuoted(slow.string()) +
                               " --page 1 -o " + shellQuoted((dir / "slow.png").string()));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    EXPECT_TRUE(result.status == 0 || result.err.find("stopped") != std::string::npos)
        << result.err;

    rusage usage{};
    ::getrusage(RUSAGE_CHILDREN, &usage);
    // The cap, and room for the program itself (more under the sanitizers).
    EXPECT_LT(usage.ru_maxrss, (256 + 512) * 1024) << "kilobytes at the peak";
}

} // namespace
