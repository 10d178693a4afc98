#include "pdfkit/InflationCheck.h"

#include "pdfkit/MuContext.h"
#include "pdfkit/ResourceLimits.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <unordered_set>
#include <vector>

namespace ombrix::pdfkit {

namespace {

// Deflate tops out near 1032:1 and LZW near 2730:1, so 4096 times the file's size is
// beyond any stream with one of them; the floor leaves small files room all the same.
std::atomic<double> gRatio{4096};
std::atomic<std::size_t> gFloor{std::size_t(64) << 20};
std::atomic<bool> gReached{false};

} // namespace

void setInflationLimit(double ratio, std::size_t floorBytes) {
    gRatio.store(ratio);
    gFloor.store(floorBytes);
}

bool inflationLimitReached() {
    return gReached.load();
}

} // namespace ombrix::pdfkit

namespace ombrix::pdfkit::mu {

namespace {

// A filter whose output is bounded by a small multiple of its input.
bool boundedRatio(const std::string& filter) {
    return filter == "FlateDecode" || filter == "Fl" || filter == "LZWDecode" || filter == "LZW" ||
           filter == "RunLengthDecode" || filter == "RL";
}

// Filters that only ever shrink their input (or leave it as it is).
bool shrinks(const std::string& filter) {
    return filter == "ASCIIHexDecode" || filter == "AHx" || filter == "ASCII85Decode" ||
           filter == "A85" || filter == "Crypt";
}

bool mayInflatePastLimit(fz_context* ctx, pdf_obj* stream) {
    pdf_obj* filter = get(ctx, stream, PDF_NAME(Filter));
    std::vector<std::string> names;
    if (isArray(ctx, filter)) {
        for (int i = 0, n = length(ctx, filter); i < n; ++i) {
            names.push_back(name(ctx, item(ctx, filter, i)));
        }
    } else {
        names.push_back(name(ctx, filter));
    }
    int decompressing = 0;
    bool unbounded = false;
    for (const std::string& f : names) {
        if (f.empty() || shrinks(f)) {
            continue;
        }
        ++decompressing;
        unbounded = unbounded || !boundedRatio(f);
    }
    return decompressing > 1 || unbounded;
}

// Decodes the stream, adding its length to `total`, until it ends or `total` passes
// `limit`. A stream that cannot be decoded counts what was read of it.
void addDecodedLength(fz_context* ctx, pdf_obj* stream, std::uint64_t limit, std::uint64_t& total) {
    fz_stream* stm = nullptr;
    static thread_local unsigned char buffer[1 << 16];
    attempt(ctx, [&] {
        stm = pdf_open_stream(ctx, stream);
        while (total <= limit) {
            const std::size_t n = fz_read(ctx, stm, buffer, sizeof buffer);
            if (n == 0) {
                break;
            }
            total += n;
        }
    });
    fz_drop_stream(ctx, stm);
}

class Walk {
public:
    Walk(fz_context* ctx, std::uint64_t limit) : ctx_(ctx), limit_(limit) {}

    bool exceeded() const { return total_ > limit_; }

    // Every value of a dictionary (or item of an array), as written: streams are opened
    // through their references.
    template <class Visit> void eachValue(pdf_obj* container, Visit&& visit) {
        if (isArray(ctx_, container)) {
            for (int i = 0, n = length(ctx_, container); i < n; ++i) {
                visit(item(ctx_, container, i));
            }
            return;
        }
        int n = 0;
        attempt(ctx_, [&] { n = isDict(ctx_, container) ? pdf_dict_len(ctx_, container) : 0; });
        for (int i = 0; i < n; ++i) {
            pdf_obj* value = nullptr;
            attempt(ctx_, [&] { value = pdf_dict_get_val(ctx_, container, i); });
            visit(value);
        }
    }

