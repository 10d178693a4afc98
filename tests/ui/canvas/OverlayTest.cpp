#include "annotations/AnnotationService.h"
#include "annotations/AppUndoManager.h"
#include "annotations/HighlightColor.h"
#include "app/AppContainer.h"
#include "core/LogSink.h"
#include "core/NotificationCenter.h"
#include "core/UserInteraction.h"
#include "document/PDFKitBridge.h"
#include "pdfkit/Document.h"
#include "support/Fixtures.h"
#include "support/TempDir.h"
#include "tabs/TabManager.h"
#include "tabs/TabSession.h"
#include "ui/canvas/DragRectangleLayer.h"
#include "ui/canvas/FreeTextEditor.h"
#include "ui/canvas/PDFCanvasWrapper.h"
#include "ui/canvas/TextPopover.h"
#include "ui/canvas/ToolPalette.h"
#include "ui/platform/QtMainQueue.h"
#include "ui/support/UiTestSupport.h"

#include <QApplication>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>
#include <QtTest>

using namespace ombrix;
using namespace ombrix::testing;

namespace {

FixtureAnnotation annotation(std::string subtype, Rect rect, Color color,
                             std::optional<std::string> contents = std::nullopt) {
    FixtureAnnotation a;
    a.subtype = std::move(subtype);
    a.rect = rect;
    a.color = color;
    a.contents = std::move(contents);
    if (a.subtype == "Square") {
        a.borderWidth = 2;
    }
    return a;
}

const Rect kSquare{100, 500, 100, 80};       // 100 × 80 on screen at scale 1
const Rect kNoted{100, 600, 200, 100};       // a highlight with a comment
const Rect kNoteSquare{300, 300, 80, 60};    // a square with text
const Rect kOldHighlight{350, 400, 150, 40}; // under the region drags

FixtureDocument overlayDocument() {
    FixturePage first;
    first.runs = {TextRun{"Select these words with the text tool please.", 72, 740, 14}};
    first.annotations = {
        annotation("Square", kSquare, Color{1, 0, 0, 1}),
        annotation("Highlight", kNoted, Color{1, 0.8, 0, 1}, "keep me"),
        annotation("Square", kNoteSquare, Color{0, 0, 1, 1},
                   "A square with a note long enough to wrap over several lines of the card."),
        annotation("Highlight", kOldHighlight, Color{1, 0.8, 0, 1}),
    };
    FixturePage second;
    second.runs = {TextRun{"Second page", 72, 720, 14}};
    FixtureDocument document;
    document.pages = {first, second};
    return document;
}

// Colours come back from the file as 8-bit-ish floats.

bool same(const std::optional<Color>& a, const Color& b) {
    return a && std::abs(a->red - b.red) < 0.005 && std::abs(a->green - b.green) < 0.005 &&
           std::abs(a->blue - b.blue) < 0.005 && std::abs(a->alpha - b.alpha) < 0.005;
}

bool near(const Rect& a, const Rect& b, double slack) {
    return std::abs(a.x - b.x) <= slack && std::abs(a.y - b.y) <= slack &&
           std::abs(a.width - b.width) <= slack && std::abs(a.height - b.height) <= slack;
}

QByteArray describe(const Rect& r) {
    return QString("(%1, %2, %3, %4)").arg(r.x).arg(r.y).arg(r.width).arg(r.height).toUtf8();
}

} // namespace

class OverlayTest : public QObject {
    Q_OBJECT

    TempDir dir;
    std::shared_ptr<HeadlessUserInteraction> user;
    std::unique_ptr<AppContainer> app;
    std::unique_ptr<QWidget> window;
    ui::PDFCanvasWrapper* wrapper = nullptr;
    std::shared_ptr<TabSession> session;

    ui::CustomPDFView& view() { return *wrapper->canvas()->pdfView(); }
    std::shared_ptr<pdfkit::Page> page(int index) { return view().document()->page(index); }
    std::vector<std::shared_ptr<pdfkit::Annotation>> onPage(int index, const std::string& type) {
        std::vector<std::shared_ptr<pdfkit::Annotation>> found;
        for (const auto& a : page(index)->annotations()) {
            if (a->type() == type) {
                found.push_back(a);
            }
        }
        return found;
    }
    std::shared_ptr<pdfkit::Annotation> firstAt(const Rect& bounds) {
        for (const auto& a : page(0)->annotations()) {
            if (near(a->bounds(), bounds, 0.01)) {
                return a;
            }
        }
        return nullptr;
    }
    // A page point in the viewport's widget coordinates.
    QPoint at(int pageIndex, Point pagePoint) {
        return view()
            .viewToWidget(view().convertPointFromPage(pagePoint, *page(pageIndex)))
            .toPoint();
    }
    void settle(int ms = 60) { QTest::qWait(ms); }

