#include "extraction/HighlightExportCommand.h"

#include "core/UserInteraction.h"
#include "document/PDFKitBridge.h"
#include "support/Fixtures.h"
#include "support/TempDir.h"
#include "tabs/TabSession.h"

#include <gtest/gtest.h>

using namespace ombrix;
using namespace ombrix::testing;

namespace {

using Alert = HeadlessUserInteraction::Alert;

FixtureDocument highlighted(bool withHighlight) {
    FixtureDocument doc;
    doc.pages.resize(2);
    const TextRun run{"alpha beta", 72, 700};
    doc.pages[1].runs = {run};
    FixtureAnnotation a;
    a.subtype = withHighlight ? "Highlight" : "Circle";
    a.rect = textBounds(run, "beta");
    a.color = Color{1, 0, 0, 1};
    doc.pages[1].annotations = {a};
    a.rect = Rect{300, 100, 20, 20}; // over no text: counted, not printed
    doc.pages[1].annotations.push_back(a);
    return doc;
}

TEST(HighlightExportCommandTest, CopiesTheDigestAndReportsEveryEntry) {
    TempDir dir;
    PDFKitBridge bridge;
    TabSession tab(bridge.open(writePdf(highlighted(true), dir / "Reading Notes.pdf")));
    HeadlessUserInteraction ui;
    exportHighlights(&tab, ui);
    EXPECT_EQ(ui.clipboardText(), "# Highlights from Reading Notes\n\n## Page 2\n\n"
                                  "> [!#FF0000] Highlight\n> beta\n\n");
    EXPECT_FALSE(ui.clipboardHTML());
    EXPECT_EQ(ui.alerts(),
              (std::vector<Alert>{{"Highlights Extracted",
                                   "2 highlights have been copied to the clipboard in Markdown "
                                   "format."}}));
    EXPECT_EQ(ui.beeps(), 0u);
}

TEST(HighlightExportCommandTest, NoHighlightsAlertsAndNoTabBeepsLeavingTheClipboard) {
    TempDir dir;
    PDFKitBridge bridge;
    TabSession tab(bridge.open(writePdf(highlighted(false), dir / "circles.pdf")));
    HeadlessUserInteraction ui;
    ui.copyToClipboard("kept");
    exportHighlights(&tab, ui);
    EXPECT_EQ(ui.alerts(),
              (std::vector<Alert>{
                  {"No Highlights Found", "This PDF doesn't contain any highlighted text."}}));
    exportHighlights(nullptr, ui);
    EXPECT_EQ(ui.beeps(), 1u);
    EXPECT_EQ(ui.alerts().size(), 1u);
    EXPECT_EQ(ui.clipboardText(), "kept");
}

} // namespace
