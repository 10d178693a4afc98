#include "pdfkit/Document.h"

#include "core/Error.h"

#include "PdfkitTestSupport.h"

#include <gtest/gtest.h>

namespace ombrix::pdfkit::test {
namespace {

TEST(DocumentOpen, RefusesFilesThatAreNoReadablePdf) {
    fx::TempDir dir;
    fx::writeTextFileNamedPdf(dir / "text.pdf");
    fx::writeGarbagePdf(dir / "garbage.pdf");
    fx::writeEncryptedPdf(dir / "locked.pdf");
    std::filesystem::create_directory(dir / "folder.pdf");

    EXPECT_EQ(Document::open(dir / "text.pdf"), nullptr);
    EXPECT_EQ(Document::open(dir / "garbage.pdf"), nullptr);
    EXPECT_EQ(Document::open(dir / "locked.pdf"), nullptr);
    EXPECT_EQ(Document::open(dir / "missing.pdf"), nullptr);
    EXPECT_EQ(Document::open(dir / "folder.pdf"), nullptr);
}

TEST(DocumentOpen, TruncatedFileOpensOnlyWithUsablePages) {
    fx::TempDir dir;
    fx::writeTruncatedPdf(dir / "cut.pdf");
    auto doc = Document::open(dir / "cut.pdf");
    if (!doc) {
        SUCCEED() << "MuPDF could not repair it";
        return;
    }
    // Whatever survived must be safe to use.
    for (int i = 0; i < doc->pageCount(); ++i) {
        auto page = doc->page(i);
        ASSERT_NE(page, nullptr);
        EXPECT_GT(page->mediaBox().width, 0);
        page->string();
        page->annotations();
        Image image = page->draw(61, 79, 0.1);
        if (!image.isNull()) {
            EXPECT_EQ(image.width(), 61);
        }
    }
    doc->find("alpha", true);
}

TEST(DocumentOpen, ValidFileWithoutPagesOpensEmpty) {
    fx::TempDir dir;
    fx::writeZeroPagePdf(dir / "empty.pdf");
    auto doc = Document::open(dir / "empty.pdf");
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(doc->pageCount(), 0);
    EXPECT_EQ(doc->page(0), nullptr);
    EXPECT_TRUE(doc->find("anything", true).empty());
    EXPECT_TRUE(doc->renderer().render(0, 10, 10, 1).isNull());
}

TEST(DocumentOpen, PageCountIsWhatThePageTreeHolds) {
    // /Count claims millions of pages, the tree has two: opening must neither believe it
    // nor choke on it.
    fx::TempDir dir;
    const std::string page = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] >>";
    writeBytes(dir / "inflated.pdf",
               handMadePdf({"<< /Type /Catalog /Pages 2 0 R >>",
                            "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 99999999 >>", page, page}));
    auto doc = Document::open(dir / "inflated.pdf");
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(doc->pageCount(), 2);
    EXPECT_FALSE(doc->page(1)->draw(20, 20, 0.1).isNull());

