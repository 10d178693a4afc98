#include "extraction/CropWriter.h"

#include "core/AtomicFile.h"
#include "core/Error.h"
#include "pdfkit/Document.h"
#include "pdfkit/Page.h"
#include "support/Fixtures.h"
#include "support/ScopedEnv.h"
#include "support/Shell.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <sstream>

using namespace ombrix;
using namespace ombrix::testing;
namespace fs = std::filesystem;

namespace {

void touch(const fs::path& path) {
    writeFileAtomically(path, "x");
}

std::vector<std::string> names(const fs::path& folder) {
    std::vector<std::string> out;
    for (const auto& entry : fs::directory_iterator(folder)) {
        out.push_back(entry.path().filename().string());
    }
    std::sort(out.begin(), out.end());
    return out;
}

// Left half red, right half blue.
Image twoColours(int width, int height) {
    std::vector<std::uint8_t> rgba(std::size_t(width) * std::size_t(height) * 4, 255);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            auto* p = &rgba[(std::size_t(y) * std::size_t(width) + x) * 4];
            const bool left = x < width / 2;
            p[0] = left ? 255 : 0;
            p[1] = 0;
            p[2] = left ? 0 : 255;
        }
    }
    return Image(width, height, std::move(rgba));
}

// Points the temporary folder at a folder of the test's own while it runs.
class ScratchFolder {
public:
    bool empty() const { return fs::is_empty(dir_.path()); }

private:
    TempDir dir_;
    ScopedEnv tmpdir_{"TMPDIR", dir_.path().c_str()};
};

} // namespace

TEST(CropNames, NextSequenceFollowsTheLargestOfThatPage) {
    TempDir dir;
    EXPECT_EQ(crop::nextSequence(dir.path(), "Report", 3), 1);
    for (const char* name :
         {"Report_page3_seq001.pdf", "Report_page3_seq007.pdf", "Report_page3_seqX.pdf",
          "Report_page3_seq.pdf", "Report_page3_seq-9.pdf", "Report_page3_seq012.png",
          "Report_page4_seq020.pdf", "Report_page31_seq050.pdf", "Other_page3_seq099.pdf",
          "Report_page3_seq99999999999999.pdf"}) {
        touch(dir / name);
    }
    EXPECT_EQ(crop::nextSequence(dir.path(), "Report", 3), 8);
    EXPECT_EQ(crop::nextOutputPath(dir / "Report.pdf", 3), dir / "Report_page3_seq008.pdf");
    EXPECT_EQ(crop::nextOutputPath(dir / "Report.pdf", 4), dir / "Report_page4_seq021.pdf");
    EXPECT_EQ(crop::nextOutputPath(dir / "Report.pdf", 9), dir / "Report_page9_seq001.pdf");
    EXPECT_EQ(crop::nextSequence(dir / "missing", "Report", 3), 1);

    // Past 999 the number simply grows.
    touch(dir / "Report_page3_seq999.pdf");
    EXPECT_EQ(crop::nextOutputPath(dir / "Report.pdf", 3), dir / "Report_page3_seq1000.pdf");
}

TEST(CropNames, ABaseNameHoldingSeqStillCountsUp) {
    // Splitting the name on "_seq" would ignore every earlier crop of "my_sequence.pdf" and
    // overwrite the first one again and again.
    TempDir dir;
    touch(dir / "my_sequence_page1_seq001.pdf");
    touch(dir / "my_sequence_page1_seq002.pdf");
    EXPECT_EQ(crop::nextOutputPath(dir / "my_sequence.pdf", 1),
              dir / "my_sequence_page1_seq003.pdf");
}