    void show(const std::filesystem::path& file, double scale = 1.0) {
        auto document = PDFKitBridge().open(file);
        QVERIFY(document);
        // The menu's undo acts while a tab is active, as it always is under a canvas.
        session = app->tabManager()->openDocument(document);
        window = std::make_unique<QWidget>();
        wrapper = new ui::PDFCanvasWrapper(*app, window.get());
        auto* layout = new QVBoxLayout(window.get());
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(wrapper);
        window->resize(800, 900);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        wrapper->setSession(session);
        wrapper->description().document = document;
        wrapper->updateView();
        view().setScaleFactor(scale);
        view().goToPage(page(0));
        settle();
    }
    void setShapeMode(bool on) {
        wrapper->description().isShapeMode = on;
        wrapper->description().zoom = view().scaleFactor();
        wrapper->updateView();
    }
    void setTextMode(bool on) {
        wrapper->description().isTextMode = on;
        wrapper->description().zoom = view().scaleFactor();
        wrapper->updateView();
        settle();
    }
    // A click on empty page area; in text mode it opens an entry there.
    void openEntry(Point pagePoint) {
        QTest::mouseClick(view().viewport(), Qt::LeftButton, {}, at(0, pagePoint));
        QVERIFY(uitest::waitUntil([&] { return wrapper->isEditingText(); }));
        QVERIFY(wrapper->textEditor()->isVisible());
        QVERIFY(uitest::waitUntil([&] { return wrapper->textEditor()->hasFocus(); }));
    }
    void select(Point pagePoint) {
        QTest::mouseClick(view().viewport(), Qt::LeftButton, {}, at(0, pagePoint));
        QVERIFY(uitest::waitUntil([&] { return wrapper->selectedAnnotation().has_value(); }));
        settle(20);
    }
    void drag(Point from, Point to, Qt::KeyboardModifiers modifiers) {
        QTest::mousePress(view().viewport(), Qt::LeftButton, modifiers, at(0, from));
        QTest::mouseMove(view().viewport(), at(0, {(from.x + to.x) / 2, (from.y + to.y) / 2}));
        QTest::mouseMove(view().viewport(), at(0, to));
        settle(20);
        QTest::mouseRelease(view().viewport(), Qt::LeftButton, modifiers, at(0, to));
        settle();
    }
    // A handle's centre in the wrapper; moves are sent where the overlay is at the time.
    QPoint handle(ui::AnnotationOverlay::Corner corner) {
        return wrapper->overlay()->handleCentre(corner).toPoint();
    }
    QPoint local(QPoint inWrapper) { return wrapper->overlay()->mapFromParent(inWrapper); }
    // The viewport's pixel at a page point, once the scheduler has drawn what it shows.
    QColor pixel(Point pagePoint) {
        uitest::waitUntil([&] { return view().renderScheduler().idle(); });
        settle(30);
        const QImage image = view().viewport()->grab().toImage();
        return image.pixelColor(at(0, pagePoint));
    }
    static bool isWhite(const QColor& c) {
        return c.red() > 240 && c.green() > 240 && c.blue() > 240;
    }

private slots:
    void initTestCase() {
        setMainQueue(ui::QtMainQueue::install());
        writePdf(overlayDocument(), dir / "overlay.pdf");
    }

    void init() {
        std::filesystem::copy_file(dir / "overlay.pdf", dir / "work.pdf",
                                   std::filesystem::copy_options::overwrite_existing);
        user = std::make_shared<HeadlessUserInteraction>();
        AppContainer::Options options;
        options.logSink = std::make_shared<MemorySink>();
        options.preferencesFile = dir / "preferences.json";
        options.supportDirectory = dir / "support";
        options.userInteraction = user;
        options.mainQueue = mainQueuePtr();
        app = std::make_unique<AppContainer>(options);
    }

    void cleanup() {
        window.reset();
        session.reset();
        app.reset();
    }

