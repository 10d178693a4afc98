#include "annotations/AnnotationCommands.h"

#include "AnnotationTestSupport.h"
#include "annotations/AppUndoManager.h"

using namespace ombrix;
using namespace ombrix::annotations_test;

namespace {

class AnnotationCommandsTest : public AnnotationFixture {
protected:
    std::shared_ptr<AddAnnotationCommand> addCommand(const std::shared_ptr<TabSession>& tab,
                                                     AnnotationRecord record) {
        return std::make_shared<AddAnnotationCommand>(tab->document, std::move(record), service,
                                                      tab, redraw);
    }
    std::shared_ptr<DeleteAnnotationCommand> deleteCommand(const std::shared_ptr<TabSession>& tab,
                                                           AnnotationRecord record) {
        return std::make_shared<DeleteAnnotationCommand>(tab->document, std::move(record), service,
                                                         tab, redraw, log);
    }
    static AnnotationRecord highlight(int pageIndex, const Rect& bounds) {
        return AnnotationRecord(Uuid::random(), pageIndex, AnnotationType::highlight, bounds);
    }
    // The text lines of textDocument(), as the fixture writer lays them out.
    static const fx::TextRun& line(int i) {
        static const auto runs = fx::textDocument(1).pages[0].runs;
        return runs[static_cast<std::size_t>(i)];
    }