    // A tree that leads back to itself.
    writeBytes(dir / "cycle.pdf",
               handMadePdf({"<< /Type /Catalog /Pages 2 0 R >>",
                            "<< /Type /Pages /Kids [2 0 R 3 0 R] /Count 5 >>", page}));
    if (auto cyclic = Document::open(dir / "cycle.pdf")) {
        for (int i = 0; i < cyclic->pageCount(); ++i) {
            cyclic->page(i)->draw(20, 20, 0.1);
        }
    }
}

TEST(DocumentInfo, AttributesAreDecodedStrings) {
    fx::TempDir dir;
    fx::FixtureDocument fixture = fx::textDocument(1);
    fixture.title = "Über Ωmega – “quoted”";
    auto doc = openFixture(dir, fixture, "info.pdf");
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(doc->attribute(DocumentAttribute::title), "Über Ωmega – “quoted”");
    EXPECT_EQ(doc->attribute(DocumentAttribute::author), "Ombrix Tests");
    EXPECT_EQ(doc->attribute(DocumentAttribute::subject), "Searchable text");
    EXPECT_EQ(doc->attribute(DocumentAttribute::keywords), "alpha, beta, fixture");
    EXPECT_EQ(doc->documentURL(), dir / "info.pdf");

    auto bare = openFixture(dir, fx::labelledDocument(), "bare.pdf");
    EXPECT_EQ(bare->attribute(DocumentAttribute::title), std::nullopt);
    EXPECT_EQ(bare->attribute(DocumentAttribute::keywords), std::nullopt);
}

TEST(DocumentPages, EachIndexHasOneStablePageObject) {
    fx::TempDir dir;
    auto doc = openFixture(dir, fx::textDocument(3), "text.pdf");
    auto other = openFixture(dir, fx::textDocument(3), "other.pdf");
    ASSERT_EQ(doc->pageCount(), 3);
    for (int i = 0; i < 3; ++i) {
        auto page = doc->page(i);
        EXPECT_EQ(page, doc->page(i));
        EXPECT_EQ(page->index(), i);
        EXPECT_EQ(doc->indexOf(*page), i);
        EXPECT_EQ(page->document(), doc);
        EXPECT_EQ(doc->indexOf(*other->page(i)), std::nullopt);
    }
    EXPECT_EQ(doc->page(-1), nullptr);
    EXPECT_EQ(doc->page(3), nullptr);
}

TEST(DocumentPages, PagesOutliveTheirDocumentSafely) {
    fx::TempDir dir;
    std::shared_ptr<Page> page;
    std::shared_ptr<Annotation> annotation;
    {
        auto doc = openFixture(dir, fx::everyAnnotationDocument(), "annots.pdf");
        page = doc->page(0);
        annotation = page->annotations().front();
    }
    EXPECT_EQ(page->document(), nullptr);
    EXPECT_NE(page->string().find("Annotated page"), std::string::npos);
    EXPECT_FALSE(page->draw(61, 79, 0.1).isNull());
    EXPECT_EQ(annotation->type(), "Highlight");
}

// Structural edits of an open document: the pages after a deleted one move up and keep
// their objects, their text and sizes follow at once, and the written file agrees.
TEST(DocumentPages, DeletingAndTurningPagesOfAnOpenDocument) {
    fx::TempDir dir;
    auto doc = openFixture(dir, fx::textDocument(3), "text.pdf");
    auto second = doc->page(1);
    auto third = doc->page(2);
    ASSERT_NE(doc->page(0)->string().find("Page 1"), std::string::npos);
    EXPECT_THROW(doc->deletePage(3), Error);
    EXPECT_THROW(doc->deletePage(-1), Error);

    doc->deletePage(0);
    EXPECT_EQ(doc->pageCount(), 2);
    EXPECT_EQ(doc->page(0), second);
    EXPECT_EQ(second->index(), 0);
    EXPECT_EQ(third->index(), 1);
    EXPECT_NE(doc->page(0)->string().find("Page 2"), std::string::npos);
    EXPECT_EQ(doc->indexOf(*third), 1);

    third->setRotation(-90);
    EXPECT_EQ(third->rotation(), 270);
    EXPECT_EQ(third->displaySize(), (Size{792, 612}));
    EXPECT_THROW(third->setRotation(45), Error);
    EXPECT_EQ(third->rotation(), 270);

    const auto out = dir / "edited.pdf";
    doc->write(out);
    auto reread = Document::open(out);
    ASSERT_TRUE(reread);
    ASSERT_EQ(reread->pageCount(), 2);
    EXPECT_NE(reread->page(0)->string().find("Page 2"), std::string::npos);
    EXPECT_EQ(reread->page(1)->rotation(), 270);
    EXPECT_EQ(reread->page(0)->rotation(), 0);

    // The only page left is never deleted.
    doc->deletePage(0);
    EXPECT_THROW(doc->deletePage(0), Error);
    EXPECT_EQ(doc->pageCount(), 1);
}

// Every character with the font the file names, its descriptor flags, size and colour;
// each line ends in a break of its own.
TEST(PageCharacters, CarryTheirFontSizeAndColour) {
    fx::TempDir dir;
    const auto file = dir / "coloured.pdf";
    const std::string content = "BT /F1 24 Tf 72 700 Td 1 0 0 rg (Re) Tj 0 0.2 1 rg (d) Tj ET";
    writeBytes(file, handMadePdf({
                             "<< /Type /Catalog /Pages 2 0 R >>",
                             "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                             "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] "
                             "/Resources << /Font << /F1 4 0 R >> >> /Contents 5 0 R >>",
                             "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica-Bold >>",
                             "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" +
                                 content + "\nendstream",
                         }));
    auto doc = Document::open(file);
    ASSERT_TRUE(doc);
    const auto chars = doc->page(0)->characters();
    ASSERT_EQ(chars.size(), 4u);
    EXPECT_EQ(chars[0].code, U'R');
    EXPECT_EQ(chars[0].fontSize, 24);
    EXPECT_EQ(chars[0].fontName, "Helvetica-Bold");
    EXPECT_NE(chars[0].fontFlags & (1 << 18), 0); // bold, as its descriptor would say
    EXPECT_EQ(chars[0].color.hexRGB(), "#FF0000");
    EXPECT_EQ(chars[2].color.hexRGB(), "#0033FF");
    EXPECT_EQ(chars[3].code, U'\n');
    EXPECT_TRUE(chars[3].fontName.empty());
}

} // namespace
} // namespace ombrix::pdfkit::test
