#include "handlers/DocumentHandler.h"

#include "annotations/AnnotationRecord.h"
#include "annotations/AnnotationService.h"
#include "core/AtomicFile.h"
#include "document/BridgeError.h"
#include "document/PDFKitBridge.h"
#include "document/PDFRenderService.h"
#include "support/AppHarness.h"
#include "support/FileSizeLimit.h"
#include "support/HandMadePdf.h"

#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>

namespace {

using namespace ombrix;
namespace fx = ombrix::testing;

// One page whose /Parent is the page itself and which has no media box of its own.
// The page tree is sound, so the file opens; MuPDF refuses to load the page for drawing
// when it looks for the inherited box and finds the cycle.
std::filesystem::path writeUnloadablePagePdf(const std::filesystem::path& path) {
    const std::string content = "0 0 1 rg 72 72 200 200 re f";
    const std::vector<std::string> objects = {
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 3 0 R /Annots [] /Contents 4 0 R /Resources << >> >>",
        "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "\nendstream",
    };
    writeFileAtomically(path, fx::handMadePdf(objects));
    return path;
}

TEST(DocumentHandlerTest, OpenMakesAnActiveTabWithTheFirstPageAndTheFileAnnotations) {
    fx::AppHarness h;
    auto first = h.open(h.pdf(fx::textDocument(2), "first.pdf"));
    auto tab = h.open(h.pdf(fx::everyAnnotationDocument(), "marked.pdf"));
    ASSERT_TRUE(tab);
    EXPECT_NE(tab, first);
    EXPECT_EQ(h.app().tabManager()->tabs.get().size(), 2u);
    EXPECT_EQ(tab->document->name, "marked");
    ASSERT_TRUE(tab->renderedImage.get());
    EXPECT_EQ(tab->renderedImage.get()->width(), 1236); // US Letter fitted into 1600 × 1600
    EXPECT_EQ(tab->renderedImage.get()->height(), 1600);
    EXPECT_FALSE(tab->errorMessage.get());
    EXPECT_EQ(tab->annotations.get().size(), 17u);
}

TEST(DocumentHandlerTest, OpenWithoutAFileAsksOnceAndACancelledPanelOpensNothing) {
    fx::AppHarness h;
    h.app().bootstrap();
    EXPECT_NO_THROW(h.dispatch(ActionID::docOpen));
    // A location of another type than a path counts as none.
    EXPECT_NO_THROW(h.dispatch(ActionID::docOpen, {{"url", std::string("/tmp/x.pdf")}}));
    EXPECT_EQ(h.user->openPanelRequests(), 2u);
    EXPECT_TRUE(h.app().tabManager()->tabs.get().empty());
}

TEST(DocumentHandlerTest, AFileThatDoesNotOpenFailsOutwardAndLeavesNoTab) {
    fx::AppHarness h;
    h.app().bootstrap();
    fx::writeGarbagePdf(h.dir / "garbage.pdf");
    for (auto file : {h.dir / "missing.pdf", h.dir / "garbage.pdf"}) {
        try {
            h.dispatch(ActionID::docOpen, {{"url", file}});
            ADD_FAILURE() << "opened " << file;
        } catch (const BridgeError& e) {
            EXPECT_EQ(e.kind(), BridgeError::Kind::cannotOpen);
        }
    }
    EXPECT_TRUE(h.app().tabManager()->tabs.get().empty());
}

TEST(DocumentHandlerTest, AFirstPageThatCannotBeDrawnLeavesATabWithTheRenderError) {
    fx::AppHarness h;
    auto tab = h.open(writeUnloadablePagePdf(h.dir / "cycle.pdf"));
    ASSERT_TRUE(tab);
    EXPECT_EQ(h.app().tabManager()->tabs.get().size(), 1u);
    EXPECT_EQ(tab->errorMessage.get(),
              "Render failed: " + BridgeError::renderFailed().description());
    EXPECT_FALSE(tab->renderedImage.get());
    EXPECT_EQ(h.app().renderService()->cachedCount(), 0u);
}

TEST(DocumentHandlerTest, SaveWritesTheMarkedDocumentBackAndMarksItClean) {
    fx::AppHarness h;
    auto file = h.pdf(fx::textDocument(2), "notes.pdf");
    auto tab = h.open(file);
    h.dispatch(ActionID::markupHighlight, {{"bounds", Rect{72, 700, 100, 30}}, {"pageIndex", 1}});
    ASSERT_TRUE(tab->document->isDirty);

    h.dispatch(ActionID::docSave);
    EXPECT_FALSE(tab->document->isDirty);
    EXPECT_TRUE(h.logged("✅ PDF successfully saved to notes.pdf"));

    PDFKitBridge bridge;
    auto reread = AnnotationService::records(*bridge.open(file));
    ASSERT_EQ(reread.size(), 1u);
    EXPECT_EQ(reread[0].type, AnnotationType::highlight);
    EXPECT_EQ(reread[0].pageIndex, 1);
}

TEST(DocumentHandlerTest, ASaveThatCannotBeWrittenKeepsTheFileAndTheDocumentDirty) {
    fx::AppHarness h;
    auto file = h.pdf(fx::textDocument(6), "kept.pdf");
    const auto original = readFile(file).value();
    auto tab = h.open(file);
    h.dispatch(ActionID::markupHighlight, {{"bounds", Rect{72, 700, 100, 30}}, {"pageIndex", 0}});
    h.sink->clear();
    {
        fx::FileSizeLimit limit(original.size() / 4);
        h.dispatch(ActionID::docSave);
    }
    EXPECT_TRUE(tab->document->isDirty);
    EXPECT_EQ(readFile(file), original);
    auto errors = h.sink->lines(LogLevel::error);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].rfind("❌ Failed to save PDF: ", 0), 0u) << errors[0];
    EXPECT_GT(errors[0].size(), std::string("❌ Failed to save PDF: ").size());
    EXPECT_FALSE(h.logged("✅ PDF successfully saved to kept.pdf"));
    // No temporary is left next to the file.
    std::size_t entries = 0;
    for (const auto& entry : std::filesystem::directory_iterator(h.dir.path())) {
        entries += entry.path().filename().string().rfind("kept.pdf", 0) == 0;
    }
    EXPECT_EQ(entries, 1u);

    // Once the write can succeed the same document saves.
    h.dispatch(ActionID::docSave);
    EXPECT_FALSE(tab->document->isDirty);
}

} // namespace
