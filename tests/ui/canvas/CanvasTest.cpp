#include "app/AppContainer.h"
#include "core/LogSink.h"
#include "core/NotificationCenter.h"
#include "core/UserInteraction.h"
#include "document/PDFKitBridge.h"
#include "pdfkit/Document.h"
#include "support/Fixtures.h"
#include "support/TempDir.h"
#include "ui/canvas/PDFKitViewRepresentable.h"
#include "ui/platform/QtMainQueue.h"
#include "ui/support/UiTestSupport.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QScrollBar>
#include <QVBoxLayout>
#include <QtTest>
#include <mutex>

using namespace ombrix;
using namespace ombrix::testing;

namespace {

FixtureAnnotation square(Rect rect, std::string contents) {
    FixtureAnnotation a;
    a.subtype = "Square";
    a.rect = rect;
    a.color = Color{1, 0, 0, 1};
    a.borderWidth = 2;
    a.contents = std::move(contents);
    return a;
}

// Page 1: two overlapping squares ("first" listed first) and a line of text; page 2: one
// square; page 3: text only.
FixtureDocument canvasDocument() {
    FixtureDocument document;
    FixturePage first;
    first.runs = {TextRun{"Drag across this line to select some of its words.", 72, 720, 14}};
    first.annotations = {square(Rect{80, 500, 200, 100}, "first"),
                         square(Rect{150, 450, 200, 100}, "second")};
    FixturePage second;
    second.runs = {TextRun{"Second page", 72, 720, 14}};
    second.annotations = {square(Rect{100, 600, 100, 50}, "on page two")};
    FixturePage third;
    third.runs = {TextRun{"Third page", 72, 720, 14}};
    document.pages = {first, second, third};
    return document;
}

template <typename... Args> struct Calls {
    std::vector<std::tuple<Args...>> seen;
    auto recorder() {
        return [this](Args... args) { seen.emplace_back(args...); };
    }
};

} // namespace

class CanvasTest : public QObject {
    Q_OBJECT

    TempDir dir;
    std::unique_ptr<AppContainer> app;
    std::unique_ptr<QWidget> window;
    std::unique_ptr<ui::Coordinator> coordinator;
    ui::PDFCanvasView* canvas = nullptr;
    ui::PDFKitViewRepresentable description;
    std::shared_ptr<PDFDocument> document;

    ui::CustomPDFView& view() { return *canvas->pdfView(); }
    std::shared_ptr<pdfkit::Page> page(int index) { return view().document()->page(index); }

    // Where a page-space point of a page is in the viewport's widget coordinates.
    QPoint at(int pageIndex, Point pagePoint) {
        return view()
            .viewToWidget(view().convertPointFromPage(pagePoint, *page(pageIndex)))
            .toPoint();
    }
    void settle(int ms = 50) { QTest::qWait(ms); }

    void show(ui::PDFKitViewRepresentable next) {
        description = std::move(next);
        description.document = document;
        description.container = app.get();
        coordinator = description.makeCoordinator();
        window = std::make_unique<QWidget>();
        canvas = description.makeView(*coordinator, window.get());
        auto* layout = new QVBoxLayout(window.get());
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(canvas);
        window->resize(800, 1100);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        description.updateView(*canvas, *coordinator);
        view().setScaleFactor(1.0);
        view().goToPage(page(0));
        settle();
    }
    void update() { description.updateView(*canvas, *coordinator); }

private slots:
    void initTestCase() {
        setMainQueue(ui::QtMainQueue::install());
        writePdf(canvasDocument(), dir / "canvas.pdf");
        writePdf(everyAnnotationDocument(), dir / "every.pdf");
    }

    void init() {
        AppContainer::Options options;
        options.logSink = std::make_shared<MemorySink>();
        options.preferencesFile = dir / "preferences.json";
        options.supportDirectory = dir / "support";
        options.userInteraction = std::make_shared<HeadlessUserInteraction>();
        options.mainQueue = mainQueuePtr();
        app = std::make_unique<AppContainer>(options);
        document = PDFKitBridge().open(dir / "canvas.pdf");
    }