TEST(WriteImagePDF, OnePageOfTheImageSizeShowingTheImage) {
    TempDir dir;
    ScratchFolder scratch;
    const fs::path output = dir / "crop.pdf";
    crop::writeImagePDF(twoColours(40, 20), output);
    EXPECT_TRUE(scratch.empty());
    EXPECT_EQ(names(dir.path()), std::vector<std::string>{"crop.pdf"});

    auto document = pdfkit::Document::open(output);
    ASSERT_TRUE(document);
    ASSERT_EQ(document->pageCount(), 1);
    auto page = document->page(0);
    EXPECT_EQ(page->mediaBox(), (Rect{0, 0, 40, 20}));
    Image drawn = page->draw(40, 20, 1.0, false);
    ASSERT_FALSE(drawn.isNull());
    EXPECT_EQ(drawn.pixel(5, 10), 0xff0000ffu);
    EXPECT_EQ(drawn.pixel(35, 10), 0x0000ffffu);
}

TEST(WriteImagePDF, AFailedWriteLeavesNothingBehind) {
    TempDir dir;
    ScratchFolder scratch;
    EXPECT_THROW(crop::writeImagePDF(twoColours(8, 8), dir / "missing" / "crop.pdf"), Error);
    // A folder in the way of the output stays as it was.
    fs::create_directory(dir / "taken.pdf");
    EXPECT_THROW(crop::writeImagePDF(twoColours(8, 8), dir / "taken.pdf"), Error);
    EXPECT_TRUE(fs::is_directory(dir / "taken.pdf"));
    EXPECT_TRUE(fs::is_empty(dir / "taken.pdf"));
    EXPECT_EQ(names(dir.path()), std::vector<std::string>{"taken.pdf"});
    EXPECT_THROW(crop::writeImagePDF(Image(), dir / "empty.pdf"), Error);
    EXPECT_FALSE(fs::exists(dir / "empty.pdf"));
    EXPECT_TRUE(scratch.empty());
}

TEST(CropToFile, WritesThePaddedRegionAsAPageOfItsSizeBesideTheDocument) {
    TempDir dir;
    FixtureDocument doc;
    doc.pages.resize(2);
    doc.pages[1].runs = {TextRun{"Cropped words", 100, 500, 18}};
    const fs::path file = writePdf(doc, dir / "Report.pdf");
    auto document = pdfkit::Document::open(file);
    ASSERT_TRUE(document);
    const auto bytes = readFile(file);

    const Rect bounds{90, 490, 200, 40}; // pad 2
    const fs::path first = crop::cropToFile(*document->page(1), bounds, file, 2);
    EXPECT_EQ(first, dir / "Report_page2_seq001.pdf");
    EXPECT_EQ(crop::cropToFile(*document->page(1), bounds, file, 2),
              dir / "Report_page2_seq002.pdf");
    EXPECT_EQ(readFile(file), bytes);

    auto cropped = pdfkit::Document::open(first);
    ASSERT_TRUE(cropped);
    // The page is the region's size in points; the image on it keeps eight pixels per point.
    EXPECT_EQ(cropped->page(0)->mediaBox(), (Rect{0, 0, 204, 44}));
    // The words are drawn where they were, in the image.
    Image drawn = cropped->page(0)->draw(204, 44, 1.0, false);
    int dark = 0;
    for (int y = 0; y < drawn.height(); ++y) {
        for (int x = 0; x < drawn.width(); ++x) {
            dark += (drawn.pixel(x, y) >> 24) < 100 ? 1 : 0;
        }
    }
    EXPECT_GT(dark, 50);

    EXPECT_THROW(crop::cropToFile(*document->page(1), Rect{800, 900, 10, 10}, file, 2), Error);
    EXPECT_FALSE(fs::exists(dir / "Report_page2_seq003.pdf"));
}