    void aCornerHandleResizesTheFrameAndNeverBelowTenPoints() {
        show(dir / "work.pdf");
        select({150, 540});
        const Rect start = wrapper->selectionGeometry().screenRect;
        QVERIFY2(near(Rect{0, 0, start.width, start.height}, Rect{0, 0, 100, 80}, 0.01),
                 describe(start));
        auto* overlay = wrapper->overlay();
        const QPoint grip = handle(ui::AnnotationOverlay::Corner::topLeft);
        QTest::mousePress(overlay, Qt::LeftButton, {}, local(grip));
        QTest::mouseMove(overlay, local(grip + QPoint(30, 30)));
        const Rect moved = wrapper->selectionGeometry().screenRect;
        QVERIFY2(near(moved, Rect{start.x + 30, start.y + 30, 70, 50}, 0.01), describe(moved));
        QTest::mouseMove(overlay, local(grip + QPoint(95, 0)));
        const Rect narrow = wrapper->selectionGeometry().screenRect;
        QVERIFY2(near(narrow, Rect{start.x + 95, start.y, 10, 80}, 0.01), describe(narrow));
        QTest::mouseRelease(overlay, Qt::LeftButton, {}, local(grip + QPoint(95, 0)));
        settle();
        // At scale 1 a screen point is a page point: the square is now 10 wide.
        auto square = wrapper->selectedAnnotation()->pdfAnnotationRef;
        QVERIFY2(near(square->bounds(), Rect{195, 500, 10, 80}, 0.01), describe(square->bounds()));
        QCOMPARE(square->type(), std::string("Square"));
        QVERIFY(session->document->isDirty);
    }

    void wideningAScaledFrameCommitsScaledPageBoundsAndKeepsTheAnnotation() {
        show(dir / "work.pdf", 2.0);
        select({200, 650});
        QCOMPARE(wrapper->selectedAnnotation()->content, std::optional<std::string>("keep me"));
        const Rect start = wrapper->selectionGeometry().screenRect;
        QVERIFY2(near(Rect{0, 0, start.width, start.height}, Rect{0, 0, 400, 200}, 0.01),
                 describe(start));
        const auto highlight = wrapper->selectedAnnotation()->pdfAnnotationRef;
        const QColor before = pixel({335, 650});
        QVERIFY(isWhite(before));

        auto* overlay = wrapper->overlay();
        const QPoint grip = handle(ui::AnnotationOverlay::Corner::bottomRight);
        QTest::mousePress(overlay, Qt::LeftButton, {}, local(grip));
        QTest::mouseMove(overlay, local(grip + QPoint(20, 0)));
        QTest::mouseMove(overlay, local(grip + QPoint(40, 0)));
        QTest::mouseRelease(overlay, Qt::LeftButton, {}, local(grip + QPoint(40, 0)));
        settle();
        QVERIFY2(near(highlight->bounds(), Rect{100, 600, 220, 100}, 0.01),
                 describe(highlight->bounds()));
        // The same annotation, still a highlight with its comment: nothing of it is lost.
        QCOMPARE(highlight->type(), std::string("Highlight"));
        QCOMPARE(highlight->contents(), std::optional<std::string>("keep me"));
        QVERIFY(firstAt(Rect{100, 600, 220, 100}) == highlight);
        bool recorded = false;
        for (const auto& r : session->annotations()) {
            recorded |=
                r.pdfAnnotationRef == highlight && near(r.bounds, highlight->bounds(), 0.01);
        }
        QVERIFY(recorded);
        QVERIFY(!isWhite(pixel({335, 650}))); // the page shows the wider highlight

        // Undo: the page, the frame and the document agree on the old bounds; redo again.
        app->undo();
        settle();
        QVERIFY2(near(highlight->bounds(), kNoted, 0.01), describe(highlight->bounds()));
        QVERIFY(isWhite(pixel({335, 650})));
        QVERIFY(wrapper->selectedAnnotation());
        QVERIFY(near(wrapper->selectedAnnotation()->bounds, kNoted, 0.01));
        const Rect frame = wrapper->selectionGeometry().screenRect;
        QVERIFY2(near(Rect{0, 0, frame.width, frame.height}, Rect{0, 0, 400, 200}, 0.5),
                 describe(frame));
        app->redo();
        settle();
        QVERIFY(near(highlight->bounds(), Rect{100, 600, 220, 100}, 0.01));
        QVERIFY(!isWhite(pixel({335, 650})));
        QVERIFY(near(wrapper->selectedAnnotation()->bounds, Rect{100, 600, 220, 100}, 0.01));
    }