    void cleanup() {
        window.reset(); // the canvas goes before the container it registered with
        coordinator.reset();
        app.reset();
    }

    void makingTheViewRegistersItUntilItIsGone() {
        show({});
        QVERIFY(app->activePDFView().get() == static_cast<pdfkit::ViewPort*>(&view()));
        QVERIFY(app->activePDFCanvas()->pdfView() == app->activePDFView());
        QVERIFY(view().document() == PDFKitBridge::engineDocument(*document));
        window.reset();
        QVERIFY(!app->activePDFView());
        QVERIFY(!app->activePDFCanvas());
    }

    void clickingOverlappingAnnotationsSelectsTheEarlierOne() {
        Calls<AnnotationRecord, Rect> selected;
        ui::PDFKitViewRepresentable d;
        d.onAnnotationSelected = selected.recorder();
        show(d);
        QTest::mouseClick(view().viewport(), Qt::LeftButton, {}, at(0, {200, 520}));
        QVERIFY(view().isSelectingAnnotation);
        QVERIFY(uitest::waitUntil([&] { return !selected.seen.empty(); }));
        const auto& [record, rect] = selected.seen[0];
        QCOMPARE(record.pdfAnnotationRef->contents().value_or(""), std::string("first"));
        QVERIFY(record.type == AnnotationType::square);
        QCOMPARE(record.pageIndex, 0);
        QVERIFY(record.bounds == (Rect{80, 500, 200, 100}));
        QVERIFY(record.appearance == AnnotationAppearance::defaultShape());
        QVERIFY(canvas->currentSelectedAnnotation() == record.pdfAnnotationRef);
        // The rectangle is in canvas space: y up from the canvas's lower left.
        const QPoint topLeft = at(0, {80, 600});
        QCOMPARE(rect.x, double(topLeft.x()));
        QCOMPARE(rect.y + rect.height, double(canvas->height() - topLeft.y()));
        QCOMPARE(rect.width, 200.0);
        // Both timed flags fall back.
        QVERIFY(uitest::waitUntil([&] { return !view().isSelectingAnnotation; }, 1000));
        QVERIFY(uitest::waitUntil([&] { return !canvas->isSelectingAnnotation(); }, 1000));
        QCOMPARE(selected.seen.size(), std::size_t(1));
    }

    void aClickActsOnThePageUnderThePointer() {
        Calls<AnnotationRecord, Rect> selected;
        ui::PDFKitViewRepresentable d;
        d.onAnnotationSelected = selected.recorder();
        show(d);
        // Page 1 is current; the second page's square is further down the column.
        QVERIFY(view().currentPage() == page(0));
        QTest::mouseClick(view().viewport(), Qt::LeftButton, {}, at(1, {150, 625}));
        QVERIFY(uitest::waitUntil([&] { return !selected.seen.empty(); }));
        QCOMPARE(std::get<0>(selected.seen[0]).pageIndex, 1);
        QVERIFY(view().currentSelectedPage == page(1));
    }

    void altClickOnAnAnnotationStartsARectangleDrag() {
        Calls<AnnotationRecord, Rect> selected;
        Calls<Point> started;
        int dragStarted = 0, dragEnded = 0;
        auto a = NotificationCenter::defaultCenter().addObserver("pdfDragStarted",
                                                                 [&] { ++dragStarted; });
        auto b =
            NotificationCenter::defaultCenter().addObserver("pdfDragEnded", [&] { ++dragEnded; });
        ui::PDFKitViewRepresentable d;
        d.onAnnotationSelected = selected.recorder();
        d.onDragStarted = started.recorder();
        show(d);
        const QPoint press = at(0, {200, 520});
        QTest::mousePress(view().viewport(), Qt::LeftButton, Qt::AltModifier, press);
        QVERIFY(view().isRectangleDragging());
        QCOMPARE(dragStarted, 1);
        QVERIFY(uitest::waitUntil([&] { return !started.seen.empty(); }));
        const Point topLeft = std::get<0>(started.seen[0]);
        QCOMPARE(topLeft.x, view().widgetToView(press).x);
        QCOMPARE(topLeft.y, double(press.y())); // y down from the view's top
        QTest::mouseRelease(view().viewport(), Qt::LeftButton, Qt::AltModifier, press);
        QCOMPARE(dragEnded, 1);
        settle(300);
        QVERIFY(selected.seen.empty());
        QVERIFY(!view().currentSelectedAnnotation);
    }