    void stream(pdf_obj* obj) {
        bool isStream = false;
        attempt(ctx_, [&] { isStream = pdf_is_stream(ctx_, obj); });
        if (!isStream || exceeded() || !firstVisit(resolve(ctx_, obj))) {
            return;
        }
        if (mayInflatePastLimit(ctx_, obj)) {
            addDecodedLength(ctx_, obj, limit_, total_);
        }
        resources(get(ctx_, obj, PDF_NAME(Resources)));
    }

    void resources(pdf_obj* dict) {
        dict = resolve(ctx_, dict);
        if (!isDict(ctx_, dict) || exceeded() || !firstVisit(dict)) {
            return;
        }
        eachValue(get(ctx_, dict, PDF_NAME(XObject)), [&](pdf_obj* x) {
            if (name(ctx_, get(ctx_, x, PDF_NAME(Subtype))) != "Image") {
                stream(x);
            }
        });
        eachValue(get(ctx_, dict, PDF_NAME(Pattern)), [&](pdf_obj* p) { stream(p); });
        eachValue(get(ctx_, dict, PDF_NAME(ExtGState)), [&](pdf_obj* gs) {
            stream(get(ctx_, get(ctx_, gs, PDF_NAME(SMask)), PDF_NAME(G)));
        });
        eachValue(get(ctx_, dict, PDF_NAME(Font)), [&](pdf_obj* font) {
            if (name(ctx_, get(ctx_, font, PDF_NAME(Subtype))) == "Type3" &&
                firstVisit(resolve(ctx_, font))) {
                eachValue(get(ctx_, font, PDF_NAME(CharProcs)), [&](pdf_obj* g) { stream(g); });
                resources(get(ctx_, font, PDF_NAME(Resources)));
            }
        });
    }

    // A normal appearance is a stream or a dictionary of them, one per state.
    void appearance(pdf_obj* normal) {
        bool isStream = false;
        attempt(ctx_, [&] { isStream = pdf_is_stream(ctx_, normal); });
        if (isStream) {
            stream(normal);
        } else if (isDict(ctx_, normal) && firstVisit(resolve(ctx_, normal))) {
            eachValue(normal, [&](pdf_obj* state) { stream(state); });
        }
    }

private:
    // Damaged files can make cycles and hostile ones huge fans; each object is looked at
    // once and the walk is bounded.
    bool firstVisit(pdf_obj* obj) {
        return visited_.size() < 100000 && visited_.insert(obj).second;
    }

    fz_context* ctx_;
    std::uint64_t limit_;
    std::uint64_t total_ = 0;
    std::unordered_set<pdf_obj*> visited_;
};

} // namespace

bool pageInflatesPastLimit(fz_context* ctx, pdf_document* doc, pdf_obj* page) {
    const double ratio = gRatio.load();
    if (ratio <= 0 || !doc || !isDict(ctx, page)) {
        return false;
    }
    const double fileSize = double(std::max<std::int64_t>(doc->file_size, 0));
    const std::uint64_t limit =
        std::uint64_t(std::max(double(gFloor.load()), std::min(ratio * fileSize, 1e18)));
    Walk walk(ctx, limit);
    pdf_obj* contents = get(ctx, page, PDF_NAME(Contents));
    if (isArray(ctx, contents)) {
        walk.eachValue(contents, [&](pdf_obj* part) { walk.stream(part); });
    } else {
        walk.stream(contents);
    }
    pdf_obj* resources = nullptr;
    attempt(ctx, [&] { resources = pdf_dict_get_inheritable(ctx, page, PDF_NAME(Resources)); });
    walk.resources(resources);
    walk.eachValue(get(ctx, page, PDF_NAME(Annots)), [&](pdf_obj* annot) {
        walk.appearance(get(ctx, get(ctx, annot, PDF_NAME(AP)), PDF_NAME(N)));
    });
    if (walk.exceeded()) {
        gReached.store(true);
        return true;
    }
    return false;
}

} // namespace ombrix::pdfkit::mu