    void anAltDragWithNoToolTouchesNothingUntilAToolIsChosen() {
        show(dir / "work.pdf");
        const auto before = page(0)->annotations().size();
        const auto old = firstAt(kOldHighlight);
        QTest::mousePress(view().viewport(), Qt::LeftButton, Qt::AltModifier, at(0, {340, 390}));
        QTest::mouseMove(view().viewport(), at(0, {520, 450}));
        QVERIFY(uitest::waitUntil([&] { return wrapper->optionDragRect() != Rect{}; }));
        QVERIFY(wrapper->palettePosition()); // the palette comes with the drag
        QVERIFY(wrapper->toolPalette()->isVisible());
        QTest::mouseRelease(view().viewport(), Qt::LeftButton, Qt::AltModifier, at(0, {520, 450}));
        settle();
        QVERIFY(wrapper->optionDragRect() == Rect{}); // the live rectangle goes with the drag
        // The older highlight, and its comment, stay until a tool says what the region is.
        QVERIFY(firstAt(kOldHighlight) == old);
        QCOMPARE(page(0)->annotations().size(), before);
        QVERIFY(!session->document->isDirty);
        QVERIFY(!app->undoManager()->canUndo());
    }

    void aToolChosenRightAfterAnEmptyDragHighlightsThatRegion() {
        show(dir / "work.pdf");
        drag({60, 200}, {200, 260}, Qt::AltModifier);
        QVERIFY(onPage(0, "Highlight").size() == 2);
        QTest::mouseClick(wrapper->toolPalette()->toolButton(HighlightTool::orange),
                          Qt::LeftButton);
        QCOMPARE(wrapper->activeTool(), HighlightTool::orange);
        QCOMPARE(onPage(0, "Highlight").size(), std::size_t(3));
        QVERIFY(same(onPage(0, "Highlight").back()->color(),
                     *ui::highlightToolColor(HighlightTool::orange)));
    }

    void theCropToolReplacesAnOlderHighlightWithOnePurpleOne() {
        show(dir / "work.pdf");
        int sidebarRequests = 0;
        auto observation = NotificationCenter::defaultCenter().addObserver(
            "ShowHighlightSidebar", [&] { ++sidebarRequests; });
        wrapper->setActiveTool(HighlightTool::crop);
        QVERIFY(!session->document->isDirty);
        drag({340, 390}, {520, 450}, Qt::AltModifier);
        QVERIFY(uitest::waitUntil([&] { return !firstAt(kOldHighlight); }));
        std::vector<std::shared_ptr<pdfkit::Annotation>> inRegion;
        for (const auto& a : onPage(0, "Highlight")) {
            if (a->bounds().intersects(Rect{340, 390, 180, 60})) {
                inRegion.push_back(a);
            }
        }
        QCOMPARE(inRegion.size(), std::size_t(1));
        QVERIFY2(near(inRegion[0]->bounds(), Rect{340, 390, 180, 60}, 1.5),
                 describe(inRegion[0]->bounds()));
        QVERIFY(same(inRegion[0]->color(), *ui::highlightToolColor(HighlightTool::crop)));
        // The region marks the document dirty, so closing it asks before losing it.
        QVERIFY(session->document->isDirty);
        QVERIFY(uitest::waitUntil([&] { return sidebarRequests == 1; }));
        bool listed = false;
        for (const auto& r : session->annotations()) {
            listed |= r.pdfAnnotationRef == inRegion[0];
        }
        QVERIFY(listed);
        // Undo brings the old one back and takes the purple one away; redo swaps again.
        app->undo();
        QVERIFY(firstAt(kOldHighlight));
        QCOMPARE(onPage(0, "Highlight").size(), std::size_t(2));
        app->redo();
        QVERIFY(!firstAt(kOldHighlight));
        QCOMPARE(onPage(0, "Highlight").back(), inRegion[0]);
    }

    void aShapeSmallerThanFivePointsMakesNothing() {
        show(dir / "work.pdf");
        setShapeMode(true);
        const auto before = onPage(0, "Square").size();
        drag({60, 100}, {64, 150}, {});
        QCOMPARE(onPage(0, "Square").size(), before);
        QVERIFY(!session->document->isDirty);
        QVERIFY(app->undoManager()->undoStack().empty());

        QTest::mousePress(view().viewport(), Qt::LeftButton, {}, at(0, {60, 100}));
        QTest::mouseMove(view().viewport(), at(0, {120, 150}));
        QVERIFY(uitest::waitUntil([&] { return wrapper->shapeDragRect() != Rect{}; }));
        QTest::mouseRelease(view().viewport(), Qt::LeftButton, {}, at(0, {120, 150}));
        QVERIFY(uitest::waitUntil([&] { return onPage(0, "Square").size() == before + 1; }));
        QVERIFY(wrapper->shapeDragRect() == Rect{});
        const auto shape = onPage(0, "Square").back();
        QVERIFY(same(shape->color(), SystemColors::red));
        // No fill: written opaque, it would hide what the shape marks.
        QVERIFY(!shape->interiorColor());
        QVERIFY(session->document->isDirty);
        QCOMPARE(session->annotations().back().content, std::optional<std::string>("Shape"));
        app->undo();
        QCOMPARE(onPage(0, "Square").size(), before);
        QVERIFY(session->annotations().back().pdfAnnotationRef != shape);
    }

