#include "annotations/AppUndoManager.h"
#include "annotations/HighlightColor.h"
#include "app/AppContainer.h"
#include "document/PDFKitBridge.h"
#include "extraction/BacklinkHighlightManager.h"
#include "pdfkit/Document.h"
#include "support/AppHarness.h"
#include "tabs/TabManager.h"
#include "tabs/TabSession.h"
#include "ui/canvas/AnnotationOverlay.h"
#include "ui/canvas/CustomPDFView.h"
#include "ui/canvas/DragRectangleLayer.h"
#include "ui/canvas/FreeTextEditor.h"
#include "ui/canvas/PDFCanvasView.h"
#include "ui/canvas/PDFCanvasWrapper.h"
#include "ui/canvas/SelectionPopup.h"
#include "ui/canvas/TextPopover.h"
#include "ui/canvas/ToolPalette.h"
#include "ui/platform/DocumentQuestions.h"
#include "ui/sidebar/CommentSidebar.h"
#include "ui/sidebar/HighlightPanel.h"
#include "ui/sidebar/HighlightSidebar.h"
#include "ui/support/UiTestSupport.h"
#include "ui/window/MainToolbar.h"
#include "ui/window/MainWindow.h"
#include "ui/window/TabContentView.h"
#include "ui/window/ToolButton.h"
#include "ui/window/WindowState.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QToolButton>
#include <QtTest>

using namespace ombrix;
using namespace ombrix::testing;

namespace {

const HighlightColor& paletteEntry(const char* id) {
    for (const auto& entry : HighlightColor::defaults()) {
        if (entry.id == id) {
            return entry;
        }
    }
    return HighlightColor::defaults().front();
}

bool near(const Color& a, const Color& b) {
    return std::abs(a.red - b.red) < 0.02 && std::abs(a.green - b.green) < 0.02 &&
           std::abs(a.blue - b.blue) < 0.02;
}

// What a user sees of an annotation, to compare a page before and after undo.
struct Seen {
    std::string type;
    Rect bounds;
    std::optional<Color> colour;
    std::optional<std::string> contents;
    bool operator==(const Seen&) const = default;
};

std::vector<Seen> sorted(std::vector<Seen> all) {
    std::sort(all.begin(), all.end(), [](const Seen& a, const Seen& b) {
        return std::tie(a.type, a.bounds.y, a.bounds.x) < std::tie(b.type, b.bounds.y, b.bounds.x);
    });
    return all;
}

std::vector<Seen> seen(const pdfkit::Page& page) {
    std::vector<Seen> all;
    for (const auto& a : page.annotations()) {
        if (a->type() != "Popup") {
            all.push_back({a->type(), a->bounds(), a->color(), a->contents()});
        }
    }
    return all;
}

// The person closing the tab answers "Don't Save".
class DiscardingQuestions : public ui::DocumentQuestions {
public:
    int asked = 0;
    UnsavedAnswer askUnsaved(const std::string&) override {
        ++asked;
        return UnsavedAnswer::discard;
    }
    ChangedOnDiskAnswer askChangedOnDisk(const std::string&) override {
        return ChangedOnDiskAnswer::cancel;
    }
    std::optional<std::filesystem::path> chooseCopyPath(const std::filesystem::path&) override {
        return std::nullopt;
    }
};

} // namespace

// Markup in the real window, as a user makes it: nothing reaches the file but Save, every
// edit is one step of undo, and nothing the user wrote is lost on the way.
class MarkupSessionTrustTest : public QObject {
    Q_OBJECT

    std::unique_ptr<AppHarness> harness;
    std::unique_ptr<ui::MainWindow> window;
    std::filesystem::path file;
    std::string opened;

