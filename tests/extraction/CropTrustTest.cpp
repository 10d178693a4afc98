// A crop is a new file beside the document and nothing else: the document's file stays
// byte for byte as it was, changed or not, the crop's page is the region's own size, and
// the user is told where it went, or why it did not.
#include "core/AtomicFile.h"
#include "core/RunLoop.h"
#include "core/UserInteraction.h"
#include "document/ActiveViews.h"
#include "document/PDFKitBridge.h"
#include "extraction/BacklinkHighlightManager.h"
#include "extraction/CropWriter.h"
#include "extraction/HighlightRegionActions.h"
#include "extraction/RegionCapture.h"
#include "pdfkit/Document.h"
#include "pdfkit/Page.h"
#include "support/FileSizeLimit.h"
#include "support/Fixtures.h"
#include "support/Shell.h"
#include "support/TempDir.h"
#include "tabs/TabSession.h"

#include <gtest/gtest.h>

using namespace ombrix;
using namespace ombrix::testing;
namespace fs = std::filesystem;

namespace {

using Alert = HeadlessUserInteraction::Alert;

const TextRun kFormula{"E = mc", 250, 400, 20};
// Two inches wide, half an inch high.
const Rect kRegion{200, 380, 144, 36};

FixtureDocument cropDocument() {
    FixtureDocument doc;
    doc.pages.resize(2);
    doc.pages[0].runs = {kFormula};
    doc.pages[1].runs = {TextRun{"Second page", 72, 700}};
    FixtureAnnotation highlight;
    highlight.subtype = "Highlight";
    highlight.rect = kRegion;
    highlight.color = Color{1, 0.85, 0, 1};
    doc.pages[0].annotations.push_back(highlight);
    return doc;
}

std::vector<std::string> filesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) {
        names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

class CropTrustTest : public ::testing::Test {
protected:
    CropTrustTest() {
        setMainQueue(loop);
        file = writePdf(cropDocument(), dir / "Report.pdf");
        original = readFile(file).value_or("");
        tab = std::make_shared<TabSession>(PDFKitBridge().open(file));
        manager->refreshHighlights(*tab->document);
        HighlightRegionActions::Services services;
        services.manager = manager;
        services.userInteraction = ui;
        actions = std::make_unique<HighlightRegionActions>(services);
    }
    ~CropTrustTest() override {
        actions.reset();
        setMainQueue(nullptr);
    }
    ExtractedHighlight highlight() const { return manager->extractedHighlights.get().at(0); }
    std::shared_ptr<pdfkit::Page> page() const {
        return PDFKitBridge::engineDocument(*tab->document)->page(0);
    }

    TempDir dir;
    std::shared_ptr<RunLoop> loop = std::make_shared<RunLoop>();
    std::shared_ptr<HeadlessUserInteraction> ui = std::make_shared<HeadlessUserInteraction>();
    std::shared_ptr<BacklinkHighlightManager> manager =
        std::make_shared<BacklinkHighlightManager>();
    fs::path file;
    std::string original;
    std::shared_ptr<TabSession> tab;
    std::unique_ptr<HighlightRegionActions> actions;
};

TEST_F(CropTrustTest, ACropLeavesTheDocumentFileAndItsChangesAlone) {
    ASSERT_FALSE(original.empty());
    // An unsaved comment: the crop must neither write it nor forget it is unsaved.
    auto h = highlight();
    h.comment = "not saved yet";
    manager->saveToAnnotation(h, *tab);
    ASSERT_TRUE(tab->document->isDirty);

    const auto first = actions->crop(h, tab);
    ASSERT_TRUE(first);
    EXPECT_EQ(*first, dir / "Report_page1_seq001.pdf");
    EXPECT_EQ(readFile(file), original);
    EXPECT_TRUE(tab->document->isDirty);
    EXPECT_EQ(page()->annotations().at(0)->contents(), "not saved yet");

    // A clean document stays clean.
    tab->document->markClean();
    EXPECT_EQ(actions->crop(h, tab), dir / "Report_page1_seq002.pdf");
    EXPECT_FALSE(tab->document->isDirty);
    EXPECT_EQ(readFile(file), original);
    EXPECT_EQ(filesIn(dir.path()),
              (std::vector<std::string>{"Report.pdf", "Report_page1_seq001.pdf",
                                        "Report_page1_seq002.pdf"}));
}

TEST_F(CropTrustTest, TheCroppedPageIsTheRegionsSizeInPointsAndSharp) {
    const auto output = actions->crop(highlight(), tab);
    ASSERT_TRUE(output);
    const Rect padded = region::paddedRegion(kRegion, page()->mediaBox());
    auto cropped = pdfkit::Document::open(*output);
    ASSERT_TRUE(cropped);
    ASSERT_EQ(cropped->pageCount(), 1);
    const Rect box = cropped->page(0)->mediaBox();
    EXPECT_NEAR(box.width, padded.width, 0.01);
    EXPECT_NEAR(box.height, padded.height, 0.01);
    EXPECT_LT(box.width, 2.2 * 72); // not eight times two inches

    // The picture on it keeps eight pixels per point.
    const auto shell = runShell("mutool info -I " + shellQuoted(output->string()));
    ASSERT_EQ(shell.status, 0) << shell.err;
    const std::string size =
        std::to_string(int(padded.width * 8)) + "x" + std::to_string(int(padded.height * 8));
    EXPECT_NE(shell.out.find(size), std::string::npos) << shell.out;
}

TEST_F(CropTrustTest, TheUserIsToldWhereTheCropWentAndCanOpenItsFolder) {
    ui->setActionAnswer(false);
    const auto first = actions->crop(highlight(), tab);
    ASSERT_TRUE(first);
    ASSERT_EQ(ui->alerts().size(), 1u);
    EXPECT_EQ(ui->alerts()[0].title, "Crop Saved");
    EXPECT_EQ(ui->alerts()[0].style, AlertStyle::informational);
    EXPECT_NE(ui->alerts()[0].message.find(first->string()), std::string::npos);
    EXPECT_EQ(ui->actionButtons(), std::vector<std::string>{"Show in Folder"});
    EXPECT_TRUE(ui->shownFolders().empty());

    ui->setActionAnswer(true);
    ASSERT_TRUE(actions->crop(highlight(), tab));
    EXPECT_EQ(ui->shownFolders(), std::vector<fs::path>{dir.path()});
}

TEST_F(CropTrustTest, AFailedCropSaysWhyAndWritesNothing) {
    {
        // As on a full disk: the crop cannot be written.
        FileSizeLimit limit(1024);
        EXPECT_FALSE(actions->crop(highlight(), tab));
    }
    ASSERT_EQ(ui->alerts().size(), 1u);
    EXPECT_EQ(ui->alerts()[0].title, "Crop Failed");
    EXPECT_EQ(ui->alerts()[0].style, AlertStyle::warning);
    EXPECT_NE(ui->alerts()[0].message.find("File too large"), std::string::npos)
        << ui->alerts()[0].message;
    EXPECT_EQ(filesIn(dir.path()), std::vector<std::string>{"Report.pdf"});
    EXPECT_EQ(readFile(file), original);
    EXPECT_FALSE(tab->document->isDirty);

    // A region off the page is said to be one, not passed over.
    auto offPage = highlight();
    offPage.bounds = Rect{900, 900, 10, 10};
    EXPECT_FALSE(actions->crop(offPage, tab));
    ASSERT_EQ(ui->alerts().size(), 2u);
    EXPECT_EQ(ui->alerts()[1].title, "Crop Failed");
    EXPECT_NE(ui->alerts()[1].message.find("does not cover any part of the page"),
              std::string::npos);
    EXPECT_EQ(filesIn(dir.path()), std::vector<std::string>{"Report.pdf"});
}

// The command line crops by the same rule and leaves its file as alone.
TEST_F(CropTrustTest, TheCommandLineCropsTheSameWayAndLeavesTheFile) {
    const auto run = runShell(shellQuoted(OMBRIX_CLI_PATH) + " crop " + shellQuoted(file.string()) +
                              " --page 1 --rect 200,380,144,36");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, (dir / "Report_page1_seq001.pdf").string() + "\n");
    EXPECT_EQ(readFile(file), original);
    auto cropped = pdfkit::Document::open(dir / "Report_page1_seq001.pdf");
    ASSERT_TRUE(cropped);
    const Rect padded = region::paddedRegion(kRegion, page()->mediaBox());
    EXPECT_NEAR(cropped->page(0)->mediaBox().width, padded.width, 0.01);
    EXPECT_NEAR(cropped->page(0)->mediaBox().height, padded.height, 0.01);
}

} // namespace