    void onlyAnnotationsWithTextShowThePopover() {
        show(dir / "work.pdf");
        select({150, 540}); // the square without contents
        QVERIFY(!wrapper->showsCopyPopover());
        QVERIFY(!wrapper->textPopover()->isVisible());
        QVERIFY(wrapper->toolPalette()->isVisible());

        select({340, 330}); // the square with a note
        QVERIFY(wrapper->showsCopyPopover());
        QVERIFY(wrapper->textPopover()->isVisible());
        QVERIFY(wrapper->textPopover()->text().startsWith("A square with a note"));
        // Palette and card side by side, neither over the other, both inside the view.
        const QRect inside = wrapper->rect();
        QVERIFY(inside.contains(wrapper->toolPalette()->geometry()));
        QVERIFY(inside.contains(wrapper->textPopover()->geometry()));
        QVERIFY(!wrapper->toolPalette()->geometry().intersects(wrapper->textPopover()->geometry()));
        QTest::mouseClick(wrapper->textPopover()->copyButton(), Qt::LeftButton);
        QCOMPARE(user->clipboardText(), std::string("A square with a note long enough to wrap "
                                                    "over several lines of the card."));
        QVERIFY(!wrapper->textPopover()->isVisible());

        select({340, 330});
        QTest::mouseClick(wrapper->textPopover()->closeButton(), Qt::LeftButton);
        QVERIFY(!wrapper->showsCopyPopover());
        QVERIFY(wrapper->selectedAnnotation()); // closing the card keeps the selection
    }

    void deleteUndoAndRedoKeepPageTabAndFrameInStep() {
        show(dir / "work.pdf");
        select({150, 540});
        const auto square = wrapper->selectedAnnotation()->pdfAnnotationRef;
        const auto count = session->annotations().size();
        QKeyEvent backspace(QEvent::KeyPress, Qt::Key_Backspace, Qt::NoModifier);
        QApplication::sendEvent(&view(), &backspace);
        QVERIFY(uitest::waitUntil([&] { return !firstAt(kSquare); }));
        QCOMPARE(session->annotations().size(), count - 1);
        QVERIFY(!wrapper->selectedAnnotation());
        QVERIFY(!wrapper->overlay());
        QVERIFY(isWhite(pixel({150, 540})));
        // A second Delete has nothing selected: it must not find another annotation.
        QKeyEvent again(QEvent::KeyPress, Qt::Key_Backspace, Qt::NoModifier);
        QApplication::sendEvent(&view(), &again);
        settle();
        QCOMPARE(app->undoManager()->undoStack().size(), std::size_t(1));

        app->undo();
        QVERIFY(firstAt(kSquare) == square);
        QCOMPARE(session->annotations().size(), count);
        QVERIFY(!isWhite(pixel({101, 540}))); // its border is drawn again
        app->redo();
        QVERIFY(!firstAt(kSquare));
        QVERIFY(isWhite(pixel({101, 540})));
    }

    void addedHighlightsAreUndoneOnThePageAndTheFrameGoesWithThem() {
        show(dir / "work.pdf");
        wrapper->setActiveTool(HighlightTool::text);
        const auto before = onPage(0, "Highlight").size();
        QTest::mousePress(view().viewport(), Qt::LeftButton, {}, at(0, {75, 745}));
        QTest::mouseMove(view().viewport(), at(0, {150, 745}));
        QTest::mouseMove(view().viewport(), at(0, {250, 745}));
        // The page's text comes from a worker; the drag selects once it is there.
        QVERIFY(uitest::waitUntil([&] { return view().currentSelection().has_value(); }));
        QTest::mouseRelease(view().viewport(), Qt::LeftButton, {}, at(0, {250, 745}));
        QVERIFY(uitest::waitUntil([&] { return onPage(0, "Highlight").size() == before + 1; }));
        const auto added = onPage(0, "Highlight").back();
        QVERIFY(same(added->color(), *ui::highlightToolColor(HighlightTool::text)));
        QVERIFY(session->document->isDirty);
        QVERIFY(!isWhite(pixel({added->bounds().midX(), added->bounds().midY()})));

        // Selected, then undone: the frame must not stay over nothing.
        select({added->bounds().midX(), added->bounds().midY()});
        QVERIFY(wrapper->selectedAnnotation()->pdfAnnotationRef == added);
        app->undo();
        QCOMPARE(onPage(0, "Highlight").size(), before);
        QVERIFY(!wrapper->selectedAnnotation());
        QVERIFY(!wrapper->overlay());
        app->redo();
        QCOMPARE(onPage(0, "Highlight").back(), added);
    }

