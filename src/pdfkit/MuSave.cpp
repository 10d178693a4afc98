#include "pdfkit/MuSave.h"

#include "core/Error.h"
#include "pdfkit/PageTree.h"
#include "pdfkit/ResourceLimits.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace ombrix::pdfkit::mu {

namespace fs = std::filesystem;

namespace {

constexpr const char* kDomain = "PDFKit";

[[noreturn]] void stopped() {
    throw Error(kDomain, 1,
                "The save was stopped before the written file could be checked; the original "
                "was left untouched.");
}

// Every page's object by index, from one walk of the tree, or (for a tree that does not
// add up) by one lookup per page, which a limit stops.
class PageObjects {
public:
    PageObjects(fz_context* ctx, pdf_document* doc, int count)
        : ctx_(ctx), doc_(doc), walked_(walkPageTree(ctx, doc, count)) {
        if (walked_.empty() && limitReached()) {
            stopped();
        }
    }
    // Borrowed; nullptr when the tree does not lead to the page.
    pdf_obj* at(int index) const {
        if (!walked_.empty()) {
            return index >= 0 && std::size_t(index) < walked_.size() ? walked_[std::size_t(index)]
                                                                     : nullptr;
        }
        if (limitReached()) {
            stopped();
        }
        return pageObject(ctx_, doc_, index);
    }

private:
    fz_context* ctx_;
    pdf_document* doc_;
    std::vector<pdf_obj*> walked_;
};

// One annotation as the check compares it: subtype and rectangle.
struct AnnotSummary {
    std::string subtype;
    fz_rect rect{};
};

std::vector<AnnotSummary> annotSummaries(fz_context* ctx, pdf_obj* page) {
    std::vector<AnnotSummary> list;
    pdf_obj* annots = resolve(ctx, get(ctx, page, PDF_NAME(Annots)));
    for (int i = 0, n = length(ctx, annots); i < n; ++i) {
        pdf_obj* dict = resolve(ctx, item(ctx, annots, i));
        auto edges = numbers(ctx, resolve(ctx, get(ctx, dict, PDF_NAME(Rect))));
        fz_rect r{};
        if (edges.size() >= 4) {
            r = fz_make_rect(float(edges[0]), float(edges[1]), float(edges[2]), float(edges[3]));
        }
        list.push_back(AnnotSummary{name(ctx, get(ctx, dict, PDF_NAME(Subtype))), r});
    }
    return list;
}

bool sameAnnots(const std::vector<AnnotSummary>& a, const std::vector<AnnotSummary>& b) {
    if (a.size() != b.size()) {
        return false;
    }
    auto near = [](float x, float y) {
        return std::abs(x - y) <= 0.01f * std::max(1.0f, std::abs(x));
    };
    for (std::size_t i = 0; i < a.size(); ++i) {
        const fz_rect &r = a[i].rect, &s = b[i].rect;
        if (a[i].subtype != b[i].subtype || !near(r.x0, s.x0) || !near(r.y0, s.y0) ||
            !near(r.x1, s.x1) || !near(r.y1, s.y1)) {
            return false;
        }
    }
    return true;
}

// What the document in memory says the written file must show.
struct Expectation {
    int pageCount = 0;
    int pagesAsOpened = -1;      // as the kit counts them when it opens a file
    std::vector<bool> reachable; // the pages the tree leads to, by index
    bool encrypted = false;
    std::vector<std::pair<int, std::vector<AnnotSummary>>> pages;
};

Expectation expectationOf(fz_context* ctx, pdf_document* doc, const SaveCheck& check) {
    Expectation e;
    int count = 0;
    attempt(ctx, [&] { count = pdf_count_pages(ctx, doc); });
    e.pageCount = std::max(count, 0);
    // Every page is an object of its own: a /Count beyond the objects is no page.
    int objects = 0;
    attempt(ctx, [&] { objects = pdf_xref_len(ctx, doc); });
    const int checked = std::min(e.pageCount, std::max(objects, 0));
    const PageObjects pages(ctx, doc, checked);
    e.reachable.reserve(std::size_t(checked));
    for (int i = 0; i < checked; ++i) {
        e.reachable.push_back(pages.at(i) != nullptr);
    }
    e.pagesAsOpened = check.shownPages >= 0 ? check.shownPages : pageCountAsOpened(ctx, doc);
    e.encrypted = doc->crypt != nullptr;
    for (int page : check.pages) {
        if (page >= 0 && page < e.pageCount) {
            e.pages.emplace_back(page, annotSummaries(ctx, pages.at(page)));
        }
    }
    return e;
}

[[noreturn]] void refuse(const std::string& why) {
    throw Error(kDomain, 1,
                "The saved file did not read back correctly (" + why +
                    "); the original was left untouched.");
}

// Opens the written file as a reader would and compares it with what was meant.
void verifyWritten(fz_context* ctx, const fs::path& written, const Expectation& expected,
                   const std::string& password) {
    const std::string file = written.string();
    const char* name = file.c_str();
    pdf_document* doc = nullptr;
    bool locked = false;
    bool repaired = false;
    Failure failure;
    bool ok = attempt(
        ctx,
        [&] {
            doc = pdf_open_document(ctx, name);
            repaired = doc->repair_attempted;
            if (pdf_needs_password(ctx, doc)) {
                locked = !pdf_authenticate_password(ctx, doc, password.c_str());
            }
        },
        &failure);
    struct Drop {
        fz_context* ctx;
        pdf_document*& doc;
        ~Drop() { pdf_drop_document(ctx, doc); }
    } drop{ctx, doc};
    if (!ok || !doc) {
        refuse("it does not open: " + failure.message);
    }
    if (repaired) {
        refuse("its cross-reference table is broken");
    }
    if (locked) {
        refuse("it cannot be unlocked with the document's password");
    }
    if (expected.encrypted && !doc->crypt) {
        refuse("it lost its encryption");
    }
    int count = 0;
    if (!attempt(
            ctx, [&] { count = pdf_count_pages(ctx, doc); }, &failure)) {
        refuse("it has no page tree: " + failure.message);
    }
    if (count != expected.pageCount) {
        refuse("it has " + std::to_string(count) + " pages instead of " +
               std::to_string(expected.pageCount));
    }
    // A tree whose count lies can read back with pages the document did not show.
    if (const int shown = pageCountAsOpened(ctx, doc); shown != expected.pagesAsOpened) {
        refuse("it opens with " + std::to_string(shown) + " pages instead of " +
               std::to_string(expected.pagesAsOpened));
    }
    // A page tree MuPDF could read only in part stays that way, but never gets worse.
    const PageObjects pages(ctx, doc, int(expected.reachable.size()));
    for (std::size_t i = 0; i < expected.reachable.size(); ++i) {
        if (expected.reachable[i] && !pages.at(int(i))) {
            refuse("page " + std::to_string(i + 1) + " cannot be found");
        }
    }
    for (const auto& [page, annots] : expected.pages) {
        if (!sameAnnots(annotSummaries(ctx, pages.at(page)), annots)) {
            refuse("the annotations of page " + std::to_string(page + 1) + " differ");
        }
    }
}

// The bytes MuPDF opened the document from (still open, whatever became of the path
// since) into the file at `to`.
void copyOpenedBytes(fz_context* ctx, pdf_document* doc, const fs::path& to) {
    int out = ::open(to.c_str(), O_WRONLY | O_CLOEXEC);
    if (out < 0) {
        throw Error(kDomain, errno, "Could not write " + to.string() + ": " + std::strerror(errno));
    }
    bool written = true;
    Failure failure;
    bool ok = attempt(
        ctx,
        [&] {
            unsigned char buffer[64 * 1024];
            fz_seek(ctx, doc->file, 0, SEEK_SET);
            for (;;) {
                const std::size_t n = fz_read(ctx, doc->file, buffer, sizeof buffer);
                if (n == 0) {
                    break;
                }
                for (std::size_t done = 0; done < n && written;) {
                    const ssize_t w = ::write(out, buffer + done, n - done);
                    if (w < 0 && errno == EINTR) {
                        continue;
                    }
                    written = w > 0;
                    done += written ? std::size_t(w) : 0;
                }
                if (!written) {
                    break;
                }
            }
        },
        &failure);
    ::close(out);
    if (!ok || !written) {
        throw Error(kDomain, ok ? errno : failure.code,
                    "Could not copy the document's bytes: " +
                        (ok ? std::string(std::strerror(errno)) : failure.message));
    }
}

// MuPDF's "cannot fwrite: File too large" as the reason alone; its texts name the
// temporary, which means nothing to the user.
std::string writeFailure(const std::string& message) {
    const std::size_t colon = message.rfind(": ");
    return message.starts_with("cannot ") && colon != std::string::npos ? message.substr(colon + 2)
                                                                        : message;
}

void writeWhole(fz_context* ctx, pdf_document* doc, const fs::path& to, bool incremental,
                const fs::path& target) {
    pdf_write_options options = pdf_default_write_options;
    if (incremental) {
        options.do_incremental = 1;
    } else {
        // Unreferenced objects (removed annotations) are left out, but nothing is
        // renumbered: the open document and its annotations stay valid.
        options.do_garbage = 1;
        options.do_compress = 1;
    }
    const std::string file = to.string();
    const char* name = file.c_str();
    Failure failure;
    if (!attempt(
            ctx, [&] { pdf_save_document(ctx, doc, name, &options); }, &failure)) {
        throw Error(kDomain, failure.code,
                    "Could not write " + target.string() + ": " + writeFailure(failure.message));
    }
}

// MuPDF reads the objects it has not loaded yet from the file it opened. When the saved
// content goes into that very file (it has other names, or another owner), the document
// keeps the bytes it was opened from in memory instead.
void detachFromFile(fz_context* ctx, pdf_document* doc) {
    if (!doc->file) {
        return;
    }
    Failure failure;
    fz_buffer* bytes = nullptr;
    fz_stream* copy = nullptr;
    bool ok = attempt(
        ctx,
        [&] {
            fz_seek(ctx, doc->file, 0, SEEK_SET);
            bytes = fz_read_all(ctx, doc->file, 64 * 1024);
            copy = fz_open_buffer(ctx, bytes);
        },
        &failure);
    fz_drop_buffer(ctx, bytes); // the stream holds its own reference
    if (!ok || !copy) {
        throw Error(kDomain, failure.code,
                    "Could not keep the document's bytes while it is saved: " + failure.message);
    }
    fz_drop_stream(ctx, doc->file);
    doc->file = copy;
}

} // namespace