    AppUndoManager undo;
};

// ---- Add ----

TEST_F(AnnotationCommandsTest, AddRealisesTheRecordTakesItsTextAndRedrawsAfterTheEvent) {
    auto tab = openTab(fx::textDocument(1));
    auto p = page(*tab, 0);
    const Rect bounds = fx::textBounds(line(1)).united(fx::textBounds(line(2)));
    auto add = addCommand(tab, highlight(0, bounds));

    undo.record(add);
    ASSERT_TRUE(add->hasExecuted());
    const auto& engine = add->record().pdfAnnotationRef;
    ASSERT_TRUE(engine);
    EXPECT_TRUE(isOn(*p, engine));
    EXPECT_EQ(engine->type(), "Highlight");
    // Two lines of page text become one line of content.
    const std::string text = line(1).text + " " + line(2).text;
    EXPECT_EQ(add->record().content, text);
    EXPECT_EQ(engine->contents(), text);

    ASSERT_EQ(tab->annotations.get().size(), 1u);
    EXPECT_EQ(tab->annotations.get()[0].id, add->record().id);
    EXPECT_EQ(tab->annotations.get()[0].pdfAnnotationRef, engine);
    EXPECT_EQ(tab->annotations.get()[0].content, text);

    EXPECT_EQ(viewRedraws, 0); // queued, not run inside the event
    loop->runPending();
    EXPECT_EQ(viewRedraws, 1);
    EXPECT_EQ(canvasRedraws, 0);
}

TEST_F(AnnotationCommandsTest, OnlyHighlightUnderlineAndStrikeoutTakeTheirContentFromThePage) {
    auto tab = openTab(fx::textDocument(1));
    const Rect bounds = fx::textBounds(line(1));
    for (auto type : {AnnotationType::underline, AnnotationType::strikeout}) {
        auto add = addCommand(tab, AnnotationRecord(Uuid::random(), 0, type, bounds, "mine"));
        add->execute();
        EXPECT_EQ(add->record().content, line(1).text) << rawValue(type);
    }
    for (auto type : {AnnotationType::squiggly, AnnotationType::square}) {
        auto add = addCommand(tab, AnnotationRecord(Uuid::random(), 0, type, bounds, "mine"));
        add->execute();
        EXPECT_EQ(add->record().content, "mine") << rawValue(type);
        EXPECT_EQ(add->record().pdfAnnotationRef->contents(), "mine") << rawValue(type);
    }
    // Over empty page space there is no text: the content stays as it was.
    auto blank = addCommand(tab, highlight(0, Rect{400, 100, 50, 20}));
    blank->execute();
    EXPECT_FALSE(blank->record().content);
    ASSERT_TRUE(blank->record().pdfAnnotationRef);
    EXPECT_EQ(tab->annotations.get().size(), 5u);
}

TEST_F(AnnotationCommandsTest, ContentFromPageTextFlattensLineBreaksOneSpaceEachAndTrims) {
    EXPECT_EQ(annotationContentFromPageText("foo\r\nbar "), "foo  bar");
    EXPECT_EQ(annotationContentFromPageText("\n\rfoo\n"), "foo");
    EXPECT_EQ(annotationContentFromPageText("\u00a0 caf\u00e9\u2028"), "caf\u00e9");
    EXPECT_EQ(annotationContentFromPageText("\r\n \n"), "");
}

TEST_F(AnnotationCommandsTest, AShapeIsAddedWithItsColoursButNoBorderOfItsOwn) {
    auto tab = openTab(fx::textDocument(1));
    AnnotationAppearance appearance = AnnotationAppearance::defaultShape();
    appearance.borderWidth = 6;
    auto add = addCommand(tab, AnnotationRecord(Uuid::random(), 0, AnnotationType::square,
                                                Rect{100, 100, 80, 60}, std::nullopt, appearance));
    add->execute();
    const auto& engine = add->record().pdfAnnotationRef;
    ASSERT_TRUE(engine);
    EXPECT_TRUE(!engine->border() || engine->border()->lineWidth != 6);
    ASSERT_TRUE(engine->interiorColor());
    EXPECT_NEAR(engine->interiorColor()->red, appearance.interiorColor->red, 1e-3);
}

TEST_F(AnnotationCommandsTest, RedoPutsBackTheIdenticalEngineObjectNeverASecondOne) {
    auto tab = openTab(fx::textDocument(1));
    auto p = page(*tab, 0);
    auto add = addCommand(tab, highlight(0, fx::textBounds(line(1))));
    undo.record(add);
    const auto engine = add->record().pdfAnnotationRef;
    ASSERT_EQ(p->annotations().size(), 1u);

    undo.undo();
    EXPECT_TRUE(p->annotations().empty());
    EXPECT_TRUE(tab->annotations.get().empty());
    EXPECT_EQ(add->record().pdfAnnotationRef, engine); // kept for the redo

    undo.redo();
    add->execute(); // twice in a row
    ASSERT_EQ(p->annotations().size(), 1u);
    EXPECT_EQ(p->annotations()[0], engine);
    ASSERT_EQ(tab->annotations.get().size(), 1u);
    EXPECT_EQ(tab->annotations.get()[0].pdfAnnotationRef, engine);

    // And the object that came back is what the file gets.
    service->save(*tab->document);
    auto reopened = bridge->open(tab->document->url);
    auto records = service->loadAll(*reopened);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].content, line(1).text);
}

TEST_F(AnnotationCommandsTest, UndoAfterTheAnnotationWentByOtherMeansStillDropsTheTabEntry) {
    auto tab = openTab(fx::textDocument(1));
    auto p = page(*tab, 0);
    auto add = addCommand(tab, highlight(0, fx::textBounds(line(1))));
    undo.record(add);
    p->removeAnnotation(add->record().pdfAnnotationRef);
    ASSERT_EQ(tab->annotations.get().size(), 1u);

    undo.undo();
    EXPECT_TRUE(tab->annotations.get().empty());
    EXPECT_TRUE(p->annotations().empty());
}

TEST_F(AnnotationCommandsTest, AddUpsertsReplacingTheEntryWithTheSameIdInPlace) {
    auto tab = openTab(fx::everyAnnotationDocument());
    const auto loaded = tab->annotations.get();
    ASSERT_GE(loaded.size(), 3u);
    AnnotationRecord record = highlight(0, Rect{72, 695, 40, 14});
    record.id = loaded[1].id;
    int notifications = 0;
    auto watch = tab->annotations.observe([&](const auto&) { ++notifications; });

    addCommand(tab, record)->execute();
    EXPECT_EQ(notifications, 1);
    ASSERT_EQ(tab->annotations.get().size(), loaded.size());
    EXPECT_EQ(idsOf(tab->annotations.get()), idsOf(loaded));
    EXPECT_EQ(tab->annotations.get()[1].bounds, record.bounds);
    EXPECT_EQ(tab->annotations.get()[1].type, AnnotationType::highlight);
}

