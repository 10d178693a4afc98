#include "tabs/RecoveryJournal.h"

#include "annotations/AnnotationCommands.h"
#include "annotations/AnnotationService.h"
#include "annotations/AppUndoManager.h"
#include "annotations/CompositeCommand.h"
#include "annotations/HighlightNote.h"
#include "annotations/PageMarkupCommand.h"
#include "core/Error.h"
#include "core/Logging.h"
#include "document/PDFDocument.h"
#include "document/PDFKitBridge.h"
#include "pdfkit/Annotation.h"
#include "pdfkit/Document.h"
#include "pdfkit/Page.h"
#include "tabs/TabManager.h"
#include "tabs/TabSession.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <limits>
#include <nlohmann/json.hpp>
#include <openssl/evp.h>
#include <signal.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace ombrix {

using nlohmann::json;
namespace fs = std::filesystem;

namespace {

constexpr const char* kFormat = "ombrix-recovery";
constexpr int kVersion = 1;
// A journal is a few pages of annotations; anything far larger is not one of ours.
constexpr std::uintmax_t kMaxJournalBytes = 64u << 20;

// ---- JSON of the pieces ----

json rectJson(const Rect& r) {
    return json::array({r.x, r.y, r.width, r.height});
}

Rect rectFrom(const json& j) {
    if (!j.is_array() || j.size() != 4) {
        throw std::runtime_error("rect");
    }
    Rect r{j[0].get<double>(), j[1].get<double>(), j[2].get<double>(), j[3].get<double>()};
    if (!r.isFinite()) {
        throw std::runtime_error("rect");
    }
    return r;
}

json colourJson(const std::optional<Color>& c) {
    if (!c) {
        return nullptr;
    }
    return json::array({c->red, c->green, c->blue, c->alpha});
}

std::optional<Color> colourFrom(const json& j) {
    if (j.is_null()) {
        return std::nullopt;
    }
    if (!j.is_array() || j.size() != 4) {
        throw std::runtime_error("colour");
    }
    Color c{j[0].get<double>(), j[1].get<double>(), j[2].get<double>(), j[3].get<double>()};
    for (double v : {c.red, c.green, c.blue, c.alpha}) {
        if (!(v >= 0 && v <= 1)) {
            throw std::runtime_error("colour");
        }
    }
    return c;
}

template <class T> json optionalJson(const std::optional<T>& v) {
    return v ? json(*v) : json(nullptr);
}

// A count or position: an integer that fits an int and is not negative.
int indexFrom(const json& j) {
    const auto value = j.get<std::int64_t>();
    if (!j.is_number_integer() || value < 0 || value > std::numeric_limits<int>::max()) {
        throw std::runtime_error("index");
    }
    return static_cast<int>(value);
}

template <class T> std::optional<T> optionalFrom(const json& object, const char* key) {
    auto it = object.find(key);
    if (it == object.end() || it->is_null()) {
        return std::nullopt;
    }
    return it->get<T>();
}

json annotationJson(const JournalAnnotation& a) {
    json quads = json::array();
    for (const auto& q : a.quads) {
        quads.push_back(rectJson(q));
    }
    return json{{"type", a.type},
                {"bounds", rectJson(a.bounds)},
                {"quads", std::move(quads)},
                {"color", colourJson(a.color)},
                {"interiorColor", colourJson(a.interiorColor)},
                {"fontColor", colourJson(a.fontColor)},
                {"fontFamily", optionalJson(a.fontFamily)},
                {"fontSize", optionalJson(a.fontSize)},
                {"userName", optionalJson(a.userName)},
                {"borderWidth", optionalJson(a.borderWidth)},
                {"contents", optionalJson(a.contents)},
                {"result", optionalJson(a.result)},
                {"resultFlag", a.resultFlag},
                {"region", a.region},
                {"fileIndex", optionalJson(a.fileIndex)}};
}

JournalAnnotation annotationFrom(const json& j) {
    if (!j.is_object()) {
        throw std::runtime_error("annotation");
    }
    JournalAnnotation a;
    a.type = j.at("type").get<std::string>();
    if (a.type.empty()) {
        throw std::runtime_error("type");
    }
    a.bounds = rectFrom(j.at("bounds"));
    for (const auto& q : j.at("quads")) {
        a.quads.push_back(rectFrom(q));
    }
    a.color = colourFrom(j.at("color"));
    a.interiorColor = colourFrom(j.at("interiorColor"));
    a.fontColor = colourFrom(j.at("fontColor"));
    a.fontFamily = optionalFrom<std::string>(j, "fontFamily");
    a.fontSize = optionalFrom<double>(j, "fontSize");
    a.userName = optionalFrom<std::string>(j, "userName");
    a.borderWidth = optionalFrom<double>(j, "borderWidth");
    a.contents = optionalFrom<std::string>(j, "contents");
    a.result = optionalFrom<std::string>(j, "result");
    a.resultFlag = j.at("resultFlag").get<bool>();
    a.region = j.at("region").get<bool>();
    if (auto it = j.find("fileIndex"); it != j.end() && !it->is_null()) {
        a.fileIndex = indexFrom(*it);
    }
    return a;
}

std::string hexDigest(const std::string& text) {
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    unsigned int length = 0;
    if (EVP_Digest(text.data(), text.size(), digest.data(), &length, EVP_sha256(), nullptr) != 1) {
        throw Error("RecoveryJournal", 1, "Could not name the journal of " + text);
    }
    static const char* hex = "0123456789abcdef";
    std::string out;
    for (unsigned int i = 0; i < length; ++i) {
        out += hex[digest[i] >> 4];
        out += hex[digest[i] & 15];
    }
    return out;
}

// Whether another process of this same program is running under that id, and so may
// still be writing the journal (a second window opened with --new-instance).
bool writtenByLiveInstance(long long pid) {
    if (pid <= 0 || pid == static_cast<long long>(::getpid())) {
        return false;
    }
    if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno != EPERM) {
        return false;
    }
    std::error_code ec;
    const auto theirs = fs::read_symlink("/proc/" + std::to_string(pid) + "/exe", ec);
    if (ec) {
        return false;
    }
    const auto ours = fs::read_symlink("/proc/self/exe", ec);
    return !ec && theirs == ours;
}

