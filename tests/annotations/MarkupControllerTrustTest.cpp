#include "AnnotationTestSupport.h"
#include "annotations/AppUndoManager.h"
#include "annotations/MarkupController.h"
#include "core/UserInteraction.h"

using namespace ombrix;
using namespace ombrix::annotations_test;

namespace {

const Color kGreen = HighlightColor::defaults()[3].nsColor;
const Color kPurple = HighlightColor::defaults()[4].nsColor;

// Real documents with markup already on them, edited through the controller the canvas,
// the sidebar and the command line share; the file on disk is watched throughout.
class MarkupControllerTest : public AnnotationFixture {
protected:
    void SetUp() override {
        AnnotationFixture::SetUp();
        undo = std::make_shared<AppUndoManager>();
        markup = std::make_shared<MarkupController>(undo);
    }
    static const fx::TextRun& line(int i) {
        static const auto runs = fx::textDocument(1).pages[0].runs;
        return runs[static_cast<std::size_t>(i)];
    }
    fx::FixtureDocument markedDocument() const { return fx::markedTextDocument(); }
    std::shared_ptr<TabSession> openMarked() {
        auto tab = openTab(markedDocument(), "marked.pdf");
        file = tab->document->url;
        opened = fx::readBytes(file);
        return tab;
    }
    std::shared_ptr<pdfkit::Annotation> first(const TabSession& tab, const std::string& type) {
        for (const auto& a : page(tab, 0)->annotations()) {
            if (a->type() == type) {
                return a;
            }
        }
        return nullptr;
    }
    void expectFileUntouched() const { EXPECT_EQ(fx::readBytes(file), opened); }