TEST_F(AnnotationCommandsTest, AddWithoutAPageDoesNothingButIsStillRecorded) {
    auto tab = openTab(fx::textDocument(1));
    auto add = addCommand(tab, highlight(3, Rect{72, 695, 40, 14}));
    undo.record(add);
    EXPECT_FALSE(add->hasExecuted());
    EXPECT_FALSE(add->record().pdfAnnotationRef);
    EXPECT_TRUE(tab->annotations.get().empty());
    EXPECT_FALSE(tab->document->isDirty);
    EXPECT_EQ(undo.undoStack.get().size(), 1u);
    undo.undo();
    loop->runPending();
    EXPECT_EQ(viewRedraws, 0);
}

TEST_F(AnnotationCommandsTest, AddAndItsUndoMarkTheDocumentDirty) {
    // The in-memory document differs from the file either way, so a save is owed.
    auto tab = openTab(fx::textDocument(1));
    auto add = addCommand(tab, highlight(0, fx::textBounds(line(1))));
    undo.record(add);
    EXPECT_TRUE(tab->document->isDirty);
    service->save(*tab->document);
    undo.undo();
    EXPECT_TRUE(tab->document->isDirty);
    service->save(*tab->document);
    undo.redo();
    EXPECT_TRUE(tab->document->isDirty);
}

TEST_F(AnnotationCommandsTest, ACommandWhoseTabClosedStillChangesThePage) {
    auto tab = openTab(fx::textDocument(1));
    auto doc = tab->document;
    auto p = page(*tab, 0);
    auto add = addCommand(tab, highlight(0, fx::textBounds(line(1))));
    std::weak_ptr<TabSession> closed = tab;
    tabs.closeTab(*tab);
    tab.reset();
    ASSERT_TRUE(closed.expired());

    add->execute();
    ASSERT_EQ(p->annotations().size(), 1u);
    add->undo();
    EXPECT_TRUE(p->annotations().empty());
    add->execute();
    EXPECT_EQ(p->annotations().size(), 1u);

    DeleteAnnotationCommand del(doc, add->record(), service, closed, redraw, log);
    del.execute();
    EXPECT_TRUE(p->annotations().empty());
    del.undo();
    EXPECT_EQ(p->annotations().size(), 1u);
    loop->runPending();
}

// ---- Delete ----

TEST_F(AnnotationCommandsTest, DeleteRemovesTheOwnEngineAnnotationAndUndoAppendsItBack) {
    auto tab = openTab(fx::everyAnnotationDocument());
    auto p = page(*tab, 0);
    const auto before = p->annotations();
    const AnnotationRecord target = tab->annotations.get()[1];
    ASSERT_EQ(target.pdfAnnotationRef, before[1]);

    auto del = deleteCommand(tab, target);
    undo.record(del);
    EXPECT_FALSE(isOn(*p, target.pdfAnnotationRef));
    EXPECT_EQ(p->annotations().size(), before.size() - 1);
    EXPECT_EQ(del->originalIndex(), 1);
    EXPECT_EQ(del->removedAnnotation(), target.pdfAnnotationRef);
    EXPECT_EQ(tab->annotations.get().size(), before.size() - 1);
    EXPECT_TRUE(tab->document->isDirty);
    loop->runPending();
    EXPECT_EQ(viewRedraws, 1);
    EXPECT_EQ(canvasRedraws, 1);

    tab->document->markClean();
    undo.undo();
    ASSERT_EQ(p->annotations().size(), before.size());
    EXPECT_EQ(p->annotations().back(), target.pdfAnnotationRef); // at the end, not at 1
    ASSERT_EQ(tab->annotations.get().size(), before.size());
    EXPECT_EQ(tab->annotations.get().back().id, target.id);
    EXPECT_TRUE(tab->document->isDirty);

    undo.redo();
    EXPECT_FALSE(isOn(*p, target.pdfAnnotationRef));
    EXPECT_EQ(p->annotations().size(), before.size() - 1);
    EXPECT_TRUE(sink->lines().empty());
}