// Everything an undoable step says it touched, as (engine document, page) pairs.
void touchedBy(const UndoableCommand& command,
               std::vector<std::pair<const pdfkit::Document*, int>>& out) {
    if (auto* composite = dynamic_cast<const CompositeCommand*>(&command)) {
        for (const auto& part : composite->parts()) {
            if (part) {
                touchedBy(*part, out);
            }
        }
        return;
    }
    if (auto* update = dynamic_cast<const UpdateAnnotationCommand*>(&command)) {
        if (const auto& page = update->page()) {
            out.emplace_back(page->document().get(), page->index());
        }
        return;
    }
    const CommandScope scope = command.scope();
    if (!scope.document) {
        return;
    }
    const auto engine = PDFKitBridge::engineDocument(*scope.document);
    for (int page : scope.pages) {
        out.emplace_back(engine.get(), page);
    }
}

bool touchesEngine(const UndoableCommand& command, const pdfkit::Document* engine) {
    std::vector<std::pair<const pdfkit::Document*, int>> touched;
    touchedBy(command, touched);
    return std::any_of(touched.begin(), touched.end(),
                       [&](const auto& t) { return t.first == engine; });
}

double secondsNow() {
    using namespace std::chrono;
    return duration<double>(system_clock::now().time_since_epoch()).count();
}

} // namespace

// ---- JournalAnnotation ----

JournalAnnotation JournalAnnotation::of(const pdfkit::Annotation& annotation) {
    JournalAnnotation a;
    a.type = annotation.type();
    a.bounds = annotation.bounds();
    a.quads = annotation.quadRects();
    a.color = annotation.color();
    a.interiorColor = annotation.interiorColor();
    a.fontColor = annotation.fontColor();
    if (auto font = annotation.font()) {
        a.fontFamily = font->family;
        a.fontSize = font->size;
    }
    a.userName = annotation.userName();
    if (auto border = annotation.border()) {
        a.borderWidth = border->lineWidth;
    }
    a.contents = annotation.contents();
    a.result = annotation.privateText(note::kResultKey);
    a.resultFlag = !a.result && annotation.privateFlag(note::kResultKey);
    a.region = annotation.isRegion();
    return a;
}

bool JournalAnnotation::sameLookAs(const JournalAnnotation& other) const {
    JournalAnnotation a = *this;
    a.fileIndex = other.fileIndex;
    return a == other;
}