    void recolourChangesThePageNotTheFileAndIsUndone() {
        show(dir / "work.pdf");
        const std::string opened = readBytes(dir / "work.pdf");
        select({150, 540});
        const auto square = wrapper->selectedAnnotation()->pdfAnnotationRef;
        const auto was = square->color();
        QTest::mouseClick(wrapper->toolPalette()->colourButton(1), Qt::LeftButton);
        const Color red = HighlightColor::defaults()[1].nsColor;
        QVERIFY(same(square->color(), red.withAlpha(was->alpha)));
        // An outline keeps no fill of its own.
        QVERIFY(!square->interiorColor());
        QVERIFY(session->document->isDirty);
        QVERIFY(user->alerts().empty());
        // Only a save writes the file.
        QCOMPARE(readBytes(dir / "work.pdf"), opened);
        app->undo();
        QVERIFY(same(square->color(), *was));
        QCOMPARE(readBytes(dir / "work.pdf"), opened);
    }

    void aPageChangeClearsTheSelectionAndHidesThePalette() {
        show(dir / "work.pdf");
        select({340, 330});
        QVERIFY(wrapper->toolPalette()->isVisible());
        view().goToPage(page(1));
        QVERIFY(uitest::waitUntil([&] { return !wrapper->selectedAnnotation(); }));
        QVERIFY(!wrapper->palettePosition());
        QVERIFY(!wrapper->toolPalette()->isVisible());
        QVERIFY(!wrapper->textPopover()->isVisible());
        QVERIFY(!wrapper->canvas()->currentSelectedAnnotation());
    }

    void freeTextTypedInTextModeIsPlacedWhereClickedAndUndoable() {
        show(dir / "work.pdf", 1.5);
        // Outside text mode an empty spot only clears.
        QTest::mouseClick(view().viewport(), Qt::LeftButton, {}, at(0, {100, 450}));
        settle();
        QVERIFY(!wrapper->isEditingText());

        setTextMode(true);
        openEntry({100, 450});
        const QPoint click = view().viewport()->mapTo(wrapper, at(0, {100, 450}));
        const Point corner = wrapper->textPosition();
        // The caret's line sits on the click, just right of the entry's corner.
        QVERIFY(click.x() - corner.x > 0 && click.x() - corner.x < 10);
        QVERIFY(click.y() - corner.y > 5 && click.y() - corner.y < 25);
        // Zooming while typing keeps the entry on its spot, at the page's scale.
        const double em = wrapper->textEditor()->font().pointSizeF();
        view().setScaleFactor(2.0);
        QVERIFY(uitest::waitUntil([&] {
            return std::abs(wrapper->textEditor()->font().pointSizeF() - em * 2 / 1.5) < 0.01;
        }));
        const QPoint zoomed = view().viewport()->mapTo(wrapper, at(0, {100, 450}));
        QVERIFY(std::abs(zoomed.x() - wrapper->textPosition().x) < 10);
        QTest::keyClicks(wrapper->textEditor(), "Hello page");
        QCOMPARE(wrapper->textInput(), std::string("Hello page"));
        QVERIFY(onPage(0, "FreeText").empty()); // nothing on the page while typing
        QTest::keyClick(wrapper->textEditor(), Qt::Key_Return);
        QVERIFY(!wrapper->isEditingText());
        QVERIFY(!wrapper->textEditor()->isVisible());

        QCOMPARE(onPage(0, "FreeText").size(), std::size_t(1));
        const auto text = onPage(0, "FreeText").front();
        QCOMPARE(text->contents(), std::optional<std::string>("Hello page"));
        QCOMPARE(text->font()->size, 14.0);
        QVERIFY(same(text->fontColor(), SystemColors::black));
        const Rect b = text->bounds();
        QVERIFY2(b.contains(Point{100, 450}) && b.minX() > 90 && b.width > 60 && b.width < 110,
                 describe(b));
        QVERIFY(session->document->isDirty);
        QCOMPARE(app->undoManager()->undoStack().size(), std::size_t(1));
        QVERIFY(session->annotations().back().pdfAnnotationRef == text);
        QCOMPARE(session->annotations().back().type, AnnotationType::freeText);
        // Drawn on the page: ink where the words are.
        auto inked = [&] {
            uitest::waitUntil([&] { return view().renderScheduler().idle(); });
            settle(30);
            const QImage image = view().viewport()->grab().toImage();
            const QRect area = QRect(at(0, {b.minX(), b.maxY()}), at(0, {b.maxX(), b.minY()}));
            for (int y = area.top(); y <= area.bottom(); ++y) {
                for (int x = area.left(); x <= area.right(); ++x) {
                    if (image.pixelColor(x, y).lightness() < 100) {
                        return true;
                    }
                }
            }
            return false;
        };
        QVERIFY(inked());

        app->undo();
        QVERIFY(onPage(0, "FreeText").empty());
        QVERIFY(session->annotations().back().pdfAnnotationRef != text);
        QVERIFY(!inked());
        app->redo();
        QCOMPARE(onPage(0, "FreeText").size(), std::size_t(1));
        QVERIFY(onPage(0, "FreeText").front() == text);
        QVERIFY(inked());

        // Saved and opened again: the words, their size and colour are in the file.
        app->annotationService()->save(*session->document);
        QVERIFY(!session->document->isDirty);
        auto reopened = PDFKitBridge().open(dir / "work.pdf");
        QVERIFY(reopened);
        std::optional<AnnotationRecord> found;
        for (const auto& r : AnnotationService::records(*reopened)) {
            if (r.type == AnnotationType::freeText) {
                found = r;
            }
        }
        QVERIFY(found);
        QCOMPARE(found->content, std::optional<std::string>("Hello page"));
        QCOMPARE(found->appearance.fontSize, 14.0);
        QVERIFY(near(found->bounds, b, 0.01));
        QVERIFY(same(found->pdfAnnotationRef->fontColor(), SystemColors::black));
    }

