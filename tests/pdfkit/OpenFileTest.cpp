#include "PdfkitTestSupport.h"
#include "pdfkit/Document.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace ombrix::pdfkit::test {
namespace {

// A sound file whose cross-reference offset points nowhere: MuPDF rebuilds it whole.
void writeMisplacedXrefPdf(const std::filesystem::path& path) {
    fx::writePdf(fx::textDocument(2), path);
    std::string bytes = readBytes(path);
    const auto at = bytes.rfind("startxref");
    ASSERT_NE(at, std::string::npos);
    const auto eol = bytes.find('\n', at + 10);
    bytes.replace(at + 10, eol - (at + 10), "17");
    writeBytes(path, bytes);
}

TEST(OpenFile, SaysWhyAFileDidNotOpen) {
    fx::TempDir dir;
    fx::writeTextFileNamedPdf(dir / "text.pdf");
    fx::writeGarbagePdf(dir / "garbage.pdf");
    std::filesystem::create_directory(dir / "folder.pdf");
    ASSERT_EQ(mkfifo((dir / "pipe.pdf").c_str(), 0600), 0);

    struct Case {
        const char* name;
        OpenStatus status;
    };
    for (const Case& c :
         {Case{"missing.pdf", OpenStatus::missing}, Case{"folder.pdf", OpenStatus::notRegularFile},
          // A FIFO with no writer would block any read: it is never opened.
          Case{"pipe.pdf", OpenStatus::notRegularFile}, Case{"text.pdf", OpenStatus::notPDF},
          Case{"garbage.pdf", OpenStatus::damaged}}) {
        OpenResult result = Document::openFile(dir / c.name);
        EXPECT_EQ(result.status, c.status) << c.name;
        EXPECT_EQ(result.document, nullptr) << c.name;
        EXPECT_NE(result.message.find(c.name), std::string::npos) << result.message;
        EXPECT_EQ(Document::open(dir / c.name), nullptr) << c.name;
    }
}

TEST(OpenFile, OpensSoundAndRepairedFiles) {
    fx::TempDir dir;
    fx::writePdf(fx::textDocument(2), dir / "sound.pdf");
    writeMisplacedXrefPdf(dir / "repaired.pdf");

    OpenResult sound = Document::openFile(dir / "sound.pdf");
    EXPECT_EQ(sound.status, OpenStatus::opened);
    ASSERT_NE(sound.document, nullptr);
    EXPECT_FALSE(sound.document->isLocked());
    EXPECT_EQ(sound.document->pageCount(), 2);

    OpenResult repaired = Document::openFile(dir / "repaired.pdf");
    EXPECT_EQ(repaired.status, OpenStatus::openedWithRepairs);
    ASSERT_NE(repaired.document, nullptr);
    EXPECT_EQ(repaired.document->pageCount(), 2);
    EXPECT_NE(repaired.document->page(1)->string().find("Page 2"), std::string::npos);
    EXPECT_NE(repaired.message.find("repaired"), std::string::npos);
    EXPECT_NE(Document::open(dir / "repaired.pdf"), nullptr);
}

TEST(OpenFile, AnEncryptedFileOpensWithItsPassword) {
    fx::TempDir dir;
    fx::writeEncryptedPdf(dir / "locked.pdf", "secret");
    OpenResult result = Document::openFile(dir / "locked.pdf");
    ASSERT_EQ(result.status, OpenStatus::needsPassword);
    auto doc = result.document;
    ASSERT_NE(doc, nullptr);
    EXPECT_TRUE(doc->isLocked());
    EXPECT_EQ(doc->pageCount(), 0);
    EXPECT_EQ(doc->page(0), nullptr);
    EXPECT_TRUE(doc->displaySizes().empty());
    EXPECT_TRUE(doc->outline().empty());
    EXPECT_EQ(Document::open(dir / "locked.pdf"), nullptr);

    EXPECT_FALSE(doc->authenticate("wrong"));
    EXPECT_TRUE(doc->isLocked());
    EXPECT_FALSE(doc->authenticate(""));
    EXPECT_TRUE(doc->authenticate("secret"));
    EXPECT_FALSE(doc->isLocked());
    EXPECT_TRUE(doc->authenticate("anything")); // already open
    ASSERT_EQ(doc->pageCount(), 2);
    EXPECT_NE(doc->page(0)->string().find("Page 1"), std::string::npos);
    EXPECT_EQ(doc->displaySizes().size(), 2u);
    EXPECT_FALSE(doc->renderer().render(0, 61, 79, 0.1).isNull());
    EXPECT_EQ(doc->find("alpha", true).size(), 4u);
}

} // namespace
} // namespace ombrix::pdfkit::test