void JournalAnnotation::applyTo(pdfkit::Annotation& annotation) const {
    const JournalAnnotation now = of(annotation);
    // The kit cannot take a colour away; "none" leaves what is there.
    if (color && color != now.color) {
        annotation.setColor(*color);
    }
    if (interiorColor != now.interiorColor) {
        annotation.setInteriorColor(interiorColor);
    }
    if (fontColor && fontColor != now.fontColor) {
        annotation.setFontColor(*fontColor);
    }
    if (fontFamily && fontSize && (fontFamily != now.fontFamily || fontSize != now.fontSize)) {
        annotation.setFont(pdfkit::Font{*fontFamily, *fontSize});
    }
    if (userName && userName != now.userName) {
        annotation.setUserName(*userName);
    }
    if (borderWidth && borderWidth != now.borderWidth) {
        annotation.setBorder(pdfkit::Border{*borderWidth});
    }
    if (contents != now.contents) {
        annotation.setContents(contents.value_or(""));
    }
    // The flag and the text share their key: whichever is kept is written last.
    auto flag = [&] {
        if (resultFlag != now.resultFlag) {
            annotation.setPrivateFlag(note::kResultKey, resultFlag);
        }
    };
    auto text = [&] {
        if (result != now.result) {
            annotation.setPrivateText(note::kResultKey, result);
        }
    };
    if (result) {
        flag();
        text();
    } else {
        text();
        flag();
    }
    if (region != now.region) {
        annotation.setRegion(region);
    }
    // Last: a new look may have refitted the rectangle (a note's icon does).
    if (bounds != annotation.bounds()) {
        annotation.setBounds(bounds);
    }
    if (!quads.empty() && quads != annotation.quadRects()) {
        annotation.setQuadRects(quads);
    }
}

std::shared_ptr<pdfkit::Annotation> JournalAnnotation::make() const {
    auto annotation = pdfkit::Annotation::create(bounds, type);
    if (!annotation) {
        return nullptr;
    }
    JournalAnnotation fresh = of(*annotation);
    // A detached annotation keeps what it is given and applies it when a page adopts it.
    fresh.fileIndex = fileIndex;
    if (!fresh.sameLookAs(*this)) {
        applyTo(*annotation);
    }
    return annotation;
}

// ---- JournalEntry ----

std::string JournalEntry::toJson() const {
    json pagesJson = json::array();
    for (const auto& page : pages) {
        json annotations = json::array();
        for (const auto& a : page.annotations) {
            annotations.push_back(annotationJson(a));
        }
        pagesJson.push_back(json{{"index", page.index},
                                 {"fileAnnotationCount", page.fileAnnotationCount},
                                 {"fileTypes", page.fileTypes},
                                 {"annotations", std::move(annotations)}});
    }
    json stampJson = nullptr;
    if (stamp) {
        stampJson = json{{"device", stamp->device},
                         {"inode", stamp->inode},
                         {"size", stamp->size},
                         {"modifiedNs", stamp->modifiedNs}};
    }
    json out{{"format", kFormat},  {"version", kVersion},    {"path", path.string()},
             {"stamp", stampJson}, {"writerPid", writerPid}, {"savedAt", savedAt},
             {"pages", pagesJson}};
    // Invalid UTF-8 in a comment must not make the journal unwritable.
    return out.dump(-1, ' ', false, json::error_handler_t::replace);
}