    void anAltDragEndsWithThePageRectangle() {
        Calls<Rect> changed, ended;
        ui::PDFKitViewRepresentable d;
        d.onOptionDragChanged = changed.recorder();
        d.onDragEnded = ended.recorder();
        show(d);
        QTest::mousePress(view().viewport(), Qt::LeftButton, Qt::AltModifier, at(0, {100, 200}));
        QTest::mouseMove(view().viewport(), at(0, {70, 230}));
        QTest::mouseRelease(view().viewport(), Qt::LeftButton, Qt::AltModifier, at(0, {40, 260}));
        QVERIFY(uitest::waitUntil([&] { return !ended.seen.empty(); }));
        QVERIFY(std::get<0>(ended.seen[0]) == (Rect{40, 200, 60, 60}));
        QVERIFY(app->lastDragBounds == (Rect{40, 200, 60, 60}));
        QVERIFY(!view().isRectangleDragging());
        // While dragging, the rectangle so far in view space.
        QCOMPARE(changed.seen.size(), std::size_t(1));
        QVERIFY(std::get<0>(changed.seen[0]) ==
                view().convertRectFromPage(Rect{70, 200, 30, 30}, *page(0)));
    }

    void aDragIsToldInOneTurnAndKeepsItsPage() {
        // The view defers its closures past the event once; the description hears in that
        // same turn, and the page the drag began on stays known for its rectangle.
        Calls<Rect> ended;
        ui::PDFKitViewRepresentable d;
        d.onDragEnded = ended.recorder();
        show(d);
        QTest::mousePress(view().viewport(), Qt::LeftButton, Qt::AltModifier, at(1, {100, 200}));
        QTest::mouseRelease(view().viewport(), Qt::LeftButton, Qt::AltModifier, at(1, {40, 260}));
        QVERIFY(ended.seen.empty());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
        QCOMPARE(ended.seen.size(), std::size_t(1));
        QVERIFY(std::get<0>(ended.seen[0]) == (Rect{40, 200, 60, 60}));
        QVERIFY(view().dragPage() == page(1));
    }

    void theCanvasAndTheViewShareOneSelection() {
        Calls<AnnotationRecord, Rect> selected;
        ui::PDFKitViewRepresentable d;
        d.onAnnotationSelected = selected.recorder();
        show(d);
        QTest::mouseClick(view().viewport(), Qt::LeftButton, {}, at(0, {200, 520}));
        QVERIFY(uitest::waitUntil([&] { return !selected.seen.empty(); }));
        QVERIFY(canvas->currentSelectedAnnotation());
        QVERIFY(uitest::waitUntil([&] { return !view().isSelectingAnnotation; }, 1000));
        // A press on bare page lets the view's selection go; the canvas says the same.
        QTest::mouseClick(view().viewport(), Qt::LeftButton, {}, at(0, {520, 120}));
        QVERIFY(!view().currentSelectedAnnotation);
        QVERIFY(!canvas->currentSelectedAnnotation());
        QVERIFY(!canvas->currentSelectedPage());
    }

    void aLaterHoldIsNotCutShortByAnEarlierOnesTimer() {
        show(ui::PDFKitViewRepresentable{});
        view().holdSelectingAnnotation(true, 0.6);
        settle(300);
        view().holdSelectingAnnotation(true, 0.6);
        settle(450); // the first hold's time is up, the second's is not
        QVERIFY(view().isSelectingAnnotation);
        QVERIFY(uitest::waitUntil([&] { return !view().isSelectingAnnotation; }, 2000));
    }

