#include "annotations/AnnotationTestSupport.h"
#include "annotations/AppUndoManager.h"
#include "annotations/MarkupController.h"
#include "core/AtomicFile.h"
#include "tabs/RecoveryJournal.h"

#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

using namespace ombrix;
using namespace ombrix::annotations_test;

namespace ombrix {
// Failures name the annotation as the journal writes it.
void PrintTo(const JournalAnnotation& a, std::ostream* out) {
    JournalEntry entry;
    entry.path = "/";
    entry.pages = {JournalPage{0, 0, {a}, {}}};
    *out << entry.toJson();
}
} // namespace ombrix

namespace {

namespace fs = std::filesystem;

const Color kGreen = HighlightColor::defaults()[3].nsColor;
const Color kPurple = HighlightColor::defaults()[4].nsColor;

// What a page shows, order aside: every annotation's properties as the journal keeps them.
std::vector<JournalAnnotation> shown(const pdfkit::Page& page) {
    std::vector<JournalAnnotation> all;
    for (const auto& a : page.annotations()) {
        all.push_back(JournalAnnotation::of(*a));
    }
    std::sort(all.begin(), all.end(), [](const auto& a, const auto& b) {
        return std::tie(a.type, a.bounds.y, a.bounds.x, a.contents) <
               std::tie(b.type, b.bounds.y, b.bounds.x, b.contents);
    });
    return all;
}

void writeBytes(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::size_t filesIn(const fs::path& folder) {
    std::error_code ec;
    if (!fs::exists(folder, ec)) {
        return 0;
    }
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

// One run of the window's journal: its own tabs and undo history over the shared folder,
// so a second one stands for the next start.
struct Session {
    explicit Session(const fs::path& folder, const std::shared_ptr<AnnotationService>& service,
                     const std::shared_ptr<Logging>& log)
        : tabs(std::make_shared<TabManager>()), undo(std::make_shared<AppUndoManager>()),
          markup(std::make_shared<MarkupController>(undo)) {
        tabs->setAnnotationLoader([service](const PDFDocument& d) { return service->loadAll(d); });
        journal = std::make_unique<RecoveryJournal>(folder, tabs, undo, log);
    }
    std::shared_ptr<TabManager> tabs;
    std::shared_ptr<AppUndoManager> undo;
    std::shared_ptr<MarkupController> markup;
    std::unique_ptr<RecoveryJournal> journal;
};

class RecoveryJournalTest : public AnnotationFixture {
protected:
    static const fx::TextRun& line(int i) {
        static const auto runs = fx::textDocument(1).pages[0].runs;
        return runs[static_cast<std::size_t>(i)];
    }
    // Page 1: a commented highlight, a bare one, a note, an outline square and a link;
    // page 2 bare text.
    fx::FixtureDocument markedDocument() const {
        // The size MuPDF gives a note's icon, which it keeps when the text changes.
        auto document = fx::markedTextDocument(18);
        auto& annotations = document.pages[0].annotations;
        auto link = fx::annotationOf("Link", Rect{72, 500, 200, 20}, std::nullopt);
        link.uri = "https://example.invalid/";
        annotations.push_back(link);
        return document;
    }
    fs::path writeMarked() {
        file = fx::writePdf(markedDocument(), dir / "marked.pdf");
        opened = fx::readBytes(file);
        return file;
    }
    std::shared_ptr<TabSession> open(Session& session) {
        return session.tabs->openDocument(bridge->open(file));
    }
    std::shared_ptr<pdfkit::Annotation> first(const TabSession& tab, const std::string& type) {
        for (const auto& a : page(tab, 0)->annotations()) {
            if (a->type() == type) {
                return a;
            }
        }
        return nullptr;
    }
    // A recolour, a new note, a removal and a region highlight on the second page.
    void editEverything(Session& s, const std::shared_ptr<TabSession>& tab) {
        ASSERT_TRUE(s.markup->recolour(tab, {first(*tab, "Highlight")}, kGreen));
        ASSERT_TRUE(
            s.markup->addNote(tab, page(*tab, 0), Point{300, 100}, "left for later", kPurple));
        ASSERT_TRUE(s.markup->remove(tab, {first(*tab, "Square")}));
        ASSERT_TRUE(s.markup->highlightRegion(tab, page(*tab, 1), fx::textBounds(line(2)), kGreen));
        ASSERT_TRUE(s.markup->setText(tab, first(*tab, "Text"), "a note, reworded"));
    }
    fs::path folder() const { return dir / "Brains" / "Recovery"; }

    fs::path file;
    std::string opened;
};

TEST_F(RecoveryJournalTest, EditsSurviveTheRunAndComeBackAsOneUndoableStepOnTheFile) {
    writeMarked();
    std::vector<JournalAnnotation> edited0, edited1;
    {
        Session before(folder(), service, log);
        auto tab = open(before);
        EXPECT_EQ(filesIn(folder()), 0u); // nothing pending, nothing written
        editEverything(before, tab);
        edited0 = shown(*page(*tab, 0));
        edited1 = shown(*page(*tab, 1));
        EXPECT_EQ(filesIn(folder()), 1u);
        // The run ends without closing its tab (a kill, a crash, a logout).
    }
    EXPECT_EQ(fx::readBytes(file), opened);

    Session after(folder(), service, log);
    auto pending = after.journal->pending();
    ASSERT_EQ(pending.size(), 1u);
    EXPECT_EQ(pending[0].entry.path, fs::absolute(file));
    EXPECT_FALSE(pending[0].fileChanged);

    auto tab = open(after);
    const auto file0 = shown(*page(*tab, 0));
    const auto file1 = shown(*page(*tab, 1));
    const auto link = first(*tab, "Link");
    const auto untouched = first(*tab, "Highlight"); // recoloured: changed in place
    ASSERT_TRUE(after.journal->restore(tab, pending[0].entry));
    EXPECT_EQ(shown(*page(*tab, 0)), edited0);
    EXPECT_EQ(shown(*page(*tab, 1)), edited1);
    // The file's own objects stay, so what the journal does not describe stays too.
    EXPECT_TRUE(isOn(*page(*tab, 0), link));
    EXPECT_TRUE(isOn(*page(*tab, 0), untouched));
    EXPECT_NEAR(untouched->color()->green, kGreen.green, 0.01);
    EXPECT_TRUE(tab->document->isDirty);
    EXPECT_EQ(after.undo->undoStack().size(), 1u);
    // The tab lists what the pages show.
    EXPECT_EQ(tab->annotations.get().size(),
              page(*tab, 0)->annotations().size() + page(*tab, 1)->annotations().size());
    EXPECT_EQ(fx::readBytes(file), opened);
    // Now this run's journal, under the same name.
    EXPECT_EQ(filesIn(folder()), 1u);
    EXPECT_EQ(after.journal->pending().size(), 1u);

    after.undo->undo();
    EXPECT_EQ(shown(*page(*tab, 0)), file0);
    EXPECT_EQ(shown(*page(*tab, 1)), file1);
    EXPECT_TRUE(isOn(*page(*tab, 0), link));
    EXPECT_EQ(filesIn(folder()), 0u); // back to the file: nothing to lose
    after.undo->redo();
    EXPECT_EQ(shown(*page(*tab, 0)), edited0);
    EXPECT_EQ(filesIn(folder()), 1u);
    EXPECT_EQ(fx::readBytes(file), opened);
}

TEST_F(RecoveryJournalTest, SavingDiscardingUndoingBackAndClosingUnchangedLeaveNoJournal) {
    writeMarked();
    Session s(folder(), service, log);
    auto tab = open(s);
    ASSERT_TRUE(s.markup->recolour(tab, {first(*tab, "Highlight")}, kGreen));
    EXPECT_EQ(filesIn(folder()), 1u);
    s.undo->undo();
    EXPECT_EQ(filesIn(folder()), 0u);
    s.undo->redo();
    EXPECT_EQ(filesIn(folder()), 1u);

    service->save(*tab->document);
    EXPECT_EQ(filesIn(folder()), 0u);
    // Undo after the save leaves the document unlike its (new) file: journalled, and
    // redo returns to the saved state.
    s.undo->undo();
    EXPECT_EQ(filesIn(folder()), 1u);
    s.undo->redo();
    EXPECT_EQ(filesIn(folder()), 0u);

    // An edit after the save is journalled against the saved file.
    ASSERT_TRUE(s.markup->addNote(tab, page(*tab, 0), Point{300, 100}, "after saving", kPurple));
    const auto edited = shown(*page(*tab, 0));
    auto pending = s.journal->pending();
    ASSERT_EQ(pending.size(), 1u);
    {
        Session next(dir / "elsewhere", service, log);
        auto reopened = open(next);
        ASSERT_TRUE(next.journal->restore(reopened, pending[0].entry));
        EXPECT_EQ(shown(*page(*reopened, 0)), edited);
        next.tabs->closeTab(*reopened);
    }

    s.journal->forget(*tab->document); // "Don't Save"
    EXPECT_EQ(filesIn(folder()), 0u);
    ASSERT_TRUE(s.markup->remove(tab, {first(*tab, "Text")}));
    EXPECT_EQ(filesIn(folder()), 1u);
    s.tabs->closeTab(*tab); // closed without saving, after being asked
    EXPECT_EQ(filesIn(folder()), 0u);

    // A tab that closes without changes leaves an earlier run's journal alone.
    Session later(folder(), service, log);
    auto again = open(later);
    ASSERT_TRUE(later.markup->recolour(again, {first(*again, "Highlight")}, kPurple));
    later.journal.reset();
    Session third(folder(), service, log);
    third.tabs->closeTab(*open(third));
    EXPECT_EQ(third.journal->pending().size(), 1u);
}

TEST_F(RecoveryJournalTest, AChangedFileIsFlaggedAndBrokenJournalsAreSkipped) {
    writeMarked();
    {
        Session s(folder(), service, log);
        auto tab = open(s);
        ASSERT_TRUE(s.markup->remove(tab, {first(*tab, "Square")}));
        ASSERT_TRUE(s.markup->addNote(tab, page(*tab, 0), Point{300, 100}, "kept", kPurple));
    }
    const auto journal = *fs::directory_iterator(folder());
    const std::string text = *readFile(journal.path());

    // Broken and foreign journals beside it: none is offered and none stops the rest.
    writeBytes(folder() / "garbage.json", "{\"format\": \"ombrix-recovery\", \"vers");
    writeBytes(folder() / "truncated.json", text.substr(0, text.size() / 2));
    std::string wrongType = text;
    wrongType.replace(wrongType.find("\"bounds\":["), 10, "\"bounds\":\"x\",\"old\":[");
    writeBytes(folder() / "wrongtype.json", wrongType);
    std::string hugeIndex = text;
    hugeIndex.replace(hugeIndex.find("\"index\":0"), 9, "\"index\":99999999999999");
    writeBytes(folder() / "hugeindex.json", hugeIndex);
    writeBytes(folder() / "binary.json", std::string("\0\xff\xfe", 3));
    // A stray copy under another name, and a link to one.
    writeBytes(folder() / "0123456789abcdef0123456789abcdef.json", text);
    fs::create_symlink(journal.path(), folder() / "link.json");
    // The journal of a document that is gone.
    std::string gone = text;
    const std::string path = fs::absolute(file).string();
    gone.replace(gone.find(path), path.size(), (dir / "gone.pdf").string());
    RecoveryJournal naming(folder(), nullptr, nullptr, log);
    writeBytes(naming.fileFor(dir / "gone.pdf"), gone);

    Session s(folder(), service, log);
    auto pending = s.journal->pending();
    ASSERT_EQ(pending.size(), 1u);
    EXPECT_EQ(pending[0].journalFile, journal.path());
    EXPECT_FALSE(pending[0].fileChanged);

    // Another program rewrites the file: the journal is still offered, flagged, and puts
    // its changes on what is there now without breaking anything.
    auto changed = fx::textDocument(2);
    changed.pages[0].annotations.push_back(
        fx::annotationOf("Highlight", fx::textBounds(line(4)), Color{0, 0, 1, 0.5}));
    fx::writePdf(changed, file);
    pending = s.journal->pending();
    ASSERT_EQ(pending.size(), 1u);
    EXPECT_TRUE(pending[0].fileChanged);
    auto tab = open(s);
    ASSERT_TRUE(s.journal->restore(tab, pending[0].entry));
    const auto now = shown(*page(*tab, 0));
    EXPECT_TRUE(
        std::any_of(now.begin(), now.end(), [](const auto& a) { return a.contents == "kept"; }));
    EXPECT_TRUE(
        std::none_of(now.begin(), now.end(), [](const auto& a) { return a.type == "Square"; }));
    s.undo->undo();
    ASSERT_EQ(page(*tab, 0)->annotations().size(), 1u);

    s.journal->discard(pending[0]);
    EXPECT_FALSE(fs::exists(journal.path()));
    // A journal for another file restores nothing onto this one.
    EXPECT_FALSE(s.journal->restore(tab, [&] {
        auto other = pending[0].entry;
        other.path = dir / "other.pdf";
        return other;
    }()));
}

TEST_F(RecoveryJournalTest, TheFolderIsPrivateAndALinkedFolderIsNotWrittenThrough) {
    writeMarked();
    {
        Session s(folder(), service, log);
        auto tab = open(s);
        ASSERT_TRUE(s.markup->recolour(tab, {first(*tab, "Highlight")}, kGreen));
        struct stat info {};
        ASSERT_EQ(::stat(folder().c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0700u);
        EXPECT_EQ(filesIn(folder()), 1u);
    }

    // A link planted where the folder goes: nothing is written where it points.
    const fs::path planted = dir / "planted" / "Recovery";
    const fs::path target = dir / "target";
    fs::create_directories(planted.parent_path());
    fs::create_directories(target);
    fs::create_directory_symlink(target, planted);
    Session s(planted, service, log);
    auto tab = open(s);
    ASSERT_TRUE(s.markup->recolour(tab, {first(*tab, "Highlight")}, kGreen));
    EXPECT_EQ(filesIn(target), 0u);
    EXPECT_TRUE(s.journal->pending().empty());
    EXPECT_EQ(fx::readBytes(file), opened);
}

TEST(RecoveryJournalFormat, AJournalReadsBackAsWrittenAndRefusesWhatIsNotOne) {
    JournalEntry entry;
    entry.path = "/home/someone/a \"quoted\" name\\.pdf";
    entry.stamp = FileStamp{1, 2, 3, 4};
    entry.writerPid = 42;
    entry.savedAt = 1.5;
    JournalPage page;
    page.index = 3;
    page.fileAnnotationCount = 1;
    page.fileTypes = {"Ink"};
    JournalAnnotation ink;
    ink.type = "Ink";
    ink.bounds = Rect{1, 2, 3, 4};
    ink.color = Color{0.1, 0.2, 0.3, 0.4};
    ink.contents = "line\nbreak </script>";
    ink.result = "<table><tr><td>1</td></tr></table>";
    ink.fileIndex = 0;
    JournalAnnotation mark;
    mark.type = "Highlight";
    mark.bounds = Rect{5, 6, 7, 8};
    mark.quads = {Rect{5, 6, 7, 4}, Rect{5, 10, 7, 4}};
    mark.region = true;
    mark.fontFamily = "Helvetica";
    mark.fontSize = 11;
    page.annotations = {ink, mark};
    entry.pages = {page};

    auto back = JournalEntry::fromJson(entry.toJson());
    ASSERT_TRUE(back);
    EXPECT_EQ(back->path, entry.path);
    EXPECT_EQ(back->stamp, entry.stamp);
    EXPECT_EQ(back->pages, entry.pages);

    for (const char* bad :
         {"", "null", "[]", "{}", "{\"format\":\"ombrix-recovery\",\"version\":2}",
          "{\"format\":\"other\",\"version\":1}"}) {
        EXPECT_FALSE(JournalEntry::fromJson(bad)) << bad;
    }
    auto relative = entry;
    relative.path = "relative.pdf";
    EXPECT_FALSE(JournalEntry::fromJson(relative.toJson()));
    auto negative = entry;
    negative.pages[0].annotations[0].fileIndex = -1;
    EXPECT_FALSE(JournalEntry::fromJson(negative.toJson()));
    auto miscounted = entry;
    miscounted.pages[0].fileAnnotationCount = 5;
    EXPECT_FALSE(JournalEntry::fromJson(miscounted.toJson()));
    auto outOfRange = entry;
    outOfRange.pages[0].annotations[0].color = Color{2, 0, 0, 1};
    EXPECT_FALSE(JournalEntry::fromJson(outOfRange.toJson()));
}

} // namespace
