// Saves over a file that has other names or another owner: written into the file itself,
// while the open document goes on reading the bytes it was opened from.

#include "PdfkitTestSupport.h"
#include "core/AtomicFile.h"
#include "pdfkit/Annotation.h"
#include "pdfkit/Page.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ombrix::pdfkit::test {
namespace save_hardening {

namespace fs = std::filesystem;

// The file with its last startxref pointing nowhere: MuPDF repairs it on opening and
// can then only save it whole.
fs::path writeNeedingRepair(const fx::FixtureDocument& document, const fs::path& path) {
    fx::writePdf(document, path);
    std::string bytes = readBytes(path);
    const std::size_t at = bytes.rfind("startxref");
    bytes = bytes.substr(0, at) + "startxref\n9\n%%EOF\n";
    writeBytes(path, bytes);
    return path;
}

void addHighlight(Page& page, double y) {
    auto highlight = Annotation::create(Rect{72, y, 120, 14}, "Highlight");
    highlight->setColor(Color::rgb(255, 230, 0));
    page.addAnnotation(highlight);
}

TEST(SaveHardening, ADocumentWithTwoNamesIsSavedIntoBothAndStaysReadable) {
    fx::TempDir dir;
    const fx::FixtureDocument fixture = fx::textDocument(40);
    const fs::path reference = fx::writePdf(fixture, dir / "reference.pdf");
    for (bool repaired : {false, true}) {
        SCOPED_TRACE(repaired ? "saved whole" : "appended");
        const fs::path path = dir / "paper.pdf", other = dir / "paper-link.pdf";
        fs::remove(path);
        fs::remove(other);
        repaired ? writeNeedingRepair(fixture, path) : fx::writePdf(fixture, path);
        ASSERT_EQ(::link(path.c_str(), other.c_str()), 0);
        struct stat before {};
        ASSERT_EQ(::stat(path.c_str(), &before), 0);

        auto doc = Document::open(path);
        ASSERT_NE(doc, nullptr);
        addHighlight(*doc->page(30), 700);
        doc->write(path);
        struct stat after {};
        ASSERT_EQ(::stat(other.c_str(), &after), 0);
        EXPECT_EQ(after.st_ino, before.st_ino);
        EXPECT_EQ(after.st_nlink, 2u);
        EXPECT_EQ(Document::open(other)->page(30)->annotations().size(), 1u);

        // Pages not read before the save come from the bytes the document was opened from.
        auto expected = Document::open(reference);
        for (int i : {35, 3, 39}) {
            EXPECT_EQ(doc->page(i)->string(), expected->page(i)->string()) << "page " << i + 1;
        }
        addHighlight(*doc->page(20), 650);
        doc->write(path);
        auto reopened = Document::open(other);
        ASSERT_NE(reopened, nullptr);
        EXPECT_EQ(reopened->pageCount(), 40);
        EXPECT_EQ(reopened->page(30)->annotations().size(), 1u);
        EXPECT_EQ(reopened->page(20)->annotations().size(), 1u);
        for (int i = 0; i < 40; ++i) {
            EXPECT_EQ(reopened->page(i)->string(), expected->page(i)->string()) << "page " << i + 1;
        }
    }
}

TEST(SaveHardening, AWholeRewriteKeepsThePermissionsAndOwner) {
    fx::TempDir dir;
    const fs::path path = writeNeedingRepair(fx::textDocument(3), dir / "private.pdf");
    ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(path.c_str(), 54321, 54321), 0);
    }
    auto doc = Document::open(path);
    addHighlight(*doc->page(1), 700);
    doc->write(path);
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_EQ(Document::open(path)->page(1)->annotations().size(), 1u);
    if (!root) {
        GTEST_SKIP() << "keeping another user's ownership needs root";
    }
    EXPECT_EQ(st.st_uid, 54321u);
    EXPECT_EQ(st.st_gid, 54321u);
}

} // namespace save_hardening
} // namespace ombrix::pdfkit::test