    void escapeBlankTextAndAClickElsewhereEndEntriesAsExpected() {
        show(dir / "work.pdf");
        setTextMode(true);
        wrapper->setTextFontSize(20);
        wrapper->setTextColor(SystemColors::red);

        openEntry({100, 450});
        QTest::keyClicks(wrapper->textEditor(), "never mind");
        QTest::keyClick(wrapper->textEditor(), Qt::Key_Escape);
        QVERIFY(!wrapper->isEditingText());
        QVERIFY(!wrapper->textEditor()->isVisible());

        openEntry({100, 450});
        QTest::keyClicks(wrapper->textEditor(), "   ");
        QTest::keyClick(wrapper->textEditor(), Qt::Key_Return);
        QVERIFY(!wrapper->isEditingText());
        QVERIFY(onPage(0, "FreeText").empty());
        QVERIFY(!session->document->isDirty);
        QVERIFY(app->undoManager()->undoStack().empty());

        // Shift+Enter breaks the line; a click elsewhere keeps the text and only ends
        // the entry; the next click opens a new one.
        openEntry({100, 150});
        QTest::keyClicks(wrapper->textEditor(), "Two");
        QTest::keyClick(wrapper->textEditor(), Qt::Key_Return, Qt::ShiftModifier);
        QTest::keyClicks(wrapper->textEditor(), "lines");
        QCOMPARE(wrapper->textInput(), std::string("Two\nlines"));
        QTest::mouseClick(view().viewport(), Qt::LeftButton, {}, at(0, {400, 100}));
        settle();
        QVERIFY(!wrapper->isEditingText());
        QCOMPARE(onPage(0, "FreeText").size(), std::size_t(1));
        const auto text = onPage(0, "FreeText").front();
        QCOMPARE(text->contents(), std::optional<std::string>("Two\nlines"));
        QCOMPARE(text->font()->size, 20.0);
        QVERIFY(same(text->fontColor(), SystemColors::red));
        QVERIFY2(text->bounds().height > 2 * 20 && text->bounds().height < 3 * 20,
                 describe(text->bounds()));
        openEntry({400, 100});

        // Leaving text mode keeps what was typed.
        QTest::keyClicks(wrapper->textEditor(), "kept");
        setTextMode(false);
        QVERIFY(!wrapper->isEditingText());
        QCOMPARE(onPage(0, "FreeText").size(), std::size_t(2));
        QCOMPARE(app->undoManager()->undoStack().size(), std::size_t(2));

        // So does a window shortcut such as Save; the editor's own keys stay its own.
        setTextMode(true);
        openEntry({300, 150});
        QTest::keyClicks(wrapper->textEditor(), "saved");
        QTest::keyClick(wrapper->textEditor(), Qt::Key_A, Qt::ControlModifier);
        QVERIFY(wrapper->isEditingText());
        QKeyEvent saveKeys(QEvent::ShortcutOverride, Qt::Key_S, Qt::ControlModifier);
        saveKeys.ignore(); // as the shortcut map asks: taken only if the editor wants it
        QApplication::sendEvent(wrapper->textEditor(), &saveKeys);
        QVERIFY(!wrapper->isEditingText());
        QCOMPARE(onPage(0, "FreeText").size(), std::size_t(3));
    }