    void shapeModeDragsWithoutAltAndReportsShapes() {
        Calls<Rect> shapeChanged, shapeEnded, optionEnded;
        ui::PDFKitViewRepresentable d;
        d.isShapeMode = true;
        d.onShapeDragChanged = shapeChanged.recorder();
        d.onShapeDragEnded = shapeEnded.recorder();
        d.onDragEnded = optionEnded.recorder();
        show(d);
        QTest::mousePress(view().viewport(), Qt::LeftButton, {}, at(0, {200, 520})); // on a square
        QTest::mouseMove(view().viewport(), at(0, {260, 480}));
        QTest::mouseRelease(view().viewport(), Qt::LeftButton, {}, at(0, {300, 400}));
        QVERIFY(uitest::waitUntil([&] { return !shapeEnded.seen.empty(); }));
        QVERIFY(std::get<0>(shapeEnded.seen[0]) == (Rect{200, 400, 100, 120}));
        QCOMPARE(shapeChanged.seen.size(), std::size_t(1));
        settle();
        QVERIFY(optionEnded.seen.empty());
        QVERIFY(!app->lastDragBounds);
    }

    void deleteKeysActOnlyOnASelectedAnnotation() {
        Calls<std::shared_ptr<pdfkit::Annotation>, std::shared_ptr<pdfkit::Page>> deleted;
        ui::PDFKitViewRepresentable d;
        d.onDeleteAnnotation = deleted.recorder();
        show(d);
        view().setFocus();
        QKeyEvent backspace(QEvent::KeyPress, Qt::Key_Backspace, Qt::NoModifier);
        QApplication::sendEvent(&view(), &backspace);
        QVERIFY(!backspace.isAccepted()); // passed on
        QTest::mouseClick(view().viewport(), Qt::LeftButton, {}, at(0, {320, 460}));
        QVERIFY(view().currentSelectedAnnotation);
        QKeyEvent forwardDelete(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
        QApplication::sendEvent(&view(), &forwardDelete);
        QVERIFY(forwardDelete.isAccepted());
        QVERIFY(uitest::waitUntil([&] { return !deleted.seen.empty(); }));
        settle();
        QCOMPARE(deleted.seen.size(), std::size_t(1));
        QCOMPARE(std::get<0>(deleted.seen[0])->contents().value_or(""), std::string("second"));
        QVERIFY(std::get<1>(deleted.seen[0]) == page(0));
        // Any other key is the view's.
        QKeyEvent letter(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, "x");
        QApplication::sendEvent(&view(), &letter);
        settle();
        QCOMPARE(deleted.seen.size(), std::size_t(1));
    }

    void aRightClickShowsNoMenu() {
        show({});
        QTest::mouseClick(view().viewport(), Qt::RightButton, {}, at(0, {200, 700}));
        const QPoint where = at(0, {200, 700});
        QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, where,
                                    view().viewport()->mapToGlobal(where), Qt::NoModifier);
        QApplication::sendEvent(view().viewport(), &menuEvent);
        QVERIFY(menuEvent.isAccepted());
        settle(100);
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            QVERIFY(!(qobject_cast<QMenu*>(widget) && widget->isVisible()));
        }
    }

    void zoomWithinTheToleranceKeepsTheScale() {
        show({});
        QCOMPARE(view().scaleFactor(), 1.0);
        description.zoom = 1.0005;
        update();
        QCOMPARE(view().scaleFactor(), 1.0);
        description.zoom = 1.002;
        update();
        QCOMPARE(view().scaleFactor(), 1.002);
    }

    void aNewDocumentIsFittedAndTheZoomAppliesAfterwards() {
        show({});
        auto other = PDFKitBridge().open(dir / "every.pdf");
        description.document = other;
        description.zoom = 1.0;
        view().resize(700, 900);
        update();
        QVERIFY(view().document() == PDFKitBridge::engineDocument(*other));
        QVERIFY(view().autoScales());
        description.zoom = 1.5;
        update();
        QCOMPARE(view().scaleFactor(), 1.5);
    }

    void textModeRecordsTheClickWithoutSelecting() {
        Calls<AnnotationRecord, Rect> selected;
        ui::PDFKitViewRepresentable d;
        d.isTextMode = true;
        d.onAnnotationSelected = selected.recorder();
        show(d);
        QTest::mouseClick(view().viewport(), Qt::LeftButton, {}, at(0, {200, 520}));
        QVERIFY(view().currentSelectedAnnotation);
        settle(300);
        QVERIFY(selected.seen.empty());
        // One selection: the canvas tells the view's, recorded but not selected for markup.
        QVERIFY(canvas->currentSelectedAnnotation() == view().currentSelectedAnnotation);
    }

    // A drag let go before its page's text has been read (a large page, a busy machine)
    // selects when the text comes, and is reported then, so the markup popup still shows.
    void aDragReleasedBeforeItsTextIsReadIsReportedWhenTheTextComes() {
        Calls<pdfkit::Selection, Point> texts;
        ui::PDFKitViewRepresentable d;
        d.onTextSelected = texts.recorder();
        // The page's text is read off this thread, under the document's lock: held here,
        // no text can be read until it is let go.
        std::unique_lock hold(PDFKitBridge::engineDocument(*document)->mutex());
        show(d);
        QVERIFY(!view().pageTextCache().isCached(0));
        QTest::mousePress(view().viewport(), Qt::LeftButton, {}, at(0, {75, 725}));
        QTest::mouseMove(view().viewport(), at(0, {200, 725}));
        QTest::mouseMove(view().viewport(), at(0, {300, 725}));
        QTest::mouseRelease(view().viewport(), Qt::LeftButton, {}, at(0, {300, 725}));
        settle();
        QVERIFY(texts.seen.empty());
        hold.unlock();
        QVERIFY(uitest::waitUntil([&] { return !texts.seen.empty(); }));
        QCOMPARE(texts.seen.size(), std::size_t(1));
        QVERIFY(std::get<0>(texts.seen[0]).string().value_or("").find("Drag across") == 0);
        // A click afterwards starts afresh: nothing more is reported for the old drag.
        QTest::mouseClick(view().viewport(), Qt::LeftButton, {}, at(0, {400, 300}));
        settle();
        QCOMPARE(texts.seen.size(), std::size_t(1));
    }

    void textDragsAndBackgroundClicksAreReported() {
        Calls<pdfkit::Selection, Point> texts;
        Calls<Point> taps;
        ui::PDFKitViewRepresentable d;
        d.onTextSelected = texts.recorder();
        d.onBackgroundTap = taps.recorder();
        show(d);
        QTest::mousePress(view().viewport(), Qt::LeftButton, {}, at(0, {75, 725}));
        QTest::mouseMove(view().viewport(), at(0, {200, 725}));
        QTest::mouseMove(view().viewport(), at(0, {300, 725}));
        QTest::mouseRelease(view().viewport(), Qt::LeftButton, {}, at(0, {300, 725}));
        settle();
        QVERIFY(taps.seen.empty()); // a drag is no tap
        QTest::mouseClick(view().viewport(), Qt::LeftButton, {}, at(0, {400, 300}));
        QVERIFY(uitest::waitUntil([&] { return !taps.seen.empty(); }));
        QVERIFY(std::get<0>(taps.seen[0]) == view().widgetToView(at(0, {400, 300})));
        // Not on a page (the gap beside it), or on an annotation: no tap.
        QTest::mouseClick(view().viewport(), Qt::LeftButton, {}, QPoint(3, 400));
        settle();
        QCOMPARE(taps.seen.size(), std::size_t(1));
        if (!view().currentSelection() && texts.seen.empty()) {
            QSKIP("the page view does not select text by dragging yet");
        }
        QVERIFY(uitest::waitUntil([&] { return !texts.seen.empty(); }));
        QVERIFY(std::get<0>(texts.seen[0]).string().value_or("").find("Drag across") == 0);
    }

    void scrollingReportsTheSelectionInCanvasSpace() {
        Calls<Rect> scrolls;
        ui::PDFKitViewRepresentable d;
        d.onScroll = scrolls.recorder();
        show(d);
        QTest::mouseClick(view().viewport(), Qt::LeftButton, {}, at(0, {320, 460}));
        QVERIFY(uitest::waitUntil([&] { return canvas->currentSelectedAnnotation() != nullptr; }));
        scrolls.seen.clear();
        view().verticalScrollBar()->setValue(view().verticalScrollBar()->value() + 40);
        QVERIFY(uitest::waitUntil([&] { return !scrolls.seen.empty(); }));
        const Rect expected = canvas->pageRectToCanvas(Rect{150, 450, 200, 100}, *page(0));
        QVERIFY(std::get<0>(scrolls.seen.back()) == expected);
        const QPoint topLeft = at(0, {150, 550});
        QCOMPARE(expected.y + expected.height, double(canvas->height() - topLeft.y()));
        // Cleared: the all-zero rectangle goes to the canvas's own closure; no more scroll
        // reports follow.
        Calls<Rect> cleared;
        canvas->onScrollRectChanged = cleared.recorder();
        canvas->clearSelection();
        QVERIFY(cleared.seen.size() == 1 && std::get<0>(cleared.seen[0]) == Rect{});
        QVERIFY(!view().currentSelectedAnnotation);
    }

    void pageChangesAreReportedAndMayUpdateTheCanvas() {
        std::vector<int> pages;
        std::vector<Rect> drags;
        ui::PDFKitViewRepresentable d;
        // As the application does: each event changes state and updates the canvas from
        // within the closure, replacing the description the closure came from.
        d.onPageChange = [&](int index) {
            pages.push_back(index);
            description.currentPage = index;
            update();
        };
        d.onDragEnded = [&](Rect rect) {
            drags.push_back(rect);
            description.zoom = 1.0;
            update();
        };
        show(d);
        view().goToPage(page(2));
        QVERIFY(uitest::waitUntil([&] { return !pages.empty(); }));
        QCOMPARE(pages.back(), 2);
        view().goToPage(page(0));
        QVERIFY(uitest::waitUntil([&] { return pages.back() == 0; }));
        QTest::mousePress(view().viewport(), Qt::LeftButton, Qt::AltModifier, at(0, {100, 700}));
        QTest::mouseRelease(view().viewport(), Qt::LeftButton, Qt::AltModifier, at(0, {120, 720}));
        QVERIFY(uitest::waitUntil([&] { return !drags.empty(); }));
        QVERIFY(drags[0] == (Rect{100, 700, 20, 20}));
    }

    void subtypesMapNarrowlyAndLinksStayLinks() {
        document = PDFKitBridge().open(dir / "every.pdf");
        Calls<AnnotationRecord, Rect> selected;
        ui::PDFKitViewRepresentable d;
        d.onAnnotationSelected = selected.recorder();
        show(d);
        const std::map<std::string, AnnotationType> expected = {
            {"Highlight", AnnotationType::highlight}, {"Underline", AnnotationType::underline},
            {"StrikeOut", AnnotationType::strikeout}, {"Squiggly", AnnotationType::highlight},
            {"Circle", AnnotationType::circle},       {"Line", AnnotationType::highlight},
            {"FreeText", AnnotationType::freeText},   {"Text", AnnotationType::stickyNote},
            {"Ink", AnnotationType::highlight}};
        for (const auto& annotation : page(0)->annotations()) {
            auto want = expected.find(annotation->type());
            if (want == expected.end()) {
                continue;
            }
            QCOMPARE(ui::canvasAnnotationType(annotation->type()), want->second);
            QCOMPARE(ui::canvasAnnotationType("/" + annotation->type()), want->second);
        }
        for (const auto& annotation : page(0)->annotations()) {
            if (annotation->type() == "Link") {
                const Rect b = annotation->bounds();
                QVERIFY(!view().annotationHit(page(0), Point{b.midX(), b.midY()}) ||
                        view().annotationHit(page(0), Point{b.midX(), b.midY()})->type() != "Link");
            }
        }
    }
};

QTEST_MAIN(CanvasTest)
#include "CanvasTest.moc"