namespace {

// The lines of `qpdf --show-encryption` that name the method, not the permissions.
std::string encryptionOf(const fs::path& file, const std::string& password) {
    const auto run = runShell("qpdf --show-encryption --password=" + shellQuoted(password) + " " +
                              shellQuoted(file.string()));
    std::string method;
    std::istringstream lines(run.out);
    for (std::string line; std::getline(lines, line);) {
        if (line.starts_with("R = ") || line.starts_with("V = ") ||
            line.find("encryption method") != std::string::npos) {
            method += line + "\n";
        }
    }
    return method;
}

// What a password opens: 1 page and the crop drawn, or nothing.
bool opensWith(const fs::path& file, const std::string& password) {
    auto opened = pdfkit::Document::openFile(file);
    if (opened.status != pdfkit::OpenStatus::needsPassword ||
        !opened.document->authenticate(password) || opened.document->pageCount() != 1) {
        return false;
    }
    return !opened.document->page(0)->draw(20, 20, 0.05, false).isNull();
}

} // namespace

// A crop of an encrypted document is no way around its protection: the same method, the
// same user and owner passwords, and nothing else of the document inside.
TEST(CropToFile, AnEncryptedDocumentsCropIsEncryptedAlike) {
    TempDir dir;
    FixtureDocument doc;
    doc.pages.resize(1);
    doc.pages[0].runs = {TextRun{"Confidential figures", 100, 500, 18}};
    doc.userPassword = "secret"; // AES-256, owner password "ombrix-owner"
    const fs::path aes = writePdf(doc, dir / "aes.pdf");
    doc.userPassword.reset();
    const fs::path plain = writePdf(doc, dir / "plain.pdf");
    const fs::path rc4 = dir / "rc4.pdf";
    ASSERT_EQ(
        runShell("qpdf --allow-weak-crypto --encrypt secret ombrix-owner 128 --use-aes=n -- " +
                 shellQuoted(plain.string()) + " " + shellQuoted(rc4.string()))
            .status,
        0);

    for (const fs::path& file : {aes, rc4}) {
        SCOPED_TRACE(file.filename().string());
        const auto bytes = readFile(file);
        auto opened = pdfkit::Document::openFile(file);
        ASSERT_EQ(opened.status, pdfkit::OpenStatus::needsPassword);
        ASSERT_TRUE(opened.document->authenticate("secret"));
        const fs::path crop =
            crop::cropToFile(*opened.document->page(0), Rect{90, 490, 200, 40}, file, 1);
        EXPECT_EQ(readFile(file), bytes);

        EXPECT_TRUE(opensWith(crop, "secret"));
        EXPECT_TRUE(opensWith(crop, "ombrix-owner"));
        EXPECT_FALSE(opensWith(crop, "guess"));
        const std::string method = encryptionOf(file, "secret");
        EXPECT_FALSE(method.empty());
        EXPECT_EQ(encryptionOf(crop, "secret"), method);
        // Decrypted, the crop holds its image and no text, outline or info of the source.
        const fs::path open = dir / "decrypted.pdf";
        ASSERT_EQ(runShell("qpdf --password=secret --decrypt --qdf --object-streams=disable " +
                           shellQuoted(crop.string()) + " " + shellQuoted(open.string()))
                      .status,
                  0);
        const std::string inside = readFile(open).value_or("");
        EXPECT_EQ(inside.find("Confidential"), std::string::npos);
        EXPECT_EQ(inside.find("/Info"), std::string::npos);
        EXPECT_EQ(inside.find("/Font"), std::string::npos);
    }
}

// When the file the document came from changed since it was opened, its encryption can
// no longer be vouched for: the crop is refused and nothing is written.
TEST(CropToFile, AnEncryptedCropIsRefusedWhenTheFileChanged) {
    TempDir dir;
    const fs::path file = dir / "locked.pdf";
    writeEncryptedPdf(file);
    auto opened = pdfkit::Document::openFile(file);
    ASSERT_TRUE(opened.document && opened.document->authenticate("secret"));
    writeEncryptedPdf(file, "other");
    EXPECT_THROW(crop::cropToFile(*opened.document->page(0), Rect{90, 490, 200, 40}, file, 1),
                 Error);
    EXPECT_EQ(names(dir.path()), std::vector<std::string>{"locked.pdf"});
}