    // Writes what a user sees to $OMBRIX_SHOTS_DIR when it is set; checks the layout always.
    void screenshotsOfTheMarkup() {
        show(dir / "work.pdf", 1.25);
        const QString shots = qEnvironmentVariable("OMBRIX_SHOTS_DIR");
        auto shoot = [&](const char* name) {
            settle(120);
            // What the page shows once its re-render is in, not the stand-in before it.
            uitest::waitUntil([&] { return this->view().renderScheduler().idle(); });
            settle(30);
            if (!shots.isEmpty()) {
                QVERIFY(window->grab().save(shots + "/" + name));
            }
        };
        auto* view = &this->view();
        uitest::waitUntil([&] { return view->renderScheduler().idle(); });
        select({150, 540});
        shoot("selected-with-handles-and-palette.png");
        QVERIFY(wrapper->rect().contains(wrapper->toolPalette()->geometry()));
        QVERIFY(!wrapper->toolPalette()->geometry().intersects(
            wrapper->overlay()->geometry().adjusted(10, 10, -10, -10)));

        select({340, 330});
        shoot("text-popover.png");
        auto* card = wrapper->textPopover();
        QVERIFY(card->width() >= card->sizeHint().width());
        QVERIFY(card->copyButton()->width() >= card->copyButton()->sizeHint().width());
        wrapper->clearSelection();

        wrapper->setActiveTool(HighlightTool::crop);
        QTest::mousePress(view->viewport(), Qt::LeftButton, Qt::AltModifier, at(0, {340, 470}));
        QTest::mouseMove(view->viewport(), at(0, {420, 430}));
        QTest::mouseMove(view->viewport(), at(0, {520, 380}));
        QVERIFY(uitest::waitUntil([&] { return wrapper->optionDragRect() != Rect{}; }));
        shoot("live-drag-rectangle.png");
        QTest::mouseRelease(view->viewport(), Qt::LeftButton, Qt::AltModifier, at(0, {520, 380}));
        settle();
        shoot("region-highlight-made.png");

        setShapeMode(true);
        QTest::mousePress(view->viewport(), Qt::LeftButton, {}, at(0, {80, 300}));
        QTest::mouseMove(view->viewport(), at(0, {200, 220}));
        QVERIFY(uitest::waitUntil([&] { return wrapper->shapeDragRect() != Rect{}; }));
        shoot("live-shape-rectangle.png");
        QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, at(0, {200, 220}));
        settle();
        shoot("shape-made.png");
        setShapeMode(false);

        setTextMode(true);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at(0, {80, 460}));
        QVERIFY(uitest::waitUntil([&] { return wrapper->isEditingText(); }));
        shoot("freetext-entry-open.png");
        QTest::keyClicks(wrapper->textEditor(), "Check this figure");
        QTest::keyClick(wrapper->textEditor(), Qt::Key_Return, Qt::ShiftModifier);
        QTest::keyClicks(wrapper->textEditor(), "against the table");
        shoot("freetext-typing.png");
        QVERIFY(wrapper->rect().contains(wrapper->textEditor()->geometry()));
        QTest::keyClick(wrapper->textEditor(), Qt::Key_Return);
        shoot("freetext-placed.png");
    }

    void thePaletteStaysInsideTheView() {
        show(dir / "work.pdf");
        // A drag at the very left edge and top of the view.
        QTest::mousePress(view().viewport(), Qt::LeftButton, Qt::AltModifier, QPoint(2, 2));
        QTest::mouseMove(view().viewport(), QPoint(6, 12));
        QVERIFY(uitest::waitUntil([&] { return wrapper->toolPalette()->isVisible(); }));
        QVERIFY(wrapper->rect().contains(wrapper->toolPalette()->geometry()));
        QCOMPARE(wrapper->palettePosition()->y, 40.0);
        QTest::mouseRelease(view().viewport(), Qt::LeftButton, Qt::AltModifier, QPoint(6, 12));
        settle();
    }
};

QTEST_MAIN(OverlayTest)
#include "OverlayTest.moc"