    ui::PDFCanvasWrapper& wrapper() { return *window->content()->canvasWrapper(); }
    ui::CustomPDFView& view() { return *window->content()->canvas()->pdfView(); }
    ui::HighlightSidebar& sidebar() { return *window->content()->highlights()->sidebar(); }
    std::shared_ptr<pdfkit::Page> page() { return view().document()->page(0); }
    QPoint at(Point pagePoint) {
        return view().viewToWidget(view().convertPointFromPage(pagePoint, *page())).toPoint();
    }
    void settle(int ms = 80) {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < ms) {
            harness->loop->runPending();
            QTest::qWait(10);
        }
    }
    static const TextRun& line(int i) {
        static const auto runs = textDocument(1).pages[0].runs;
        return runs[static_cast<std::size_t>(i)];
    }
    // A point inside a line's text, a fraction of the way along it.
    static Point inLine(int i, double along) {
        const Rect r = textBounds(line(i));
        return Point{r.x + r.width * along, r.midY()};
    }
    std::shared_ptr<pdfkit::Annotation> firstOf(const std::string& type) {
        for (const auto& a : page()->annotations()) {
            if (a->type() == type) {
                return a;
            }
        }
        return nullptr;
    }
    // The highlight over a line of the page, the last made first.
    std::shared_ptr<pdfkit::Annotation> highlightOver(int lineIndex) {
        std::shared_ptr<pdfkit::Annotation> found;
        for (const auto& a : page()->annotations()) {
            if (a->type() == "Highlight" && a->bounds().intersects(textBounds(line(lineIndex)))) {
                found = a;
            }
        }
        return found;
    }
    // The viewport's pixel at a page point, once the page view has drawn what it shows.
    QColor pixel(Point pagePoint) {
        uitest::waitUntil([&] {
            harness->loop->runPending();
            return view().renderScheduler().idle();
        });
        settle(30);
        return view().viewport()->grab().toImage().pixelColor(at(pagePoint));
    }
    void expectFileUntouched() { QCOMPARE(readBytes(file), opened); }
    // The wrapper's point over a page point.
    Point inWrapper(Point pagePoint) {
        const QPoint p = view().viewport()->mapTo(&wrapper(), at(pagePoint));
        return Point{double(p.x()), double(p.y())};
    }

    // The selection popup shown, turning the program's own queue while waiting: a loaded
    // machine reads the page's text late.
    bool popupShown() {
        return uitest::waitUntil([&] {
            harness->loop->runPending();
            return wrapper().selectionPopup()->isVisible();
        });
    }

    void drag(Point from, Point to, Qt::KeyboardModifiers modifiers = {}) {
        QTest::mousePress(view().viewport(), Qt::LeftButton, modifiers, at(from));
        QTest::mouseMove(view().viewport(), at({(from.x + to.x) / 2, (from.y + to.y) / 2}));
        QTest::mouseMove(view().viewport(), at(to));
        settle(20);
        QTest::mouseRelease(view().viewport(), Qt::LeftButton, modifiers, at(to));
        settle();
    }
    void click(Point pagePoint) {
        QTest::mouseClick(view().viewport(), Qt::LeftButton, {}, at(pagePoint));
        settle();
    }
    void undoKey() {
        view().setFocus();
        QTest::keyClick(&view(), Qt::Key_Z, Qt::ControlModifier);
        settle(30);
    }
    QAction* menuAction(const QString& title) {
        for (auto* action : window->menuBar()->findChildren<QAction*>()) {
            if (action->text() == title) {
                return action;
            }
        }
        return nullptr;
    }
    static QAction* find(QMenu* menu, const QString& text) {
        for (QAction* action : menu->actions()) {
            if (action->text() == text) {
                return action;
            }
            if (action->menu()) {
                if (QAction* inner = find(action->menu(), text)) {
                    return inner;
                }
            }
        }
        return nullptr;
    }

    // Line 1 highlighted with a comment, line 3 in light green (as other readers write
    // it), a sticky note overlapping line 1's highlight, an outline square over line 5.
    static FixtureDocument markedDocument() {
        auto document = textDocument(1);
        auto& annotations = document.pages[0].annotations;
        const Rect first = textBounds(line(1));
        annotations.push_back(annotationOf("Highlight", first, Color{1, 0.816, 0, 0.5},
                                           std::string("check this figure")));
        annotations.push_back(
            annotationOf("Highlight", textBounds(line(3)), Color{0.56, 0.93, 0.56, 0.5}));
        annotations.push_back(annotationOf("Text", Rect{first.maxX() - 10, first.y - 5, 20, 20},
                                           Color{1, 1, 0, 1}, std::string("a sticky note")));
        annotations.push_back(annotationOf("Square", textBounds(line(5)).insetBy(-3, -3),
                                           Color{1, 0, 0, 1}, std::nullopt, 1.0));
        return document;
    }

