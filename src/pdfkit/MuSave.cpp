#include "pdfkit/MuSave.h"

#include "core/Error.h"

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

bool hasPage(fz_context* ctx, pdf_document* doc, int index) {
    return attempt(ctx, [&] { pdf_lookup_page_obj(ctx, doc, index); });
}

// One annotation as the check compares it: subtype and rectangle.
struct AnnotSummary {
    std::string subtype;
    fz_rect rect{};
};

std::vector<AnnotSummary> annotSummaries(fz_context* ctx, pdf_document* doc, int pageIndex) {
    std::vector<AnnotSummary> list;
    pdf_obj* page = nullptr;
    attempt(ctx, [&] { page = pdf_lookup_page_obj(ctx, doc, pageIndex); });
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
    bool firstPage = false; // the tree leads to the first and the last page
    bool lastPage = false;
    bool encrypted = false;
    std::vector<std::pair<int, std::vector<AnnotSummary>>> pages;
};

Expectation expectationOf(fz_context* ctx, pdf_document* doc, const SaveCheck& check) {
    Expectation e;
    int count = 0;
    attempt(ctx, [&] { count = pdf_count_pages(ctx, doc); });
    e.pageCount = std::max(count, 0);
    e.firstPage = e.pageCount > 0 && hasPage(ctx, doc, 0);
    e.lastPage = e.pageCount > 0 && hasPage(ctx, doc, e.pageCount - 1);
    e.encrypted = doc->crypt != nullptr;
    for (int page : check.pages) {
        if (page >= 0 && page < e.pageCount) {
            e.pages.emplace_back(page, annotSummaries(ctx, doc, page));
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
    // A page tree MuPDF already read only in part stays that way, but never gets worse.
    if (count != expected.pageCount || (expected.firstPage && !hasPage(ctx, doc, 0)) ||
        (expected.lastPage && !hasPage(ctx, doc, count - 1))) {
        refuse("it has " + std::to_string(count) + " pages instead of " +
               std::to_string(expected.pageCount));
    }
    for (const auto& [page, annots] : expected.pages) {
        if (!sameAnnots(annotSummaries(ctx, doc, page), annots)) {
            refuse("the annotations of page " + std::to_string(page + 1) + " differ");
        }
    }
}

void copyInto(const fs::path& from, const fs::path& to) {
    int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    int out = ::open(to.c_str(), O_WRONLY | O_CLOEXEC);
    struct Close {
        int a, b;
        ~Close() {
            if (a >= 0) {
                ::close(a);
            }
            if (b >= 0) {
                ::close(b);
            }
        }
    } closer{in, out};
    if (in < 0 || out < 0) {
        throw Error(kDomain, errno,
                    "Could not copy " + from.string() + ": " + std::strerror(errno));
    }
    char buffer[64 * 1024];
    for (;;) {
        ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            throw Error(kDomain, errno,
                        "Could not read " + from.string() + ": " + std::strerror(errno));
        }
        if (n == 0) {
            return;
        }
        for (ssize_t done = 0; done < n;) {
            ssize_t w = ::write(out, buffer + done, std::size_t(n - done));
            if (w < 0 && errno == EINTR) {
                continue;
            }
            if (w <= 0) {
                throw Error(kDomain, errno,
                            "Could not write " + to.string() + ": " + std::strerror(errno));
            }
            done += w;
        }
    }
}

void writeWhole(fz_context* ctx, pdf_document* doc, const fs::path& to, bool incremental) {
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
        throw Error(kDomain, failure.code, failure.message);
    }
}

} // namespace

bool saveDocument(fz_context* ctx, pdf_document* doc, const fs::path& target, SaveBase& base,
                  const std::optional<FileStamp>& expected, const SaveCheck& check) {
    const Expectation expectation = expectationOf(ctx, doc, check);
    if (expectation.pageCount < 1 || !expectation.firstPage) {
        throw Error(kDomain, 2, "The document has no pages left to save.");
    }
    int canAppend = 0;
    attempt(ctx, [&] { canAppend = pdf_can_be_saved_incrementally(ctx, doc); });
    // Appending needs the very bytes MuPDF read; a base that changed since is no base.
    const bool incremental = canAppend && !base.fullOnly && !base.path.empty() && base.stamp &&
                             fileStamp(base.path) == base.stamp;

    Replacement replacement;
    replacement.expected = expected;
    replacement.verify = [&](const fs::path& written) {
        verifyWritten(ctx, written, expectation, check.password);
    };
    if (incremental) {
        replacement.fill = [&](const fs::path& temporary) {
            copyInto(base.path, temporary);
            writeWhole(ctx, doc, temporary, true);
        };
        try {
            replaceFile(target, replacement);
            base.path = realTarget(target);
            base.stamp = fileStamp(base.path);
            return true;
        } catch (const Error& e) {
            if (e.domain() == "AtomicFile" && e.code() == kChangedOnDisk) {
                throw Error(kDomain, kChangedOnDisk, e.description());
            }
            // MuPDF now takes the discarded file for its base: from here on only a whole
            // rewrite, which reads nothing of that file, is safe.
            base.fullOnly = true;
        }
    }
    replacement.fill = [&](const fs::path& temporary) { writeWhole(ctx, doc, temporary, false); };
    try {
        replaceFile(target, replacement);
    } catch (const Error& e) {
        throw Error(kDomain, e.code(), e.description());
    }
    return false;
}

} // namespace ombrix::pdfkit::mu
