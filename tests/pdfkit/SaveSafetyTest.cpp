// Saves of a document over its own file: appended when the file allows, checked before
// they replace anything, and never over a file that changed since it was opened.

#include "PdfkitTestSupport.h"
#include "core/AtomicFile.h"
#include "core/Error.h"
#include "support/RawPdf.h"

#include <cstring>
#include <gtest/gtest.h>

namespace ombrix::pdfkit::test {
namespace {

namespace fs = std::filesystem;

void addHighlight(Page& page) {
    auto highlight = Annotation::create(Rect{72, 700, 120, 14}, "Highlight");
    highlight->setColor(Color::rgb(255, 230, 0));
    page.addAnnotation(highlight);
}

TEST(SaveSafety, OneHighlightOnALongDocumentIsAppended) {
    fx::TempDir dir;
    auto doc = openFixture(dir, fx::textDocument(2100), "long.pdf");
    ASSERT_NE(doc, nullptr);
    const auto path = doc->documentURL();
    const std::string before = readBytes(path);
    addHighlight(*doc->page(1500));
    doc->write(path);
    const std::string once = readBytes(path);
    EXPECT_EQ(once.compare(0, before.size(), before), 0) << "the earlier revision changed";
    EXPECT_LT(once.size() - before.size(), 64u * 1024);

    addHighlight(*doc->page(10));
    doc->write(path);
    // Each save appends every change since opening to the bytes that were opened.
    const std::string twice = readBytes(path);
    EXPECT_EQ(twice.compare(0, before.size(), before), 0);
    EXPECT_LT(twice.size() - before.size(), 64u * 1024);
    auto reopened = Document::open(path);
    ASSERT_NE(reopened, nullptr);
    EXPECT_EQ(reopened->pageCount(), 2100);
    EXPECT_EQ(reopened->page(1500)->annotations().size(), 1u);
    EXPECT_EQ(reopened->page(10)->annotations().size(), 1u);
}

TEST(SaveSafety, AFileChangedOnDiskIsNotOverwritten) {
    fx::TempDir dir;
    auto doc = openFixture(dir, fx::textDocument(2), "doc.pdf");
    const auto path = doc->documentURL();
    const std::string theirs = readBytes(fx::writePdf(fx::textDocument(5), dir / "other.pdf"));
    writeFileAtomically(path, theirs);
    addHighlight(*doc->page(0));
    try {
        doc->write(path);
        ADD_FAILURE() << "a file changed by someone else was overwritten";
    } catch (const Error& e) {
        EXPECT_EQ(e.code(), kChangedOnDisk);
        EXPECT_NE(e.description().find("changed on disk"), std::string::npos) << e.description();
    }
    EXPECT_EQ(readBytes(path), theirs);
    // Saving a copy elsewhere still works.
    doc->write(dir / "copy.pdf");
    EXPECT_EQ(Document::open(dir / "copy.pdf")->page(0)->annotations().size(), 1u);
}

TEST(SaveSafety, SavesFollowLinksAndLeaveOtherFilesAlone) {
    fx::TempDir dir;
    fx::writePdf(fx::textDocument(1), dir / "real.pdf");
    fs::create_symlink("real.pdf", dir / "link.pdf");
    writeBytes(dir / "link.pdf.tmp", "mine");
    writeBytes(dir / "real.pdf.tmp", "mine too");
    auto doc = Document::open(dir / "link.pdf");
    addHighlight(*doc->page(0));
    doc->write(dir / "link.pdf");
    EXPECT_TRUE(fs::is_symlink(dir / "link.pdf"));
    EXPECT_EQ(Document::open(dir / "real.pdf")->page(0)->annotations().size(), 1u);
    EXPECT_EQ(readBytes(dir / "link.pdf.tmp"), "mine");
    EXPECT_EQ(readBytes(dir / "real.pdf.tmp"), "mine too");
}

// A file that is encrypted with an empty user password and whose cross-reference offset
// is wrong, so MuPDF repairs it on opening.
void writeRepairedEncrypted(const fs::path& path) {
    fx::writePdf(fx::textDocument(2), path);
    fx::encryptInPlace(path, "owner");
    std::string bytes = readBytes(path);
    const auto at = bytes.rfind("startxref");
    ASSERT_NE(at, std::string::npos);
    bytes.replace(at, std::string::npos, "startxref\n17\n%%EOF\n");
    writeBytes(path, bytes);
}

// Object 3's header spelt wrong: MuPDF repairs the file and may lose what the object was.
void writeDamagedHeader(const fs::path& path) {
    fx::writePdf(fx::textDocument(3), path);
    std::string bytes = readBytes(path);
    const auto at = bytes.find("\n3 0 obj");
    ASSERT_NE(at, std::string::npos);
    bytes.replace(at, 8, "\n3 0 ojb");
    writeBytes(path, bytes);
}

TEST(SaveSafety, RepairedFilesSaveCorrectlyOrNotAtAll) {
    fx::TempDir dir;
    writeRepairedEncrypted(dir / "encrypted.pdf");
    writeDamagedHeader(dir / "header.pdf");
    for (const char* name : {"encrypted.pdf", "header.pdf"}) {
        SCOPED_TRACE(name);
        const auto path = dir / name;
        auto doc = Document::open(path);
        if (!doc) {
            continue; // nothing opened, nothing to save
        }
        const std::string before = readBytes(path);
        const int pages = doc->pageCount();
        const auto annots = doc->page(0)->annotations().size();
        addHighlight(*doc->page(0));
        try {
            doc->write(path);
        } catch (const Error& e) {
            EXPECT_EQ(readBytes(path), before) << e.description();
            continue;
        }
        auto reopened = Document::open(path);
        ASSERT_NE(reopened, nullptr) << "a save reported success but does not open";
        EXPECT_EQ(reopened->pageCount(), pages);
        EXPECT_EQ(reopened->page(0)->annotations().size(), annots + 1);
        if (std::string(name) == "encrypted.pdf") {
            EXPECT_NE(readBytes(path).find("/Encrypt"), std::string::npos);
        }
    }
}

} // namespace
} // namespace ombrix::pdfkit::test