private slots:
    void init() {
        harness = std::make_unique<AppHarness>();
        harness->app().bootstrap();
        window = std::make_unique<ui::MainWindow>(harness->app());
        window->installMenus(window->makeMenuModel());
        window->resize(1100, 900);
        window->show();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        file = harness->pdf(markedDocument(), "marked.pdf");
        opened = readBytes(file);
        harness->dispatch(ActionID::docOpen, {{"url", file}});
        settle();
        QVERIFY(view().document());
    }

    void cleanup() {
        window.reset();
        harness.reset();
    }

    // A recolour from the palette changes the page, not the file, and is undone by Ctrl+Z.
    void aRecolourIsNotWrittenAndIsUndone() {
        auto tab = harness->activeTab();
        auto highlight = firstOf("Highlight");
        click(inLine(1, 0.2));
        QVERIFY(wrapper().selectedAnnotation());
        QCOMPARE(wrapper().selectedAnnotation()->pdfAnnotationRef, highlight);
        // The palette offers the five palette colours, the sidebar's own.
        auto* palette = wrapper().toolPalette();
        QVERIFY(palette->isVisible());
        QVERIFY(palette->colourButton(4) && !palette->colourButton(5));
        QTest::mouseClick(palette->findChild<QToolButton*>("colourGreen"), Qt::LeftButton);
        settle();
        QVERIFY(near(*highlight->color(), paletteEntry("green").nsColor));
        QVERIFY(tab->document->isDirty);
        expectFileUntouched();
        undoKey();
        QVERIFY(near(*highlight->color(), Color{1, 0.816, 0, 1}));
        expectFileUntouched();
    }

    // Alt-drag with the palette's "Text" tool over a commented highlight: one new highlight
    // that keeps the comment, undone in one step; the rectangle shows while it is dragged.
    void aRegionOverACommentedHighlightKeepsItsCommentAndIsDrawnWhileDragged() {
        auto old = firstOf("Highlight");
        click(inLine(1, 0.2));
        QTest::mouseClick(wrapper().toolPalette()->toolButton(HighlightTool::text), Qt::LeftButton);
        settle();
        QCOMPARE(wrapper().activeTool(), HighlightTool::text);
        const Rect region = textBounds(line(1)).insetBy(-6, -6);
        const Point from{region.minX(), region.maxY()}, to{region.maxX(), region.minY()};
        QTest::mousePress(view().viewport(), Qt::LeftButton, Qt::AltModifier, at(from));
        QTest::mouseMove(view().viewport(), at(to));
        settle(40);
        QVERIFY(!wrapper().optionDragRect().isEmpty());
        QVERIFY(wrapper().dragLayer()->isVisible());
        QTest::mouseRelease(view().viewport(), Qt::LeftButton, Qt::AltModifier, at(to));
        settle();
        auto made = highlightOver(1);
        QVERIFY(made && made != old);
        QCOMPARE(made->contents(), std::optional<std::string>("check this figure"));
        QVERIFY(near(*made->color(), paletteEntry("blue").nsColor));
        // The new highlight is selected: a palette colour applies to it at once.
        QCOMPARE(wrapper().selectedAnnotation()->pdfAnnotationRef, made);
        QTest::mouseClick(wrapper().toolPalette()->findChild<QToolButton*>("colourRed"),
                          Qt::LeftButton);
        settle();
        QVERIFY(near(*made->color(), paletteEntry("red").nsColor));
        expectFileUntouched();
        undoKey();
        QVERIFY(near(*made->color(), paletteEntry("blue").nsColor));
        undoKey();
        QVERIFY(highlightOver(1) == old);
        QCOMPARE(old->contents(), std::optional<std::string>("check this figure"));
    }

    // With no tool chosen, a region touches nothing until a tool says what it is for.
    void aRegionWithoutAToolDestroysNothing() {
        const auto before = seen(*page());
        const Rect region = textBounds(line(1)).insetBy(-6, -6);
        drag({region.minX(), region.maxY()}, {region.maxX(), region.minY()}, Qt::AltModifier);
        QCOMPARE(seen(*page()), before);
        QVERIFY(!harness->app().undoManager()->canUndo());
        QTest::mouseClick(wrapper().toolPalette()->toolButton(HighlightTool::crop), Qt::LeftButton);
        settle();
        QCOMPARE(highlightOver(1)->contents(), std::optional<std::string>("check this figure"));
        QVERIFY(near(*highlightOver(1)->color(), paletteEntry("purple").nsColor));
    }

    // Bulk recolour from the sidebar: only the chosen entries, outlines stay outlines, one
    // undo; every chip selects its own colour, light green included.
    void bulkRecolourTouchesOnlyTheSelectedAndUndoesAtOnce() {
        auto tab = harness->activeTab();
        window->state().showSidebar = true;
        settle();
        auto& bar = sidebar();
        auto note = firstOf("Text");
        const auto noteColour = note->color();
        bar.selectByColour(paletteEntry("green").nsColor);
        QCOMPARE(bar.selection().selectedIDs().size(), std::size_t(1));
        bar.selectByColour(paletteEntry("green").nsColor);
        bar.selectByColour(paletteEntry("yellow").nsColor);
        QCOMPARE(bar.selection().selectedIDs().size(), std::size_t(1));
        bar.selectAll();
        const auto listed = bar.selection().selectedIDs().size();
        QCOMPARE(listed, std::size_t(3)); // two highlights and the square
        const auto before = seen(*page());
        const Rect first = textBounds(line(1));
        const Point band{first.midX(), first.maxY() - 0.8};
        QVERIFY(pixel(band).blue() < 160); // half-transparent yellow on white
        bar.applyBulkColour(paletteEntry("purple").nsColor);
        settle();
        // The page is drawn again in the new colour.
        QVERIFY(uitest::waitUntil([&] { return pixel(band).blue() > 200; }));
        QCOMPARE(note->color(), noteColour);
        auto square = firstOf("Square");
        QVERIFY(near(*square->color(), paletteEntry("purple").nsColor));
        QVERIFY(!square->interiorColor());
        for (const auto& a : page()->annotations()) {
            if (a->type() == "Highlight") {
                QVERIFY(near(*a->color(), paletteEntry("purple").nsColor));
                QVERIFY(!a->interiorColor());
            }
        }
        QCOMPARE(harness->app().undoManager()->undoStack().size(), std::size_t(1));
        expectFileUntouched();
        harness->app().undo();
        settle();
        QCOMPARE(seen(*page()), before);
    }

    // A comment edited in the sidebar is a step of undo and shows in the Comments tab.
    void aCommentEditIsUndoableAndListedAtOnce() {
        window->state().showSidebar = true;
        settle();
        auto& bar = sidebar();
        QVERIFY(!bar.rows().empty());
        std::string id;
        auto highlight = firstOf("Highlight");
        for (const auto& e :
             window->content()->highlights()->manager()->extractedHighlights.get()) {
            if (e.annotation == highlight) {
                id = e.id;
            }
        }
        QVERIFY(!id.empty());
        bar.beginComment(id);
        bar.saveComment("a better comment");
        settle();
        QCOMPARE(highlight->contents(), std::optional<std::string>("a better comment"));
        auto* comments = window->content()->highlights()->comments();
        bool listed = false;
        for (int i = 0; i < comments->count(); ++i) {
            listed = listed || comments->item(i)->text().contains("a better comment");
        }
        QVERIFY(listed);
        expectFileUntouched();
        undoKey();
        QCOMPARE(highlight->contents(), std::optional<std::string>("check this figure"));
    }

    // After a drag selection the popup offers the palette, underline, strike-out and a
    // note; the context menu and Edit → Highlight do the same.
    void aTextSelectionOffersItsMarkupInThePopupTheMenuAndTheContextMenu() {
        drag(inLine(2, 0.02), inLine(2, 0.98));
        auto* popup = wrapper().selectionPopup();
        QVERIFY(popupShown());
        QCOMPARE(popup->colourButtons().size(), HighlightColor::defaults().size());
        // It keeps beside the selection while the page scrolls.
        const int before = popup->y();
        view().verticalScrollBar()->setValue(view().verticalScrollBar()->value() + 40);
        settle();
        QVERIFY2(std::abs(popup->y() - (before - 40)) <= 2,
                 qPrintable(QString::number(popup->y())));
        QTest::mouseClick(popup->findChild<QToolButton*>("highlightGreen"), Qt::LeftButton);
        settle();
        QVERIFY(!popup->isVisible());
        std::shared_ptr<pdfkit::Annotation> made;
        for (const auto& a : page()->annotations()) {
            if (a->type() == "Highlight" && a->bounds().intersects(textBounds(line(2)))) {
                made = a;
            }
        }
        QVERIFY(made);
        QVERIFY(near(*made->color(), paletteEntry("green").nsColor));
        QVERIFY(!made->bounds().intersects(textBounds(line(1))));
        // Listed with its text, and the text is not repeated as a comment.
        auto manager = window->content()->highlights()->manager();
        manager->refreshHighlights(*harness->activeTab()->document);
        bool listed = false;
        for (const auto& e : manager->extractedHighlights.get()) {
            if (e.annotation == made) {
                listed = true;
                QVERIFY(!e.comment);
            }
        }
        QVERIFY(listed);

        drag(inLine(4, 0.02), inLine(4, 0.98));
        QTest::mouseClick(wrapper().selectionPopup()->strikeOutButton(), Qt::LeftButton);
        settle();
        QVERIFY(firstOf("StrikeOut"));

        auto* highlightItem = menuAction("Highlight");
        QVERIFY(highlightItem);
        QCOMPARE(highlightItem->shortcut(), QKeySequence("Ctrl+H"));
        drag(inLine(0, 0.05), inLine(0, 0.95));
        highlightItem->trigger();
        settle();
        bool heading = false;
        for (const auto& a : page()->annotations()) {
            heading = heading ||
                      (a->type() == "Highlight" && a->bounds().intersects(textBounds(line(0))));
        }
        QVERIFY(heading);

        // On a selection: the markup choices; on an annotation: its own actions.
        drag(inLine(2, 0.02), inLine(2, 0.5));
        std::unique_ptr<QMenu> menu(wrapper().contextMenuAt(inWrapper(inLine(2, 0.2))));
        QVERIFY(menu);
        QVERIFY(find(menu.get(), "Underline") && find(menu.get(), "Strike Out") &&
                find(menu.get(), "Add Note") && find(menu.get(), "Purple"));
        click(inLine(5, 0.5)); // ends the selection
        menu.reset(wrapper().contextMenuAt(inWrapper(inLine(5, 0.5))));
        QVERIFY(menu);
        QVERIFY(find(menu.get(), "Edit Comment…") && find(menu.get(), "Copy Text") &&
                find(menu.get(), "Delete") && find(menu.get(), "Yellow"));
        find(menu.get(), "Delete")->trigger();
        settle();
        QVERIFY(!firstOf("Square"));
        expectFileUntouched();
        undoKey();
        QVERIFY(firstOf("Square"));
    }

    // An encrypted document opened with its password takes markup like any other, and its
    // save keeps it encrypted with that password.
    void anEncryptedDocumentIsMarkedUpAndSavedEncrypted() {
        const auto locked = harness->dir / "locked.pdf";
        auto document = textDocument(1);
        document.userPassword = "secret";
        writePdf(document, locked);
        harness->user->passwordAnswers = {std::string("secret")};
        window->openFile(locked);
        QVERIFY(uitest::waitUntil([&] {
            harness->loop->runPending();
            return harness->activeTab() && harness->activeTab()->document->url == locked;
        }));
        settle();
        auto tab = harness->activeTab();
        QVERIFY(view().document() == PDFKitBridge::engineDocument(*tab->document));
        const std::string before = readBytes(locked);

        drag(inLine(2, 0.02), inLine(2, 0.98));
        QVERIFY(popupShown());
        QTest::mouseClick(wrapper().selectionPopup()->findChild<QToolButton*>("highlightBlue"),
                          Qt::LeftButton);
        settle();
        wrapper().setActiveTool(HighlightTool::crop);
        const Rect region = textBounds(line(4)).insetBy(-3, -3);
        drag({region.minX(), region.maxY()}, {region.maxX(), region.minY()}, Qt::AltModifier);
        QVERIFY(highlightOver(2) && highlightOver(4));
        QVERIFY(harness->user->alerts().empty());
        QCOMPARE(readBytes(locked), before);

        view().setFocus();
        QTest::keyClick(&view(), Qt::Key_S, Qt::ControlModifier);
        settle();
        QVERIFY(!tab->document->isDirty);
        // Locked as it was: nothing opens it without the password, the password does.
        QVERIFY(readBytes(locked).find("/Encrypt") != std::string::npos);
        QVERIFY(!pdfkit::Document::open(locked));
        auto reopened = pdfkit::Document::openFile(locked).document;
        QVERIFY(reopened);
        QVERIFY(reopened->isLocked());
        QVERIFY(reopened->authenticate("secret"));
        std::size_t highlights = 0;
        for (const auto& a : reopened->page(0)->annotations()) {
            highlights += a->type() == "Highlight";
        }
        QCOMPARE(highlights, std::size_t(2));
    }

    // "Don't Save" drops the edits: recolours, regions and crops never reached the file.
    void dontSaveKeepsTheFileAsItWasOpenedAfterRecolourRegionAndCrop() {
        auto questions = std::make_shared<DiscardingQuestions>();
        window->setQuestions(questions);
        click(inLine(1, 0.2));
        QTest::mouseClick(wrapper().toolPalette()->findChild<QToolButton*>("colourPurple"),
                          Qt::LeftButton);
        wrapper().setActiveTool(HighlightTool::orange);
        const Rect region = textBounds(line(4)).insetBy(-3, -3);
        drag({region.minX(), region.maxY()}, {region.maxX(), region.minY()}, Qt::AltModifier);
        QVERIFY(highlightOver(4));

        // A crop from the sidebar is written beside the document; the document is not.
        window->state().showSidebar = true;
        settle();
        std::string id;
        for (const auto& e :
             window->content()->highlights()->manager()->extractedHighlights.get()) {
            if (e.annotation == highlightOver(4)) {
                id = e.id;
            }
        }
        QVERIFY(!id.empty());
        sidebar().runCrop(id);
        QVERIFY(uitest::waitUntil([&] {
            harness->loop->runPending();
            return !harness->user->actionButtons().empty();
        }));
        QCOMPARE(harness->user->actionButtons().back(), std::string("Show in Folder"));
        const auto crop = file.parent_path() / "marked_page1_seq001.pdf";
        QVERIFY(std::filesystem::exists(crop));
        // The crop's page is the region's size in points, padded, not eight times it.
        auto cropped = pdfkit::Document::open(crop);
        QVERIFY(cropped);
        const Rect box = cropped->page(0)->mediaBox();
        QVERIFY2(box.width < region.width + 20 && box.width > region.width,
                 qPrintable(QString::number(box.width)));
        expectFileUntouched();

        QVERIFY(window->closeTab(harness->activeTab()));
        QCOMPARE(questions->asked, 1);
        expectFileUntouched();
    }

    // The toolbar says what its buttons do.
    void theToolbarNamesItsMarkupButtonsByWhatTheyDo() {
        auto* toolbar = window->toolbar();
        QCOMPARE(toolbar->button("textformat")->toolTip(), QString("Add Free Text"));
        QCOMPARE(toolbar->button("square.dashed")->toolTip(), QString("Draw Rectangle"));
        QVERIFY(toolbar->button("note.text"));
        QVERIFY(menuAction("Add Note") && menuAction("Add Free Text"));
    }

    // A whole session: every kind of edit, the file untouched until Save, everything undone
    // back to the opened document and redone, then saved and read back.
    void aWholeSessionIsUndoneAndRedoneAndSavedAsExpected() {
        auto tab = harness->activeTab();
        const auto openedSeen = seen(*page());
        const auto openedObjects = page()->annotations();
        auto& undo = *harness->app().undoManager();

        // A selection highlighted in each palette colour: halves of the lines that carry no
        // markup yet, and one whole line.
        struct Span {
            int line;
            double from, to;
        };
        const std::vector<Span> spans{
            {0, 0.02, 0.45}, {0, 0.55, 0.98}, {2, 0.02, 0.45}, {2, 0.55, 0.98}, {4, 0.02, 0.98}};
        std::size_t i = 0;
        for (const auto& entry : HighlightColor::defaults()) {
            const Span& span = spans[i++];
            drag(inLine(span.line, span.from), inLine(span.line, span.to));
            QVERIFY2(popupShown(), entry.name.c_str());
            QTest::mouseClick(wrapper().selectionPopup()->findChild<QToolButton*>(
                                  QString::fromStdString("highlight" + entry.name)),
                              Qt::LeftButton);
            settle();
            expectFileUntouched();
        }
        QCOMPARE(undo.undoStack().size(), std::size_t(5));

        // A note from the toolbar, its text typed in place.
        QTest::mouseClick(window->toolbar()->button("note.text"), Qt::LeftButton);
        settle();
        auto* popover = wrapper().textPopover();
        QVERIFY(popover->isVisible() && popover->isEditing());
        popover->findChild<QPlainTextEdit*>("popoverText")->setPlainText("remember this");
        QTest::mouseClick(popover->saveButton(), Qt::LeftButton);
        settle();
        auto note = wrapper().selectedAnnotation()->pdfAnnotationRef;
        QCOMPARE(note->type(), std::string("Text"));
        QCOMPARE(note->contents(), std::optional<std::string>("remember this"));
        expectFileUntouched();

        // Free text from the toolbar's button.
        QTest::mouseClick(window->toolbar()->button("textformat"), Qt::LeftButton);
        settle();
        click({400, 300});
        QVERIFY(wrapper().isEditingText());
        QVERIFY(uitest::waitUntil([&] { return wrapper().textEditor()->hasFocus(); }));
        QTest::keyClicks(wrapper().textEditor(), "typed on the page");
        QTest::keyClick(wrapper().textEditor(), Qt::Key_Return);
        settle();
        QTest::mouseClick(window->toolbar()->button("textformat"), Qt::LeftButton);
        settle();
        auto freeText = firstOf("FreeText");
        QVERIFY(freeText);
        // Its text edited in place from its context menu: the box follows the longer line.
        const Rect placed = freeText->bounds();
        std::unique_ptr<QMenu> menu(
            wrapper().contextMenuAt(inWrapper({placed.midX(), placed.midY()})));
        QVERIFY(menu);
        find(menu.get(), "Edit Text…")->trigger();
        QVERIFY(popover->isVisible() && popover->isEditing());
        popover->findChild<QPlainTextEdit*>("popoverText")
            ->setPlainText("typed on the page, and then some more");
        QTest::mouseClick(popover->saveButton(), Qt::LeftButton);
        settle();
        QCOMPARE(freeText->contents(),
                 std::optional<std::string>("typed on the page, and then some more"));
        QVERIFY(freeText->bounds().width > placed.width + 20);
        QVERIFY(std::abs(freeText->bounds().maxY() - placed.maxY()) < 0.5);
        expectFileUntouched();

        // A region over the commented highlight, with the Math tool.
        click(inLine(3, 0.5));
        QVERIFY(wrapper().toolPalette()->isVisible());
        QTest::mouseClick(wrapper().toolPalette()->toolButton(HighlightTool::crop), Qt::LeftButton);
        QCOMPARE(wrapper().activeTool(), HighlightTool::crop);
        const Rect region = textBounds(line(1)).insetBy(-4, -4);
        drag({region.minX(), region.maxY()}, {region.maxX(), region.minY()}, Qt::AltModifier);
        bool kept = false;
        for (const auto& a : page()->annotations()) {
            kept = kept || (a->type() == "Highlight" && std::abs(a->bounds().x - region.x) < 0.5 &&
                            std::abs(a->bounds().width - region.width) < 0.5 &&
                            a->contents() == std::optional<std::string>("check this figure"));
        }
        QVERIFY(kept);
        expectFileUntouched();

        // Everything in the sidebar recoloured at once.
        window->state().showSidebar = true;
        settle();
        sidebar().selectAll();
        sidebar().applyBulkColour(paletteEntry("red").nsColor);
        settle();
        expectFileUntouched();

        // The square resized by its corner handle, then the note deleted with the key.
        click({textBounds(line(5)).maxX() + 1.5, textBounds(line(5)).midY()});
        auto square = firstOf("Square");
        QVERIFY(wrapper().selectedAnnotation());
        QCOMPARE(wrapper().selectedAnnotation()->pdfAnnotationRef, square);
        const Rect squareBefore = square->bounds();
        auto* overlay = wrapper().overlay();
        const QPoint grip = overlay->mapFromParent(
            overlay->handleCentre(ui::AnnotationOverlay::Corner::bottomRight).toPoint());
        QTest::mousePress(overlay, Qt::LeftButton, {}, grip);
        QTest::mouseMove(overlay, grip + QPoint(10, 0));
        QTest::mouseMove(overlay, grip + QPoint(30, 0));
        QTest::mouseRelease(overlay, Qt::LeftButton, {}, grip + QPoint(30, 0));
        settle();
        QVERIFY(square->bounds().width > squareBefore.width + 5);
        click({note->bounds().midX(), note->bounds().midY()});
        QCOMPARE(wrapper().selectedAnnotation()->pdfAnnotationRef, note);
        view().setFocus();
        QTest::keyClick(&view(), Qt::Key_Delete);
        settle();
        QVERIFY(!isOnPage(note));
        expectFileUntouched();

        const auto finalSeen = seen(*page());
        const std::size_t steps = undo.undoStack().size();
        QCOMPARE(steps, std::size_t(13));

        // Back to the opened document, step by step, the very objects included.
        while (undo.canUndo()) {
            undoKey();
            expectFileUntouched();
        }
        // The same annotations, the very objects; one put back comes last in the page's list.
        QCOMPARE(sorted(seen(*page())), sorted(openedSeen));
        auto objects = page()->annotations();
        std::sort(objects.begin(), objects.end());
        auto openedSorted = openedObjects;
        std::sort(openedSorted.begin(), openedSorted.end());
        QCOMPARE(objects, openedSorted);
        // And forward again to where the session ended.
        for (std::size_t step = 0; step < steps; ++step) {
            QTest::keyClick(&view(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
            settle(30);
        }
        QCOMPARE(sorted(seen(*page())), sorted(finalSeen));
        expectFileUntouched();

        // Save writes it; the file reads back with exactly these annotations.
        view().setFocus();
        QTest::keyClick(&view(), Qt::Key_S, Qt::ControlModifier);
        settle();
        QVERIFY(!tab->document->isDirty);
        QVERIFY(readBytes(file) != opened);
        auto reread = PDFKitBridge().open(file);
        auto document = PDFKitBridge::engineDocument(*reread);
        QVERIFY(document);
        auto saved = sorted(seen(*document->page(0)));
        const auto expected = sorted(seen(*page()));
        QCOMPARE(saved.size(), expected.size());
        for (std::size_t k = 0; k < saved.size(); ++k) {
            QCOMPARE(saved[k].type, expected[k].type);
            QCOMPARE(saved[k].contents, expected[k].contents);
            QVERIFY(std::abs(saved[k].bounds.midX() - expected[k].bounds.midX()) < 1);
            QVERIFY(std::abs(saved[k].bounds.midY() - expected[k].bounds.midY()) < 1);
        }
    }

private:
    bool isOnPage(const std::shared_ptr<pdfkit::Annotation>& a) {
        for (const auto& x : page()->annotations()) {
            if (x == a) {
                return true;
            }
        }
        return false;
    }
};

QTEST_MAIN(MarkupSessionTrustTest)
#include "MarkupSessionTrustTest.moc"