std::optional<JournalEntry> JournalEntry::fromJson(const std::string& text) {
    try {
        const json j = json::parse(text);
        if (!j.is_object() || j.value("format", "") != kFormat ||
            j.at("version").get<int>() != kVersion) {
            return std::nullopt;
        }
        JournalEntry entry;
        entry.path = j.at("path").get<std::string>();
        if (!entry.path.is_absolute()) {
            return std::nullopt;
        }
        if (const auto& s = j.at("stamp"); !s.is_null()) {
            entry.stamp =
                FileStamp{s.at("device").get<std::uint64_t>(), s.at("inode").get<std::uint64_t>(),
                          s.at("size").get<std::int64_t>(), s.at("modifiedNs").get<std::int64_t>()};
        }
        entry.writerPid = j.at("writerPid").get<long long>();
        entry.savedAt = j.at("savedAt").get<double>();
        for (const auto& p : j.at("pages")) {
            JournalPage page;
            page.index = indexFrom(p.at("index"));
            page.fileAnnotationCount = indexFrom(p.at("fileAnnotationCount"));
            page.fileTypes = p.at("fileTypes").get<std::vector<std::string>>();
            if (page.fileTypes.size() != static_cast<std::size_t>(page.fileAnnotationCount)) {
                return std::nullopt;
            }
            for (const auto& a : p.at("annotations")) {
                page.annotations.push_back(annotationFrom(a));
            }
            entry.pages.push_back(std::move(page));
        }
        return entry;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

// ---- RestoreJournalCommand ----

RestoreJournalCommand::RestoreJournalCommand(std::shared_ptr<PDFDocument> doc,
                                             const JournalEntry& entry,
                                             std::weak_ptr<TabSession> session)
    : doc_(std::move(doc)), session_(std::move(session)) {
    auto engine = doc_ ? PDFKitBridge::engineDocument(*doc_) : nullptr;
    if (!engine) {
        return;
    }
    for (const auto& journaled : entry.pages) {
        auto page = engine->page(journaled.index);
        if (!page) {
            continue;
        }
        const auto now = page->annotations();
        // The file's positions hold only while the page has the annotations it had then.
        bool positionsHold = now.size() == static_cast<std::size_t>(journaled.fileAnnotationCount);
        for (std::size_t i = 0; positionsHold && i < now.size(); ++i) {
            positionsHold = now[i]->type() == journaled.fileTypes[i];
        }
        PageChange change;
        change.page = page;
        std::vector<bool> kept(now.size(), false);
        for (const auto& wanted : journaled.annotations) {
            std::shared_ptr<pdfkit::Annotation> target;
            if (positionsHold && wanted.fileIndex &&
                static_cast<std::size_t>(*wanted.fileIndex) < now.size() &&
                !kept[static_cast<std::size_t>(*wanted.fileIndex)]) {
                target = now[static_cast<std::size_t>(*wanted.fileIndex)];
                kept[static_cast<std::size_t>(*wanted.fileIndex)] = true;
            } else if (!positionsHold) {
                // The file changed: an annotation that looks exactly the same is kept.
                for (std::size_t i = 0; i < now.size() && !target; ++i) {
                    if (!kept[i] && JournalAnnotation::of(*now[i]).sameLookAs(wanted)) {
                        target = now[i];
                        kept[i] = true;
                    }
                }
            }
            if (target) {
                JournalAnnotation before = JournalAnnotation::of(*target);
                if (!before.sameLookAs(wanted)) {
                    change.edited.push_back({target, before, wanted});
                }
            } else if (auto made = wanted.make()) {
                change.added.push_back(std::move(made));
            }
        }
        for (std::size_t i = 0; i < now.size(); ++i) {
            if (!kept[i]) {
                change.removed.push_back(now[i]);
            }
        }
        if (!change.removed.empty() || !change.added.empty() || !change.edited.empty()) {
            pages_.push_back(std::move(change));
        }
    }
}

bool RestoreJournalCommand::changesAnything() const {
    return !pages_.empty();
}

void RestoreJournalCommand::execute() {
    for (const auto& change : pages_) {
        for (const auto& edit : change.edited) {
            edit.after.applyTo(*edit.annotation);
        }
        for (const auto& annotation : change.removed) {
            if (isOnPage(*change.page, annotation)) {
                change.page->removeAnnotation(annotation);
            }
        }
        for (const auto& annotation : change.added) {
            if (!isOnPage(*change.page, annotation)) {
                change.page->addAnnotation(annotation);
            }
        }
        syncTab(change);
    }
    if (doc_) {
        doc_->markDirty();
    }
}

void RestoreJournalCommand::undo() {
    for (auto it = pages_.rbegin(); it != pages_.rend(); ++it) {
        const auto& change = *it;
        for (const auto& annotation : change.added) {
            if (isOnPage(*change.page, annotation)) {
                change.page->removeAnnotation(annotation);
            }
        }
        for (const auto& annotation : change.removed) {
            if (!isOnPage(*change.page, annotation)) {
                change.page->addAnnotation(annotation);
            }
        }
        for (const auto& edit : change.edited) {
            edit.before.applyTo(*edit.annotation);
        }
        syncTab(change);
    }
    if (doc_) {
        doc_->markDirty();
    }
}

CommandScope RestoreJournalCommand::scope() const {
    CommandScope scope{doc_, {}};
    for (const auto& change : pages_) {
        scope.pages.push_back(change.page->index());
    }
    return scope;
}

void RestoreJournalCommand::syncTab(const PageChange& change) const {
    auto tab = session_.lock();
    if (!tab) {
        return;
    }
    const int index = change.page->index();
    const auto onPage = change.page->annotations();
    tab->annotations.mutate([&](std::vector<AnnotationRecord>& list) {
        std::erase_if(list, [&](const AnnotationRecord& r) {
            return r.pageIndex == index && !isOnPage(*change.page, r.pdfAnnotationRef);
        });
        for (const auto& annotation : onPage) {
            auto fresh = AnnotationService::recordOf(annotation, index);
            auto it = std::find_if(list.begin(), list.end(), [&](const AnnotationRecord& r) {
                return r.pdfAnnotationRef == annotation;
            });
            if (it != list.end()) {
                fresh.id = it->id; // the same annotation keeps its identity
                *it = std::move(fresh);
            } else {
                list.push_back(std::move(fresh));
            }
        }
    });
}

// ---- RecoveryJournal ----

struct RecoveryJournal::Tracked {
    std::weak_ptr<PDFDocument> document;
    const pdfkit::Document* engine = nullptr;
    fs::path path;
    std::optional<FileStamp> stamp;
    // The file's annotations of each page, in page order, as they were when it was read.
    std::map<int, std::vector<std::weak_ptr<pdfkit::Annotation>>> originals;
    std::map<int, std::vector<std::string>> originalTypes;
    std::set<int> touched; // pages edited since the file was read or saved
    // The document's steps on the undo stack when it matched its file.
    std::vector<std::weak_ptr<UndoableCommand>> savePoint;
    bool ownsFile = false; // this run wrote the journal now on disk
    Cancellable dirtyWatch;
};

RecoveryJournal::RecoveryJournal(fs::path folder, std::shared_ptr<TabManager> tabs,
                                 std::shared_ptr<AppUndoManager> undo,
                                 std::shared_ptr<const Logging> log)
    : folder_(std::move(folder)), tabs_(std::move(tabs)), undo_(std::move(undo)),
      log_(log ? std::move(log)
               : std::make_shared<Logging>(Logging::kSubsystem, Logging::kCategory)) {
    std::error_code ec;
    fs::create_directories(folder_, ec);
    if (folderUsable()) {
        ::chmod(folder_.c_str(), 0700);
    }
    if (undo_) {
        undoCount_ = undo_->undoStack().size();
        redoCount_ = undo_->redoStack().size();
        // A stack that grows has just had a step run onto it (undo stack: done or redone;
        // redo stack: undone).
        observations_.push_back(undo_->undoStack.observe([this](const AppUndoManager::Stack& s) {
            const bool grew = s.size() > undoCount_;
            undoCount_ = s.size();
            if (grew) {
                stepRan(s.back());
            }
        }));
        observations_.push_back(undo_->redoStack.observe([this](const AppUndoManager::Stack& s) {
            const bool grew = s.size() > redoCount_;
            redoCount_ = s.size();
            if (grew) {
                stepRan(s.back());
            }
        }));
    }
    if (tabs_) {
        observations_.push_back(tabs_->tabs.observe([this](const auto&) { tabsChanged(); }));
        tabsChanged();
    }
}

RecoveryJournal::~RecoveryJournal() {
    observations_.clear();
}

fs::path RecoveryJournal::folderIn(const fs::path& sidecarFolder) {
    return sidecarFolder / "Recovery";
}

fs::path RecoveryJournal::fileFor(const fs::path& path) const {
    return folder_ / (hexDigest(path.lexically_normal().string()).substr(0, 32) + ".json");
}

bool RecoveryJournal::folderUsable() const {
    // Our own folder, never one a link points elsewhere with.
    std::error_code ec;
    return fs::symlink_status(folder_, ec).type() == fs::file_type::directory;
}

void RecoveryJournal::track(const std::shared_ptr<TabSession>& tab) {
    auto engine = PDFKitBridge::engineDocument(*tab->document);
    if (!engine) {
        return;
    }
    auto tracked = std::make_unique<Tracked>();
    tracked->document = tab->document;
    tracked->engine = engine.get();
    tracked->path = fs::absolute(tab->document->url).lexically_normal();
    tracked->stamp = fileStamp(tracked->path);
    // The tab was filled from the file, page by page in each page's order.
    for (const auto& record : tab->annotations.get()) {
        if (record.pdfAnnotationRef) {
            tracked->originals[record.pageIndex].push_back(record.pdfAnnotationRef);
            tracked->originalTypes[record.pageIndex].push_back(record.pdfAnnotationRef->type());
        }
    }
    if (undo_) {
        for (const auto& command : undo_->undoStack()) {
            if (command && touchesEngine(*command, engine.get())) {
                tracked->savePoint.push_back(command);
            }
        }
    }
    Tracked* raw = tracked.get();
    tracked->dirtyWatch = tab->document->dirtyChanged.connect([this, raw](bool dirty) {
        if (!dirty) {
            documentSaved(*raw);
        }
    });
    tracked_.push_back(std::move(tracked));
}

void RecoveryJournal::tabsChanged() {
    const auto& tabs = tabs_->tabs();
    for (const auto& tab : tabs) {
        const bool known = std::any_of(tracked_.begin(), tracked_.end(), [&](const auto& t) {
            return t->document.lock() == tab->document;
        });
        if (!known) {
            track(tab);
        }
    }
    // A document no tab holds any more was saved, discarded or closed unchanged.
    std::erase_if(tracked_, [&](const std::unique_ptr<Tracked>& t) {
        auto document = t->document.lock();
        const bool open = document && std::any_of(tabs.begin(), tabs.end(), [&](const auto& tab) {
                              return tab->document == document;
                          });
        if (!open) {
            removeFile(*t);
        }
        return !open;
    });
}

RecoveryJournal::Tracked* RecoveryJournal::trackedFor(const void* engine) {
    for (const auto& t : tracked_) {
        if (t->engine == engine && !t->document.expired()) {
            return t.get();
        }
    }
    return nullptr;
}

void RecoveryJournal::stepRan(const std::shared_ptr<UndoableCommand>& command) {
    if (!command) {
        return;
    }
    std::vector<std::pair<const pdfkit::Document*, int>> touched;
    touchedBy(*command, touched);
    std::vector<Tracked*> affected;
    for (const auto& [engine, page] : touched) {
        if (Tracked* t = trackedFor(engine)) {
            t->touched.insert(page);
            if (std::find(affected.begin(), affected.end(), t) == affected.end()) {
                affected.push_back(t);
            }
        }
    }
    for (Tracked* t : affected) {
        if (atSavePoint(*t)) {
            removeFile(*t);
        } else {
            write(*t);
        }
    }
}

bool RecoveryJournal::atSavePoint(const Tracked& tracked) const {
    std::vector<std::shared_ptr<UndoableCommand>> now;
    for (const auto& command : undo_->undoStack()) {
        if (command && touchesEngine(*command, tracked.engine)) {
            now.push_back(command);
        }
    }
    if (now.size() != tracked.savePoint.size()) {
        return false;
    }
    for (std::size_t i = 0; i < now.size(); ++i) {
        if (tracked.savePoint[i].lock() != now[i]) {
            return false;
        }
    }
    return true;
}

void RecoveryJournal::documentSaved(Tracked& tracked) {
    auto document = tracked.document.lock();
    auto engine = document ? PDFKitBridge::engineDocument(*document) : nullptr;
    const auto stamp = fileStamp(tracked.path);
    // Written to its own file: the touched pages' annotations are now the file's. (A copy
    // written elsewhere leaves the file as it was, and the edits relative to it.)
    if (engine && stamp != tracked.stamp) {
        for (int index : tracked.touched) {
            auto& originals = tracked.originals[index];
            auto& types = tracked.originalTypes[index];
            originals.clear();
            types.clear();
            if (auto page = engine->page(index)) {
                for (const auto& a : page->annotations()) {
                    originals.push_back(a);
                    types.push_back(a->type());
                }
            }
        }
        tracked.touched.clear();
        tracked.stamp = stamp;
    }
    tracked.savePoint.clear();
    if (undo_) {
        for (const auto& command : undo_->undoStack()) {
            if (command && touchesEngine(*command, tracked.engine)) {
                tracked.savePoint.push_back(command);
            }
        }
    }
    removeFile(tracked);
}

void RecoveryJournal::write(Tracked& tracked) {
    auto document = tracked.document.lock();
    auto engine = document ? PDFKitBridge::engineDocument(*document) : nullptr;
    if (!engine) {
        return;
    }
    JournalEntry entry;
    entry.path = tracked.path;
    entry.stamp = tracked.stamp;
    entry.writerPid = ::getpid();
    entry.savedAt = secondsNow();
    for (int index : tracked.touched) {
        auto page = engine->page(index);
        if (!page) {
            continue;
        }
        JournalPage journaled;
        journaled.index = index;
        const auto& originals = tracked.originals[index];
        journaled.fileAnnotationCount = static_cast<int>(originals.size());
        journaled.fileTypes = tracked.originalTypes[index];
        for (const auto& annotation : page->annotations()) {
            JournalAnnotation a = JournalAnnotation::of(*annotation);
            for (std::size_t i = 0; i < originals.size(); ++i) {
                if (originals[i].lock() == annotation) {
                    a.fileIndex = static_cast<int>(i);
                    break;
                }
            }
            journaled.annotations.push_back(std::move(a));
        }
        entry.pages.push_back(std::move(journaled));
    }
    if (!folderUsable()) {
        std::error_code ec;
        fs::create_directories(folder_, ec);
        if (!folderUsable()) {
            log_->error("Cannot keep unsaved changes of " + tracked.path.string() + ": " +
                        folder_.string() + " is not a folder of ours");
            return;
        }
        ::chmod(folder_.c_str(), 0700);
    }
    try {
        writeFileAtomically(fileFor(tracked.path), entry.toJson());
        tracked.ownsFile = true;
    } catch (const std::exception& e) {
        log_->error("Cannot keep unsaved changes of " + tracked.path.string(), e);
    }
}

void RecoveryJournal::removeFile(Tracked& tracked) {
    if (!tracked.ownsFile) {
        return;
    }
    std::error_code ec;
    fs::remove(fileFor(tracked.path), ec);
    tracked.ownsFile = false;
}

void RecoveryJournal::forget(const PDFDocument& document) {
    for (const auto& t : tracked_) {
        if (t->document.lock().get() == &document) {
            removeFile(*t);
        }
    }
}

void RecoveryJournal::flush() {
    for (const auto& t : tracked_) {
        if (t->ownsFile && !t->document.expired()) {
            write(*t);
        }
    }
}

std::vector<PendingRecovery> RecoveryJournal::pending() const {
    std::vector<PendingRecovery> found;
    std::error_code ec;
    if (!folderUsable()) {
        return found;
    }
    for (fs::directory_iterator it(folder_, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path file = it->path();
        if (file.extension() != ".json" ||
            fs::symlink_status(file, ec).type() != fs::file_type::regular ||
            fs::file_size(file, ec) > kMaxJournalBytes) {
            continue;
        }
        auto text = readFile(file);
        auto entry = text ? JournalEntry::fromJson(*text) : std::nullopt;
        if (!entry) {
            log_->info("Skipping an unreadable recovery journal: " + file.string());
            continue;
        }
        // Only the journal this folder would hold for that document (no stray copies).
        if (file.filename() != fileFor(entry->path).filename() ||
            writtenByLiveInstance(entry->writerPid) || !fileStamp(entry->path)) {
            continue;
        }
        PendingRecovery recovery{file, std::move(*entry), false};
        recovery.fileChanged = fileStamp(recovery.entry.path) != recovery.entry.stamp;
        found.push_back(std::move(recovery));
    }
    std::sort(found.begin(), found.end(),
              [](const auto& a, const auto& b) { return a.entry.savedAt < b.entry.savedAt; });
    return found;
}

void RecoveryJournal::discard(const PendingRecovery& recovery) const {
    std::error_code ec;
    fs::remove(recovery.journalFile, ec);
    for (const auto& t : tracked_) {
        if (t->path == recovery.entry.path) {
            t->ownsFile = false;
        }
    }
}

bool RecoveryJournal::restore(const std::shared_ptr<TabSession>& tab, const JournalEntry& entry) {
    if (!tab || !undo_ ||
        fs::absolute(tab->document->url).lexically_normal() != entry.path.lexically_normal()) {
        return false;
    }
    auto command = std::make_shared<RestoreJournalCommand>(tab->document, entry, tab);
    if (!command->changesAnything()) {
        return false;
    }
    // Recorded like any edit: the journal is written again at once, by this run.
    undo_->record(command);
    return true;
}

} // namespace ombrix