TEST_F(AnnotationCommandsTest, DeleteWithoutAReferenceTakesTheFirstAnnotationWithEqualBounds) {
    auto tab = openTab(fx::everyAnnotationDocument());
    auto p = page(*tab, 0);
    const auto before = p->annotations();
    // Same bounds as the fifth annotation, different contents.
    AnnotationRecord record(Uuid::random(), 0, AnnotationType::square, before[4]->bounds(),
                            "something else");

    auto del = deleteCommand(tab, record);
    del->execute();
    EXPECT_EQ(del->removedAnnotation(), before[4]);
    EXPECT_EQ(del->originalIndex(), 4);
    EXPECT_FALSE(isOn(*p, before[4]));
    EXPECT_EQ(p->annotations().size(), before.size() - 1);

    // Undo puts back a tab entry that refers to the annotation it mirrors.
    del->undo();
    ASSERT_FALSE(tab->annotations.get().empty());
    EXPECT_EQ(tab->annotations.get().back().id, record.id);
    EXPECT_EQ(tab->annotations.get().back().pdfAnnotationRef, before[4]);
}

TEST_F(AnnotationCommandsTest, DeleteFallsBackToOverlappingBoundsWithTheSameContents) {
    auto tab = openTab(fx::textDocument(1));
    auto p = page(*tab, 0);
    const Rect bounds{100, 100, 80, 40};
    const Rect shifted{110, 105, 80, 40};
    AnnotationRecord noted(Uuid::random(), 0, AnnotationType::square, bounds, "noted");
    noted.pdfAnnotationRef = service->realise(*tab->document, noted);
    auto bare = service->addHighlight(*tab->document, 0, bounds); // no contents
    ASSERT_EQ(p->annotations().size(), 2u);

    auto differentText = deleteCommand(
        tab, AnnotationRecord(Uuid::random(), 0, AnnotationType::square, shifted, "other"));
    differentText->execute();
    EXPECT_FALSE(differentText->removedAnnotation());

    // An absent content matches only absent contents: the bare highlight, not "noted".
    auto noText = deleteCommand(tab, highlight(0, shifted));
    noText->execute();
    EXPECT_EQ(noText->removedAnnotation(), bare.pdfAnnotationRef);

    auto sameText = deleteCommand(
        tab, AnnotationRecord(Uuid::random(), 0, AnnotationType::square, shifted, "noted"));
    sameText->execute();
    EXPECT_EQ(sameText->removedAnnotation(), noted.pdfAnnotationRef);
    EXPECT_TRUE(p->annotations().empty());

    // A reference to an annotation no longer on the page falls back the same way; one
    // that only touches along an edge does not overlap.
    AnnotationRecord again(Uuid::random(), 0, AnnotationType::square, bounds, "noted");
    again.pdfAnnotationRef = service->realise(*tab->document, again);
    AnnotationRecord touching(Uuid::random(), 0, AnnotationType::square, Rect{180, 100, 20, 40},
                              "noted", std::nullopt, noted.pdfAnnotationRef);
    auto edge = deleteCommand(tab, touching);
    edge->execute();
    EXPECT_FALSE(edge->removedAnnotation());
    touching.bounds = shifted;
    auto stale = deleteCommand(tab, touching);
    stale->execute();
    EXPECT_EQ(stale->removedAnnotation(), again.pdfAnnotationRef);
}

