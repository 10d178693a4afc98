// `ombrix highlight` of a rectangle marks exactly that rectangle, as other readers draw the
// saved file, on plain and on encrypted documents.
#include "support/Fixtures.h"
#include "support/RenderedPage.h"
#include "support/Shell.h"
#include "support/TempDir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

namespace fx = ombrix::testing;
using fx::shellQuoted;
using ombrix::Rect;

class RegionHighlightTrustTest : public ::testing::Test {
protected:
    fx::TempDir dir;
    fx::TempDir data;

    fx::ShellRun highlight(const std::filesystem::path& in, const std::filesystem::path& out,
                           const std::string& extra = "") {
        return fx::runShell("XDG_DATA_HOME=" + shellQuoted(data.path().string()) + " " +
                            shellQuoted(OMBRIX_CLI_PATH) + " highlight " +
                            shellQuoted(in.string()) + " --page 1 --rect 68,675,262,37 -o " +
                            shellQuoted(out.string()) + " " + extra);
    }
    // The rectangle above as a 792 pt tall page shows it at 72 dpi.
    static Rect shown() { return Rect::fromEdges(68, 792 - 712, 330, 792 - 675); }
};

TEST_F(RegionHighlightTrustTest, HighlightedRectangleIsExactlyWhatReadersTint) {
    const auto original = fx::writePdf(fx::textDocument(1), dir / "text.pdf");
    const auto marked = dir / "marked.pdf";
    const auto run = highlight(original, marked);
    ASSERT_EQ(run.status, 0) << run.err;
    for (auto reader : {fx::Reader::poppler, fx::Reader::mupdf}) {
        EXPECT_THAT(fx::regionLookFaults(reader, original, marked, 0, shown()),
                    ::testing::IsEmpty());
    }
}

TEST_F(RegionHighlightTrustTest, EncryptedDocumentIsHighlightedAndStaysLocked) {
    fx::FixtureDocument document = fx::textDocument(1);
    document.userPassword = "secret";
    const auto original = fx::writePdf(document, dir / "locked.pdf");
    const auto marked = dir / "marked.pdf";
    const auto run = highlight(original, marked, "--password secret");
    ASSERT_EQ(run.status, 0) << run.err;
    for (auto reader : {fx::Reader::poppler, fx::Reader::mupdf}) {
        EXPECT_THAT(fx::regionLookFaults(reader, original, marked, 0, shown(), "secret"),
                    ::testing::IsEmpty());
    }
    // Without the password neither reader draws it.
    EXPECT_TRUE(fx::renderWith(fx::Reader::mupdf, marked, 0).empty());
    EXPECT_TRUE(fx::renderWith(fx::Reader::poppler, marked, 0).empty());
}

} // namespace
