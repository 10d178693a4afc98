#include "PdfkitTestSupport.h"
#include "core/Error.h"

#include <gtest/gtest.h>

namespace ombrix::pdfkit::test {
namespace {

std::shared_ptr<Annotation> addSquare(Page& page, const std::string& contents, double y) {
    auto square = Annotation::create(Rect{100, y, 80, 40}, "Square");
    square->setContents(contents);
    page.addAnnotation(square);
    return square;
}

std::vector<std::string> contentsOf(const Page& page) {
    std::vector<std::string> out;
    for (const auto& a : page.annotations()) {
        out.push_back(a->contents().value_or(""));
    }
    return out;
}

TEST(DocumentWrite, OverTheOpenFileAgainAndAgain) {
    // MuPDF keeps reading the file it opened; writing over it must not pull the ground
    // from under later edits and writes.
    fx::TempDir dir;
    auto doc = openFixture(dir, fx::textDocument(3), "text.pdf");
    const std::filesystem::path path = doc->documentURL();
    addSquare(*doc->page(0), "first", 100);
    doc->write(path);
    addSquare(*doc->page(2), "second", 200);
    doc->page(0)->removeAnnotation(doc->page(0)->annotations().front());
    doc->write(path);
    EXPECT_NE(doc->page(1)->string().find("Page 2"), std::string::npos);

    auto reopened = Document::open(path);
    ASSERT_NE(reopened, nullptr);
    ASSERT_EQ(reopened->pageCount(), 3);
    EXPECT_TRUE(contentsOf(*reopened->page(0)).empty());
    EXPECT_EQ(contentsOf(*reopened->page(2)), std::vector<std::string>{"second"});
    EXPECT_EQ(reopened->page(1)->string(), doc->page(1)->string());
    EXPECT_EQ(reopened->attribute(DocumentAttribute::title), "Ombrix Text Fixture");
}

TEST(DocumentWrite, AFailedWriteThrowsAndLeavesEverythingAsItWas) {
    fx::TempDir dir;
    auto doc = openFixture(dir, fx::textDocument(1), "text.pdf");
    const std::string original = readBytes(doc->documentURL());
    addSquare(*doc->page(0), "pending", 100);

    std::filesystem::create_directory(dir / "taken.pdf");
    for (const auto& target : {dir / "taken.pdf", dir / "no-such-folder" / "out.pdf"}) {
        try {
            doc->write(target);
            ADD_FAILURE() << "writing to " << target << " succeeded";
        } catch (const Error& e) {
            EXPECT_EQ(e.domain(), "PDFKit");
            EXPECT_FALSE(e.description().empty());
        }
    }
    EXPECT_TRUE(std::filesystem::is_directory(dir / "taken.pdf"));
    EXPECT_TRUE(std::filesystem::is_empty(dir / "taken.pdf"));
    EXPECT_EQ(readBytes(doc->documentURL()), original);
    std::size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        files += entry.is_regular_file();
    }
    EXPECT_EQ(files, 1u) << "a temporary was left behind";

    // The document is unharmed and the pending edit still gets written.
    doc->write(doc->documentURL());
    EXPECT_EQ(contentsOf(*Document::open(doc->documentURL())->page(0)),
              std::vector<std::string>{"pending"});
}

TEST(DocumentWrite, DataRepresentationIsTheWholeEditedDocument) {
    fx::TempDir dir;
    auto doc = openFixture(dir, fx::everyAnnotationDocument(), "annots.pdf");
    addSquare(*doc->page(0), "unsaved", 700);
    const std::string bytes = doc->dataRepresentation();
    ASSERT_EQ(bytes.compare(0, 5, "%PDF-"), 0);
    writeBytes(dir / "copy.pdf", bytes);
    auto copy = Document::open(dir / "copy.pdf");
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->page(0)->annotations().size(), doc->page(0)->annotations().size());
    EXPECT_EQ(contentsOf(*copy->page(0)).back(), "unsaved");
    EXPECT_EQ(copy->attribute(DocumentAttribute::title), "Ombrix Annotation Fixture");
}

TEST(DocumentWrite, OtherReadersTakeWrittenFilesWithoutComplaint) {
    fx::TempDir dir;
    auto doc = openFixture(dir, fx::everyAnnotationDocument(), "annots.pdf");
    auto page = doc->page(0);
    auto list = page->annotations();
    list[0]->setColor(Color{0, 1, 0, 0.4});
    list[4]->setBorder(Border{5});
    list[11]->setFont(Font{"Courier", 11});
    page->removeAnnotation(list[5]);
    for (const char* subtype : {"Highlight", "Ink", "FreeText", "Text", "Link", "/Polygon"}) {
        auto a = Annotation::create(Rect{300, 600, 120, 40}, subtype);
        a->setContents(std::string("new ") + subtype);
        page->addAnnotation(a);
    }
    const auto out = dir / "for others.pdf";
    doc->write(out);

    const std::string info = runCommand("mutool info " + quoted(out));
    EXPECT_NE(info.find("Pages: 1"), std::string::npos) << info;
    EXPECT_EQ(info.find("warning"), std::string::npos) << info;
    EXPECT_EQ(info.find("error"), std::string::npos) << info;
    const std::string text = runCommand("pdftotext " + quoted(out) + " -");
    EXPECT_NE(text.find("Annotated page"), std::string::npos) << text;
    EXPECT_EQ(text.find("Error"), std::string::npos) << text;
    std::string drawn = runCommand("mutool draw -q -o /dev/null -F pnm " + quoted(out));
    // Said by mutool builds without colour management, whatever the file.
    const std::string icc = "warning: ICC support is not available\n";
    if (auto at = drawn.find(icc); at != std::string::npos) {
        drawn.erase(at, icc.size());
    }
    EXPECT_EQ(drawn, "") << drawn;
}

} // namespace
} // namespace ombrix::pdfkit::test