TEST_F(AnnotationCommandsTest, DeleteThatFindsNothingLogsAndStillUpdatesTabAndDirtyFlag) {
    auto tab = openTab(fx::everyAnnotationDocument());
    auto p = page(*tab, 0);
    const auto before = p->annotations();
    AnnotationRecord ghost = highlight(0, Rect{10, 10, 5, 5});
    tab->annotations.mutate([&](auto& list) { list.push_back(ghost); });

    auto del = deleteCommand(tab, ghost);
    undo.record(del);
    EXPECT_EQ(sink->lines(LogLevel::info),
              (std::vector<std::string>{"⚠️ Could not find annotation to delete."}));
    EXPECT_EQ(p->annotations(), before);
    EXPECT_EQ(tab->annotations.get().size(), before.size());
    EXPECT_TRUE(tab->document->isDirty);
    EXPECT_FALSE(del->removedAnnotation());
    EXPECT_FALSE(del->originalIndex());

    tab->document->markClean();
    undo.undo();
    EXPECT_EQ(p->annotations(), before);
    EXPECT_EQ(tab->annotations.get().size(), before.size());
    EXPECT_FALSE(tab->document->isDirty);
}

TEST_F(AnnotationCommandsTest, RedoOfADeleteRemovesTheSameAnnotationNotALookAlike) {
    auto tab = openTab(fx::textDocument(1));
    auto p = page(*tab, 0);
    const Rect bounds{72, 695, 40, 14};
    auto first = service->addHighlight(*tab->document, 0, bounds);
    auto second = service->addHighlight(*tab->document, 0, bounds);

    undo.record(deleteCommand(tab, highlight(0, bounds)));
    ASSERT_EQ(p->annotations(), (std::vector{second.pdfAnnotationRef}));
    undo.undo(); // first comes back behind second
    ASSERT_EQ(p->annotations(), (std::vector{second.pdfAnnotationRef, first.pdfAnnotationRef}));
    undo.redo();
    EXPECT_EQ(p->annotations(), (std::vector{second.pdfAnnotationRef}));
}

// ---- Update ----

TEST_F(AnnotationCommandsTest, UpdateMovesTheSameObjectBackAndForthAndLeavesTabAndFlagAlone) {
    auto tab = openTab(fx::everyAnnotationDocument());
    auto p = page(*tab, 0);
    const auto record = tab->annotations.get()[4];
    const Rect oldBounds = record.pdfAnnotationRef->bounds();
    const Rect newBounds{300, 100, 120, 90};
    const auto count = p->annotations().size();

    undo.record(std::make_shared<UpdateAnnotationCommand>(p, record.pdfAnnotationRef, oldBounds,
                                                          newBounds));
    EXPECT_EQ(record.pdfAnnotationRef->bounds(), newBounds);
    EXPECT_TRUE(isOn(*p, record.pdfAnnotationRef));
    EXPECT_EQ(p->annotations().size(), count);
    undo.undo();
    EXPECT_EQ(record.pdfAnnotationRef->bounds(), oldBounds);
    EXPECT_EQ(p->annotations().size(), count);
    EXPECT_EQ(tab->annotations.get()[4].bounds, oldBounds);
    EXPECT_FALSE(tab->document->isDirty);
    EXPECT_EQ(loop->pendingCount(), 0u);
}

TEST_F(AnnotationCommandsTest, UndoingAMoveDoesNotBringBackAnAnnotationDeletedSince) {
    auto tab = openTab(fx::textDocument(1));
    auto p = page(*tab, 0);
    auto record = service->addHighlight(*tab->document, 0, Rect{72, 695, 40, 14});
    undo.record(std::make_shared<UpdateAnnotationCommand>(p, record.pdfAnnotationRef, record.bounds,
                                                          Rect{72, 600, 40, 14}));
    p->removeAnnotation(record.pdfAnnotationRef); // a change not recorded for undo
    undo.undo();
    EXPECT_TRUE(p->annotations().empty());
    EXPECT_EQ(record.pdfAnnotationRef->bounds(), record.bounds);
}

} // namespace