    std::shared_ptr<AppUndoManager> undo;
    std::shared_ptr<MarkupController> markup;
    std::filesystem::path file;
    std::string opened;
};

TEST_F(MarkupControllerTest, ARegionOverACommentedHighlightKeepsTheCommentAndUndoesInOneStep) {
    auto tab = openMarked();
    auto old = first(*tab, "Highlight");
    ASSERT_TRUE(old);
    const Rect region = fx::textBounds(line(1)).insetBy(-4, -4);

    auto made = markup->highlightRegion(tab, page(*tab, 0), region, kGreen);
    ASSERT_TRUE(made);
    EXPECT_FALSE(isOn(*page(*tab, 0), old));
    EXPECT_TRUE(isOn(*page(*tab, 0), made));
    EXPECT_EQ(made->contents(), "check this figure");
    EXPECT_NEAR(made->bounds().x, region.x, 0.01);
    EXPECT_NEAR(made->bounds().width, region.width, 0.01);
    EXPECT_TRUE(tab->document->isDirty);
    EXPECT_EQ(undo->undoStack().size(), 1u);
    expectFileUntouched();

    undo->undo();
    EXPECT_TRUE(isOn(*page(*tab, 0), old));
    EXPECT_FALSE(isOn(*page(*tab, 0), made));
    EXPECT_EQ(old->contents(), "check this figure");
    undo->redo();
    EXPECT_TRUE(isOn(*page(*tab, 0), made));
    EXPECT_FALSE(isOn(*page(*tab, 0), old));
    expectFileUntouched();
}

TEST_F(MarkupControllerTest, ARegionJoinsEveryCommentUnderItButNotThePageTextAHighlightCarries) {
    auto document = fx::textDocument(1);
    auto& annotations = document.pages[0].annotations;
    annotations.push_back(fx::annotationOf("Highlight", fx::textBounds(line(1)),
                                           Color{1, 1, 0, 0.5}, std::string("first")));
    // Made from a selection: its contents are the text under it, not a comment.
    annotations.push_back(
        fx::annotationOf("Highlight", fx::textBounds(line(2)), Color{1, 1, 0, 0.5}, line(2).text));
    annotations.push_back(fx::annotationOf("Highlight", fx::textBounds(line(3)),
                                           Color{1, 1, 0, 0.5}, std::string("second")));
    annotations.push_back(fx::annotationOf("Highlight", fx::textBounds(line(4)),
                                           Color{1, 1, 0, 0.5}, std::string("first")));
    auto tab = openTab(document);
    const Rect all = fx::textBounds(line(1)).united(fx::textBounds(line(4))).insetBy(-2, -2);
    auto made = markup->highlightRegion(tab, page(*tab, 0), all, kPurple);
    ASSERT_TRUE(made);
    EXPECT_EQ(made->contents(), "first\n\nsecond");
    EXPECT_EQ(page(*tab, 0)->annotations().size(), 1u);
}

TEST_F(MarkupControllerTest, ARegionWithAMarginLeavesTheNeighbouringLinesHighlightsAlone) {
    auto document = fx::textDocument(1);
    auto& annotations = document.pages[0].annotations;
    annotations.push_back(fx::annotationOf("Highlight", fx::textBounds(line(1)),
                                           Color{1, 1, 0, 0.5}, std::string("the line")));
    annotations.push_back(fx::annotationOf("Highlight", fx::textBounds(line(2)),
                                           Color{1, 1, 0, 0.5}, std::string("its neighbour")));
    auto tab = openTab(document);
    auto neighbour = page(*tab, 0)->annotations().back();
    // The margin reaches a few points into the next line.
    const Rect generous = fx::textBounds(line(1)).insetBy(-3, -6);
    ASSERT_TRUE(generous.intersects(neighbour->bounds()));
    auto made = markup->highlightRegion(tab, page(*tab, 0), generous, kGreen);
    ASSERT_TRUE(made);
    EXPECT_TRUE(isOn(*page(*tab, 0), neighbour));
    EXPECT_EQ(made->contents(), "the line");
}

TEST_F(MarkupControllerTest, NothingHappensAndNothingIsRecordedForClicksOrForeignPages) {
    auto tab = openMarked();
    auto other = openTab(fx::textDocument(1), "other.pdf");
    const auto before = page(*tab, 0)->annotations();
    EXPECT_FALSE(markup->highlightRegion(tab, page(*tab, 0),
                                         Rect{fx::textBounds(line(1)).x, 700, 2, 40}, kGreen));
    EXPECT_FALSE(markup->highlightRegion(tab, page(*other, 0), fx::textBounds(line(1)), kGreen));
    EXPECT_FALSE(markup->highlightRegion(tab, nullptr, fx::textBounds(line(1)), kGreen));
    EXPECT_FALSE(markup->addShape(tab, page(*tab, 0), Rect{100, 100, 4, 50}));
    EXPECT_EQ(page(*tab, 0)->annotations(), before);
    EXPECT_FALSE(undo->canUndo());
    EXPECT_FALSE(tab->document->isDirty);
}

TEST_F(MarkupControllerTest, BulkRecolourTouchesOnlyTheChosenKeepsOutlinesAndUndoesAtOnce) {
    auto tab = openMarked();
    std::vector<std::shared_ptr<pdfkit::Annotation>> chosen;
    std::shared_ptr<pdfkit::Annotation> note, square;
    for (const auto& a : page(*tab, 0)->annotations()) {
        if (a->type() == "Highlight") {
            chosen.push_back(a);
        } else if (a->type() == "Text") {
            note = a;
        } else if (a->type() == "Square") {
            square = a;
        }
    }
    ASSERT_EQ(chosen.size(), 2u);
    ASSERT_TRUE(note && square);
    chosen.push_back(square);
    const auto noteColour = note->color();
    const auto highlightAlpha = chosen[0]->color()->alpha;

    ASSERT_TRUE(markup->recolour(tab, chosen, kGreen));
    for (std::size_t i = 0; i < 2; ++i) {
        const Color c = *chosen[i]->color();
        EXPECT_NEAR(c.green, kGreen.green, 0.01);
        EXPECT_NEAR(c.red, kGreen.red, 0.01);
        // Each keeps its own opacity; no fill is added to a highlight.
        EXPECT_NEAR(c.alpha, highlightAlpha, 0.01);
        EXPECT_FALSE(chosen[i]->interiorColor());
    }
    // The outline stays an outline: its stroke changes, it gets no fill.
    EXPECT_NEAR(square->color()->green, kGreen.green, 0.01);
    EXPECT_FALSE(square->interiorColor());
    // The note overlapping a highlight was not chosen and keeps its colour.
    EXPECT_EQ(note->color(), noteColour);
    // The tab's records follow.
    for (const auto& record : tab->annotations.get()) {
        if (record.pdfAnnotationRef == chosen[0]) {
            EXPECT_NEAR(record.appearance.color.green, kGreen.green, 0.01);
        }
    }
    EXPECT_EQ(undo->undoStack().size(), 1u);
    expectFileUntouched();

    undo->undo();
    EXPECT_NEAR(chosen[0]->color()->red, 1.0, 0.01);
    EXPECT_NEAR(chosen[1]->color()->red, 1.0, 0.01);
    EXPECT_NEAR(square->color()->green, 0.0, 0.01);
    // The same colour again changes nothing and records nothing.
    undo->redo();
    EXPECT_FALSE(markup->recolour(tab, chosen, kGreen));
    EXPECT_EQ(undo->undoStack().size(), 1u);
}

TEST_F(MarkupControllerTest, CommentsAndNoteTextAreUndoableEditsOfTheSameAnnotation) {
    auto tab = openMarked();
    auto highlight = first(*tab, "Highlight");
    auto note = first(*tab, "Text");
    ASSERT_TRUE(markup->setText(tab, highlight, "revised"));
    ASSERT_TRUE(markup->setText(tab, note, "a longer note\nover two lines"));
    EXPECT_EQ(highlight->contents(), "revised");
    EXPECT_EQ(note->contents(), "a longer note\nover two lines");
    bool seen = false;
    for (const auto& record : tab->annotations.get()) {
        if (record.pdfAnnotationRef == highlight) {
            EXPECT_EQ(record.content, "revised");
            seen = true;
        }
    }
    EXPECT_TRUE(seen);
    // Blank clears a comment; the same text again is no step.
    EXPECT_FALSE(markup->setText(tab, note, "a longer note\nover two lines"));
    ASSERT_TRUE(markup->setText(tab, highlight, "  \n"));
    EXPECT_FALSE(highlight->contents() && !highlight->contents()->empty());
    EXPECT_EQ(undo->undoStack().size(), 3u);

    undo->undo();
    EXPECT_EQ(highlight->contents(), "revised");
    undo->undo();
    EXPECT_EQ(note->contents(), "a note");
    undo->undo();
    EXPECT_EQ(highlight->contents(), "check this figure");
    expectFileUntouched();
}

TEST_F(MarkupControllerTest, ASelectionOverTwoPagesIsMarkedLineByLineInOneStep) {
    auto tab = openTab(fx::textDocument(2));
    auto p0 = page(*tab, 0);
    auto p1 = page(*tab, 1);
    const Rect a = fx::textBounds(line(1)), b = fx::textBounds(line(2));
    pdfkit::Selection selection({{p0, {a, b}}, {p1, {fx::textBounds(line(1))}}},
                                std::string("two pages"));
    const auto made = markup->markSelection(tab, selection, AnnotationType::underline, kPurple);
    ASSERT_EQ(made.size(), 2u);
    EXPECT_EQ(made[0]->type(), "Underline");
    EXPECT_EQ(made[0]->quadRects().size(), 2u);
    EXPECT_EQ(made[1]->page(), p1);
    EXPECT_EQ(tab->annotations.get().size(), 2u);
    EXPECT_EQ(undo->undoStack().size(), 1u);
    undo->undo();
    EXPECT_TRUE(p0->annotations().empty());
    EXPECT_TRUE(p1->annotations().empty());
    EXPECT_TRUE(tab->annotations.get().empty());
}

TEST_F(MarkupControllerTest, NotesAndRemovalsPutBackTheVeryObjectsOnUndo) {
    auto tab = openMarked();
    const auto before = page(*tab, 0)->annotations();
    auto note = markup->addNote(tab, page(*tab, 0), Point{600, 10}, "  edge  ", kGreen);
    ASSERT_TRUE(note);
    // Kept on the page although asked for at its corner.
    EXPECT_TRUE(page(*tab, 0)->cropBox().contains(note->bounds()));
    EXPECT_EQ(note->contents(), "edge");

    ASSERT_TRUE(markup->remove(tab, before));
    EXPECT_EQ(page(*tab, 0)->annotations().size(), 1u);
    undo->undo();
    for (const auto& a : before) {
        EXPECT_TRUE(isOn(*page(*tab, 0), a));
    }
    undo->undo();
    EXPECT_EQ(page(*tab, 0)->annotations(), before);
    EXPECT_FALSE(markup->remove(tab, {}));
    expectFileUntouched();
}

TEST_F(MarkupControllerTest, AResizeIsOneStepThatTheTabsRecordAndTheDirtyMarkFollow) {
    auto tab = openMarked();
    auto square = first(*tab, "Square");
    ASSERT_TRUE(square);
    const Rect before = square->bounds();
    const Rect after{before.x + 40, before.y - 30, before.width + 10, before.height + 5};
    auto recordBounds = [&] {
        for (const auto& record : tab->annotations.get()) {
            if (record.pdfAnnotationRef == square) {
                return record.bounds;
            }
        }
        return Rect{};
    };
    ASSERT_TRUE(markup->resize(tab, square, after));
    EXPECT_EQ(square->bounds(), after);
    EXPECT_EQ(recordBounds(), after);
    EXPECT_TRUE(tab->document->isDirty);
    EXPECT_EQ(undo->undoStack.get().size(), 1u);
    // The same bounds again, or bounds that are no numbers, record nothing.
    EXPECT_FALSE(markup->resize(tab, square, after));
    EXPECT_FALSE(markup->resize(tab, square, Rect{NAN, 0, 1, 1}));
    EXPECT_EQ(undo->undoStack.get().size(), 1u);

    undo->undo();
    EXPECT_EQ(square->bounds(), before);
    EXPECT_EQ(recordBounds(), before);
    expectFileUntouched();
}

TEST_F(MarkupControllerTest, MarksOfEveryKindAreOneStepEachAndMarkupFollowsTheRegionRules) {
    auto tab = openMarked();
    auto onPage = page(*tab, 0);
    const std::size_t count = onPage->annotations().size();
    const Color blue = Color::rgb(0, 0, 255).withAlpha(0.5);
    auto circle =
        markup->addMark(tab, onPage, Rect{300, 100, 80, 40}, AnnotationType::circle, blue);
    ASSERT_TRUE(circle);
    EXPECT_EQ(circle->type(), "Circle");
    EXPECT_EQ(circle->bounds(), (Rect{300, 100, 80, 40}));
    EXPECT_NEAR(circle->color()->alpha, 0.5, 0.01);
    auto note = markup->addMark(tab, onPage, Rect{100, 100, 80, 40}, AnnotationType::stickyNote,
                                blue.withAlpha(1));
    ASSERT_TRUE(note);
    EXPECT_EQ(note->type(), "Text");
    // The icon at the rectangle's top left.
    EXPECT_TRUE(Rect(100, 140 - MarkupController::kNoteSize, MarkupController::kNoteSize,
                     MarkupController::kNoteSize)
                    .contains(note->bounds()))
        << note->bounds().x << "," << note->bounds().y;
    // A highlight is a region highlight with the page text under it.
    auto mark = markup->addMark(tab, onPage, fx::textBounds(line(4)).insetBy(-2, -2),
                                AnnotationType::highlight, blue);
    ASSERT_TRUE(mark);
    EXPECT_TRUE(mark->isRegion());
    EXPECT_FALSE(mark->contents().value_or("").empty());
    // No size, or a kind nobody draws by hand: nothing.
    EXPECT_FALSE(markup->addMark(tab, onPage, Rect{10, 10, 0, 5}, AnnotationType::square, blue));
    EXPECT_FALSE(markup->addMark(tab, onPage, Rect{10, 10, 5, 5}, AnnotationType::link, blue));
    EXPECT_EQ(undo->undoStack.get().size(), 3u);
    undo->undo();
    undo->undo();
    undo->undo();
    EXPECT_EQ(onPage->annotations().size(), count);
    expectFileUntouched();
}

TEST_F(MarkupControllerTest, ACommentOnAnEarlierFilesResultKeepsTheResultAndUndoesBoth) {
    auto document = fx::textDocument(1);
    document.pages[0].annotations.push_back(fx::annotationOf(
        "Highlight", fx::textBounds(line(2)), Color{1, 1, 0, 0.5}, std::string("\\frac{a}{b}")));
    auto tab = openTab(document);
    auto highlight = page(*tab, 0)->annotations().front();
    // As an earlier version marked a formula kept in the contents.
    highlight->setPrivateFlag("OmbrixResult", true);
    ASSERT_TRUE(markup->setText(tab, highlight, "from the appendix"));
    EXPECT_EQ(highlight->contents(), "from the appendix");
    EXPECT_EQ(highlight->privateText("OmbrixResult"), "\\frac{a}{b}");
    undo->undo();
    EXPECT_EQ(highlight->contents(), "\\frac{a}{b}");
    EXPECT_TRUE(highlight->privateFlag("OmbrixResult"));
    EXPECT_FALSE(highlight->privateText("OmbrixResult"));
}

TEST_F(MarkupControllerTest, ADocumentThatForbidsAnnotatingSaysSoAndStaysAsItWas) {
    auto document = fx::textDocument(1);
    document.userPassword = "secret";
    document.allowsAnnotating = false;
    const auto file = fx::writePdf(document, dir / "forbidding.pdf");
    auto tab = tabs.openDocument(PDFKitBridge(std::string("secret")).open(file));
    ASSERT_TRUE(tab);
    auto user = std::make_shared<HeadlessUserInteraction>();
    MarkupController told(undo, user);
    EXPECT_FALSE(told.highlightRegion(tab, page(*tab, 0), fx::textBounds(line(1)), kGreen));
    EXPECT_FALSE(told.addNote(tab, page(*tab, 0), Point{100, 100}, "no", kGreen));
    ASSERT_EQ(user->alerts().size(), 2u);
    EXPECT_EQ(user->alerts()[0].style, AlertStyle::warning);
    EXPECT_NE(user->alerts()[0].title.find("forbidding"), std::string::npos);
    EXPECT_TRUE(page(*tab, 0)->annotations().empty());
    EXPECT_FALSE(undo->canUndo());
    EXPECT_FALSE(tab->document->isDirty);
}

TEST(MarkupPalette, EveryColourCountsAsItsNearestPaletteEntry) {
    for (const auto& entry : HighlightColor::defaults()) {
        EXPECT_EQ(MarkupController::nearestPaletteEntry(entry.nsColor).id, entry.id);
        EXPECT_EQ(MarkupController::nearestPaletteEntry(entry.nsColor.withAlpha(1)).id, entry.id);
    }
    // Light green, as other readers write it, is green; a pale yellow is yellow.
    EXPECT_EQ(MarkupController::nearestPaletteEntry(Color{0.56, 0.93, 0.56, 1}).id, "green");
    EXPECT_EQ(MarkupController::nearestPaletteEntry(Color{1, 1, 0.6, 1}).id, "yellow");
    // Every tool draws in a palette colour.
    for (HighlightTool tool : {HighlightTool::text, HighlightTool::crop, HighlightTool::orange}) {
        auto colour = MarkupController::toolColour(tool);
        ASSERT_TRUE(colour);
        EXPECT_NE(std::find(HighlightColor::defaults().begin(), HighlightColor::defaults().end(),
                            *colour),
                  HighlightColor::defaults().end());
    }
    EXPECT_FALSE(MarkupController::toolColour(HighlightTool::none));
}

} // namespace
