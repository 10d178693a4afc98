// What the command line says when it refuses: the user's words, the whole file name, no
// library texts or pictograms, and never silence.

#include "pdfkit/Document.h"
#include "pdfkit/Page.h"
#include "support/Fixtures.h"
#include "support/Shell.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
namespace fx = ombrix::testing;
using fx::shellQuoted;

class MessagesHardeningTest : public ::testing::Test {
protected:
    fx::ShellRun run(const std::string& arguments, const std::string& environment = "") {
        return fx::runShell(environment + " XDG_DATA_HOME=" + shellQuoted(data.path().string()) +
                            " " + shellQuoted(OMBRIX_CLI_PATH) + " " + arguments);
    }
    std::string pdf() {
        if (file.empty()) {
            file = fx::writePdf(fx::textDocument(1), dir / "doc.pdf");
        }
        return shellQuoted(file.string());
    }
    static bool plainText(const std::string& text) {
        for (unsigned char c : text) {
            if (c >= 0x80 || (c < 0x20 && c != '\n')) {
                return false;
            }
        }
        return true;
    }
    fx::TempDir dir;
    fx::TempDir data;
    fs::path file;
};

TEST_F(MessagesHardeningTest, AnOverLargeRenderSaysWhyInFiguresAndWritesNothing) {
    const auto out = dir / "page.png";
    auto pixels =
        run("render " + pdf() + " --page 1 --size 60000x60000 -o " + shellQuoted(out.string()));
    EXPECT_EQ(pixels.status, 1);
    EXPECT_NE(pixels.err.find("image is larger than"), std::string::npos) << pixels.err;
    EXPECT_NE(pixels.err.find("smaller --size"), std::string::npos) << pixels.err;

    auto memory =
        run("render " + pdf() + " --page 1 --size 8000x8000 -o " + shellQuoted(out.string()),
            "OMBRIX_MEMORY_LIMIT_MB=64");
    EXPECT_EQ(memory.status, 1);
    EXPECT_NE(memory.err.find("more than the 64 MB allowed"), std::string::npos) << memory.err;

    for (const auto& refused : {pixels, memory}) {
        EXPECT_EQ(refused.err.find("CGImage"), std::string::npos) << refused.err;
    }
    EXPECT_FALSE(fs::exists(out));
}

TEST_F(MessagesHardeningTest, ADeviceOrFolderIsNamedInFull) {
    auto device = run("info /dev/zero");
    EXPECT_EQ(device.status, 1);
    EXPECT_NE(device.err.find("Cannot open /dev/zero: it is a device, not a regular file"),
              std::string::npos)
        << device.err;

    auto folder = run("text " + shellQuoted(dir.path().string()) + " --page 1");
    EXPECT_NE(folder.status, 0);
    EXPECT_NE(folder.err.find(dir.path().string() + ": it is a folder"), std::string::npos)
        << folder.err;
}

TEST_F(MessagesHardeningTest, HighlightErrorsArePlainTextInOurWords) {
    const auto missingFolder = dir / "no-such-folder" / "out.pdf";
    auto copy = run("highlight " + pdf() + " --page 1 --rect 72,700,100,12 -o " +
                    shellQuoted(missingFolder.string()));
    EXPECT_EQ(copy.status, 1);
    EXPECT_NE(copy.err.find(missingFolder.string()), std::string::npos) << copy.err;
    EXPECT_EQ(copy.err.find("filesystem error"), std::string::npos) << copy.err;
    EXPECT_TRUE(plainText(copy.err)) << copy.err;

    // A save that fails reaches the user through the log's error line, which carries a
    // pictogram in the log but not on the command line. Root writes anywhere: the save is
    // made by another user, who may read the file but not write its folder.
    pdf();
    std::string as;
    if (::geteuid() == 0) {
        as = "setpriv --reuid 54321 --regid 54321 --clear-groups ";
        fs::permissions(dir.path(),
                        fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec);
        fs::permissions(file,
                        fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read);
    } else {
        fs::permissions(dir.path(), fs::perms::owner_read | fs::perms::owner_exec);
    }
    auto save = fx::runShell("XDG_DATA_HOME=" + shellQuoted((dir / "none").string()) + " " + as +
                             shellQuoted(OMBRIX_CLI_PATH) + " highlight " + pdf() +
                             " --page 1 --rect 72,700,100,12");
    fs::permissions(dir.path(), fs::perms::owner_all);
    EXPECT_EQ(save.status, 1) << save.err;
    EXPECT_NE(save.err.find("Failed to save PDF"), std::string::npos) << save.err;
    EXPECT_TRUE(plainText(save.err)) << save.err;
}

TEST_F(MessagesHardeningTest, HighlightToAnotherFileLeavesTheOriginalAsItWas) {
    pdf();
    const std::string before = fx::readBytes(file);
    const auto out = dir / "marked.pdf";
    auto marked = run("highlight " + pdf() + " --page 1 --rect 72,700,100,12 -o " +
                      shellQuoted(out.string()));
    ASSERT_EQ(marked.status, 0) << marked.err;
    EXPECT_EQ(fx::readBytes(file), before);
    auto opened = ombrix::pdfkit::Document::open(out);
    ASSERT_TRUE(opened);
    EXPECT_EQ(opened->page(0)->annotations().size(), 1u);

    // A failed write leaves nothing half-made at the output.
    auto refused = run("highlight " + pdf() + " --page 1 --rect 72,700,100,12 -o " +
                       shellQuoted(dir.path().string()));
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(fx::readBytes(file), before);
}

TEST_F(MessagesHardeningTest, ASearchForNothingSaysSo) {
    for (const std::string query : {"''", "' '", "'  \t'"}) {
        auto searched = run("search " + pdf() + " " + query);
        EXPECT_EQ(searched.status, 2) << query;
        EXPECT_TRUE(searched.out.empty()) << query << ": " << searched.out;
        EXPECT_FALSE(searched.err.empty()) << query;
    }
}

} // namespace
