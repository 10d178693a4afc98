#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "annotations/UndoableCommand.h"
#include "core/AtomicFile.h"
#include "core/Cancellable.h"
#include "core/Color.h"
#include "core/Geometry.h"

#include <filesystem>
#include <map>
#include <memory>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace ombrix {

class AppUndoManager;
class Logging;
class PDFDocument;
class TabManager;
class TabSession;

namespace pdfkit {
class Annotation;
class Page;
struct Font;
} // namespace pdfkit

// Everything of one annotation that an edit can change, as the journal keeps it.
struct JournalAnnotation {
    std::string type; // the PDF subtype, "Highlight", "Square", "Text", ...
    Rect bounds;
    std::vector<Rect> quads;
    std::optional<Color> color; // alpha is the opacity
    std::optional<Color> interiorColor;
    std::optional<Color> fontColor;
    std::optional<std::string> fontFamily;
    std::optional<double> fontSize;
    std::optional<std::string> userName;
    std::optional<double> borderWidth;
    std::optional<std::string> contents;
    std::optional<std::string> result; // the extraction result kept beside the contents
    bool resultFlag = false;
    bool region = false;
    // Its position among the page's annotations in the file, when it came from the file;
    // none for one made since. Lets a restore change the file's own object in place, so
    // what the journal does not describe (ink paths, link actions, appearances) survives.
    std::optional<int> fileIndex;

    static JournalAnnotation of(const pdfkit::Annotation& annotation);
    // Sets on the annotation what differs from this; each setter regenerates its look.
    void applyTo(pdfkit::Annotation& annotation) const;
    // A new, detached annotation with these properties; nullptr when the kit makes none.
    std::shared_ptr<pdfkit::Annotation> make() const;
    bool sameLookAs(const JournalAnnotation& other) const; // everything but fileIndex

    bool operator==(const JournalAnnotation&) const = default;
};

struct JournalPage {
    int index = 0;
    // How many annotations the page had in the file; a restore trusts `fileIndex` only
    // when the file still has as many.
    int fileAnnotationCount = 0;
    std::vector<JournalAnnotation> annotations; // the page's whole list, in page order
    std::vector<std::string> fileTypes;         // the file's subtypes, in page order

    bool operator==(const JournalPage&) const = default;
};

// One document's pending edits: every page they touched, as it now is.
struct JournalEntry {
    std::filesystem::path path;     // the document, absolute
    std::optional<FileStamp> stamp; // the file's version the edits were made on
    long long writerPid = 0;
    double savedAt = 0; // seconds since 1970
    std::vector<JournalPage> pages;

    std::string toJson() const;
    // None for anything that is not a complete journal of ours.
    static std::optional<JournalEntry> fromJson(const std::string& text);
};

// A journal left by an earlier run, as offered at start-up.
struct PendingRecovery {
    std::filesystem::path journalFile;
    JournalEntry entry;
    bool fileChanged = false; // the document is no longer the version the edits were made on
};

// Puts the pages of a journal back as one step: the file's own annotations are changed in
// place or taken off, the ones made since are made again; undo returns every page to the
// file's state. Marks the document dirty both ways; writes nothing. Main thread only.
class RestoreJournalCommand : public UndoableCommand {
public:
    RestoreJournalCommand(std::shared_ptr<PDFDocument> doc, const JournalEntry& entry,
                          std::weak_ptr<TabSession> session);

    void execute() override;
    void undo() override;
    CommandScope scope() const override;

    // Whether the journal asked for any change of the document as it is.
    bool changesAnything() const;

private:
    struct InPlace {
        std::shared_ptr<pdfkit::Annotation> annotation;
        JournalAnnotation before;
        JournalAnnotation after;
    };
    struct PageChange {
        std::shared_ptr<pdfkit::Page> page;
        std::vector<std::shared_ptr<pdfkit::Annotation>> removed;
        std::vector<std::shared_ptr<pdfkit::Annotation>> added;
        std::vector<InPlace> edited;
    };
    void syncTab(const PageChange& change) const;

    std::shared_ptr<PDFDocument> doc_;
    std::weak_ptr<TabSession> session_;
    std::vector<PageChange> pages_;
};

// The journal of unsaved annotation edits, one file per document in a private folder:
// after every step done, undone or redone on a document that differs from its file, the
// complete annotation lists of the pages its pending edits touched are written (small,
// synchronously, atomically), so a kill or crash loses nothing done. Saving, discarding,
// undoing back to the file's state or closing the tab removes it. Main thread only.
class RecoveryJournal {
public:
    // `folder` is created 0700 when missing. A null log writes to the system log.
    RecoveryJournal(std::filesystem::path folder, std::shared_ptr<TabManager> tabs,
                    std::shared_ptr<AppUndoManager> undo,
                    std::shared_ptr<const Logging> log = nullptr);
    ~RecoveryJournal(); // leaves the journals on disk
    RecoveryJournal(const RecoveryJournal&) = delete;
    RecoveryJournal& operator=(const RecoveryJournal&) = delete;

    // The journal folder beside the sidecars of `sidecarFolder`.
    static std::filesystem::path folderIn(const std::filesystem::path& sidecarFolder);
    const std::filesystem::path& folder() const { return folder_; }
    // The file the journal of a document at `path` is written to.
    std::filesystem::path fileFor(const std::filesystem::path& path) const;

    // Journals of earlier runs whose document still exists, oldest first. Unreadable ones
    // are skipped (and left alone), as are those a running instance is still writing.
    std::vector<PendingRecovery> pending() const;
    void discard(const PendingRecovery& recovery) const;
    // Records the restore of the journal onto the tab's document as one undoable step.
    // False (nothing recorded) when the document is not the journal's or nothing differs.
    bool restore(const std::shared_ptr<TabSession>& tab, const JournalEntry& entry);

    // The user chose to lose the document's changes: its journal goes.
    void forget(const PDFDocument& document);
    // Writes every pending document's journal again (they are current after each step;
    // this is for an exit that wants to be sure).
    void flush();

private:
    struct Tracked;
    void track(const std::shared_ptr<TabSession>& tab);
    void tabsChanged();
    void stepRan(const std::shared_ptr<UndoableCommand>& command);
    void documentSaved(Tracked& tracked);
    bool atSavePoint(const Tracked& tracked) const;
    void write(Tracked& tracked);
    void removeFile(Tracked& tracked);
    bool folderUsable() const;
    Tracked* trackedFor(const void* engine);

    std::filesystem::path folder_;
    std::shared_ptr<TabManager> tabs_;
    std::shared_ptr<AppUndoManager> undo_;
    std::shared_ptr<const Logging> log_;
    std::vector<std::unique_ptr<Tracked>> tracked_;
    std::size_t undoCount_ = 0;
    std::size_t redoCount_ = 0;
    std::vector<Cancellable> observations_;
};

} // namespace ombrix

OMBRIX_API_END