bool saveDocument(fz_context* ctx, pdf_document* doc, const fs::path& target, SaveBase& base,
                  const std::optional<FileStamp>& expected, const SaveCheck& check) {
    const Expectation expectation = expectationOf(ctx, doc, check);
    if (expectation.reachable.empty() || !expectation.reachable.front()) {
        throw Error(kDomain, 2, "The document has no pages left to save.");
    }
    int canAppend = 0;
    attempt(ctx, [&] { canAppend = pdf_can_be_saved_incrementally(ctx, doc); });
    const bool incremental = canAppend && !base.fullOnly && doc->file;
    if (!base.startxref) {
        base.startxref = doc->startxref;
    }

    Replacement replacement;
    replacement.expected = expected;
    replacement.verify = [&](const fs::path& written) {
        verifyWritten(ctx, written, expectation, check.password);
    };
    replacement.beforeWritingInPlace = [&] { detachFromFile(ctx, doc); };
    if (incremental) {
        replacement.fill = [&](const fs::path& temporary) {
            copyOpenedBytes(ctx, doc, temporary);
            // MuPDF moves its idea of the last cross-reference section to the one it
            // wrote; the next section must point back to the opened file's again.
            doc->startxref = *base.startxref;
            struct Restore {
                pdf_document* doc;
                std::int64_t startxref;
                ~Restore() { doc->startxref = startxref; }
            } restore{doc, *base.startxref};
            writeWhole(ctx, doc, temporary, true, target);
        };
        try {
            replaceFile(target, replacement);
            noteWriteWithinLimits();
            return true;
        } catch (const Error& e) {
            if (e.domain() == "AtomicFile" && e.code() == kChangedOnDisk) {
                throw Error(kDomain, kChangedOnDisk, e.description());
            }
            base.fullOnly = true;
        }
    }
    replacement.fill = [&](const fs::path& temporary) {
        writeWhole(ctx, doc, temporary, false, target);
    };
    try {
        replaceFile(target, replacement);
    } catch (const Error& e) {
        throw Error(kDomain, e.code(), e.description());
    }
    noteWriteWithinLimits();
    return false;
}

} // namespace ombrix::pdfkit::mu
