#include "pdfkit/MuContext.h"

#include "pdfkit/ResourceLimits.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <mutex>
#include <new>

namespace ombrix::pdfkit::mu {

namespace {

std::mutex gLocks[FZ_LOCK_MAX];

void lockOne(void*, int lock) {
    gLocks[lock].lock();
}
void unlockOne(void*, int lock) {
    gLocks[lock].unlock();
}

// MuPDF reports every repaired xref and odd object through these; a reader of damaged
// files would fill stderr with them. Callers see failures through attempt() instead.
void dropMessage(void*, const char*) {}

void quieten(fz_context* ctx) {
    fz_set_warning_callback(ctx, dropMessage, nullptr);
    fz_set_error_callback(ctx, dropMessage, nullptr);
}

// Every block MuPDF allocates carries its size in front, so that what is in use can be
// counted and capped, all threads together. A hostile file (a decompression bomb, a
// page of a billion glyphs) then fails its operation instead of taking the machine.
constexpr std::size_t kHeader = alignof(std::max_align_t);
std::atomic<std::size_t> gInUse{0};
std::atomic<std::size_t> gLimit{0};
std::atomic<bool> gLimitReached{false};
// Past the deadline (steady clock, nanoseconds; 0 for none) every allocation fails too:
// whatever MuPDF is working on allocates as it goes, so it stops soon after.
std::atomic<std::int64_t> gDeadline{0};
std::atomic<bool> gDeadlineReached{false};
std::atomic<bool> gWroteWithinLimits{false};

std::int64_t steadyNow() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool deadlinePassed() {
    const std::int64_t deadline = gDeadline.load(std::memory_order_relaxed);
    if (deadline != 0 && steadyNow() > deadline) {
        gDeadlineReached.store(true, std::memory_order_relaxed);
        return true;
    }
    return false;
}

bool reserve(std::size_t size) {
    if (deadlinePassed()) {
        return false;
    }
    const std::size_t limit = gLimit.load(std::memory_order_relaxed);
    const std::size_t now = gInUse.fetch_add(size, std::memory_order_relaxed) + size;
    if (limit != 0 && now > limit) {
        gInUse.fetch_sub(size, std::memory_order_relaxed);
        gLimitReached.store(true, std::memory_order_relaxed);
        return false;
    }
    return true;
}

void* countedMalloc(void*, std::size_t size) {
    if (size > SIZE_MAX - kHeader || !reserve(size)) {
        return nullptr;
    }
    auto* block = static_cast<unsigned char*>(std::malloc(size + kHeader));
    if (!block) {
        gInUse.fetch_sub(size, std::memory_order_relaxed);
        return nullptr;
    }
    *reinterpret_cast<std::size_t*>(block) = size;
    return block + kHeader;
}

void countedFree(void*, void* ptr) {
    if (!ptr) {
        return;
    }
    auto* block = static_cast<unsigned char*>(ptr) - kHeader;
    gInUse.fetch_sub(*reinterpret_cast<std::size_t*>(block), std::memory_order_relaxed);
    std::free(block);
}

void* countedRealloc(void* user, void* old, std::size_t size) {
    if (!old) {
        return countedMalloc(user, size);
    }
    if (size == 0) {
        countedFree(user, old);
        return nullptr;
    }
    auto* block = static_cast<unsigned char*>(old) - kHeader;
    const std::size_t before = *reinterpret_cast<std::size_t*>(block);
    if (size > SIZE_MAX - kHeader || (size > before && !reserve(size - before))) {
        return nullptr;
    }
    auto* moved = static_cast<unsigned char*>(std::realloc(block, size + kHeader));
    if (!moved) {
        if (size > before) {
            gInUse.fetch_sub(size - before, std::memory_order_relaxed);
        }
        return nullptr;
    }
    if (size < before) {
        gInUse.fetch_sub(before - size, std::memory_order_relaxed);
    }
    *reinterpret_cast<std::size_t*>(moved) = size;
    return moved + kHeader;
}

// MuPDF fills its shared cache of the standard fonts without a lock, so two threads
// drawing appearances at once can both make a font and lose one. Made once here, before
// any other thread has a context, the cache is only ever read.
void preloadStandardFonts(fz_context* ctx) {
    static const char* const names[] = {
        "Courier",     "Courier-Oblique",   "Courier-Bold",   "Courier-BoldOblique",
        "Helvetica",   "Helvetica-Oblique", "Helvetica-Bold", "Helvetica-BoldOblique",
        "Times-Roman", "Times-Italic",      "Times-Bold",     "Times-BoldItalic",
        "Symbol",      "ZapfDingbats"};
    for (const char* name : names) {
        fz_font* font = nullptr;
        attempt(ctx, [&] { font = fz_new_base14_font(ctx, name); });
        fz_drop_font(ctx, font);
    }
}

// Never dropped: documents and contexts of other threads may outlive any static
// destructor that could do it.
fz_context* base() {
    static fz_context* ctx = [] {
        static fz_locks_context locks{nullptr, lockOne, unlockOne};
        static fz_alloc_context alloc{nullptr, countedMalloc, countedRealloc, countedFree};
        fz_context* made = fz_new_context(&alloc, &locks, FZ_STORE_DEFAULT);
        if (made) {
            quieten(made);
            preloadStandardFonts(made);
        }
        return made;
    }();
    return ctx;
}

struct ThreadContext {
    fz_context* ctx = nullptr;
    ~ThreadContext() {
        if (ctx) {
            fz_drop_context(ctx);
            ctx = nullptr;
        }
    }
};

thread_local ThreadContext tThread;

} // namespace

bool pastDeadline() {
    return deadlinePassed();
}

fz_context* context() {
    if (!tThread.ctx) {
        fz_context* root = base();
        fz_context* clone = root ? fz_clone_context(root) : nullptr;
        if (!clone) {
            throw std::bad_alloc();
        }
        quieten(clone);
        tThread.ctx = clone;
    }
    return tThread.ctx;
}

pdf_obj* get(fz_context* ctx, pdf_obj* dict, pdf_obj* key) {
    pdf_obj* value = nullptr;
    attempt(ctx, [&] { value = pdf_dict_get(ctx, dict, key); });
    return value;
}

pdf_obj* get(fz_context* ctx, pdf_obj* dict, const char* key) {
    pdf_obj* value = nullptr;
    attempt(ctx, [&] { value = pdf_dict_gets(ctx, dict, key); });
    return value;
}

pdf_obj* item(fz_context* ctx, pdf_obj* array, int index) {
    pdf_obj* value = nullptr;
    attempt(ctx, [&] { value = pdf_array_get(ctx, array, index); });
    return value;
}

pdf_obj* resolve(fz_context* ctx, pdf_obj* obj) {
    pdf_obj* value = nullptr;
    attempt(ctx, [&] { value = pdf_resolve_indirect(ctx, obj); });
    return value;
}

bool isDict(fz_context* ctx, pdf_obj* obj) {
    bool yes = false;
    attempt(ctx, [&] { yes = pdf_is_dict(ctx, obj); });
    return yes;
}

bool isArray(fz_context* ctx, pdf_obj* obj) {
    bool yes = false;
    attempt(ctx, [&] { yes = pdf_is_array(ctx, obj); });
    return yes;
}

int length(fz_context* ctx, pdf_obj* array) {
    int n = 0;
    attempt(ctx, [&] { n = pdf_is_array(ctx, array) ? pdf_array_len(ctx, array) : 0; });
    return n < 0 ? 0 : n;
}

std::optional<double> number(fz_context* ctx, pdf_obj* obj) {
    bool isNumber = false;
    double value = 0;
    attempt(ctx, [&] {
        isNumber = pdf_is_number(ctx, obj);
        value = pdf_to_real(ctx, obj);
    });
    if (!isNumber || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

std::vector<double> numbers(fz_context* ctx, pdf_obj* array) {
    std::vector<double> values(std::size_t(length(ctx, array)));
    double* out = values.data();
    const int n = int(values.size());
    if (!attempt(ctx, [&] {
            for (int i = 0; i < n; ++i) {
                out[i] = pdf_to_real(ctx, pdf_array_get(ctx, array, i));
            }
        })) {
        return {};
    }
    for (double& v : values) {
        if (!std::isfinite(v)) {
            v = 0;
        }
    }
    return values;
}

std::string name(fz_context* ctx, pdf_obj* obj) {
    const char* value = nullptr;
    attempt(ctx, [&] { value = pdf_is_name(ctx, obj) ? pdf_to_name(ctx, obj) : nullptr; });
    return value ? std::string(value) : std::string();
}

std::optional<std::string> text(fz_context* ctx, pdf_obj* obj) {
    const char* value = nullptr;
    attempt(ctx, [&] {
        if (pdf_is_string(ctx, obj)) {
            value = pdf_to_text_string(ctx, obj);
        }
    });
    if (!value) {
        return std::nullopt;
    }
    return std::string(value);
}

bool sameObject(fz_context* ctx, pdf_obj* a, pdf_obj* b) {
    pdf_obj* ra = resolve(ctx, a);
    return ra && ra == resolve(ctx, b);
}

} // namespace ombrix::pdfkit::mu

namespace ombrix::pdfkit {

void setMemoryLimit(std::size_t bytes) {
    mu::gLimit.store(bytes);
}

std::size_t memoryLimit() {
    return mu::gLimit.load();
}

std::size_t memoryInUse() {
    return mu::gInUse.load();
}

bool memoryLimitReached() {
    return mu::gLimitReached.load();
}

void setDeadline(std::optional<std::chrono::steady_clock::time_point> deadline) {
    mu::gDeadline.store(
        deadline ? std::max<std::int64_t>(1, std::chrono::duration_cast<std::chrono::nanoseconds>(
                                                 deadline->time_since_epoch())
                                                 .count())
                 : 0);
}

bool deadlineReached() {
    return mu::gDeadlineReached.load();
}

bool wroteWithinLimits() {
    return mu::gWroteWithinLimits.load();
}

void noteWriteWithinLimits() {
    if (!mu::gDeadlineReached.load() && !mu::gLimitReached.load() && !inflationLimitReached()) {
        mu::gWroteWithinLimits.store(true);
    }
}

} // namespace ombrix::pdfkit
