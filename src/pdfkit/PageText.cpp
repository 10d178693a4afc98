#include "pdfkit/PageText.h"

#include "core/UnicodeText.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <deque>
#include <limits>
#include <unicode/uchar.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>
#include <unicode/utf8.h>
#include <unordered_map>

namespace ombrix::pdfkit {

fz_matrix PageFrame::userToFlipped() const {
    return fz_make_matrix(1, 0, 0, -1, float(-mediaBox.minX()), float(mediaBox.maxY()));
}

fz_matrix PageFrame::runMatrix() const {
    return fz_concat(fz_invert_matrix(pageCtm), userToFlipped());
}

Rect PageFrame::flippedToUser(fz_rect r) const {
    return Rect::fromEdges(r.x0 + mediaBox.minX(), mediaBox.maxY() - r.y1, r.x1 + mediaBox.minX(),
                           mediaBox.maxY() - r.y0);
}

bool isWhitespace(char32_t c) {
    if (c < 0x80) {
        return c == ' ' || (c >= '\t' && c <= '\r');
    }
    return u_isUWhiteSpace(static_cast<UChar32>(c));
}

void appendUtf8(std::string& out, char32_t c) {
    appendCodePoint(out, c);
}

std::string stripSubsetTag(const std::string& name) {
    if (name.size() > 7 && name[6] == '+' &&
        std::all_of(name.begin(), name.begin() + 6, [](char c) { return c >= 'A' && c <= 'Z'; })) {
        return name.substr(7);
    }
    return name;
}

namespace {

bool containsIgnoringCase(const std::string& haystack, const char* needle) {
    std::string lower(haystack);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return lower.find(needle) != std::string::npos;
}

Rect unite(const Rect& a, const Rect& b, bool first) {
    return first ? b : a.united(b);
}

} // namespace

int impliedDescriptorFlags(fz_context* ctx, fz_font* font) {
    constexpr int kFixedPitch = 1, kSerif = 2, kSymbolic = 4, kNonSymbolic = 32, kItalic = 64,
                  kForceBold = 1 << 18;
    const std::string name = fz_font_name(ctx, font);
    const bool symbolic =
        name.find("Symbol") != std::string::npos || name.find("Dingbats") != std::string::npos;
    int flags = symbolic ? kSymbolic : kNonSymbolic;
    if (fz_font_is_monospaced(ctx, font)) {
        flags |= kFixedPitch;
    }
    if (fz_font_is_serif(ctx, font)) {
        flags |= kSerif;
    }
    if (fz_font_is_italic(ctx, font)) {
        flags |= kItalic;
    }
    if (fz_font_is_bold(ctx, font)) {
        flags |= kForceBold;
    }
    return flags;
}

namespace {

// Runs `run` into a structured-text device over the frame's flipped media box and reads
// the result; nullptr when `cookie` aborted it.
template <class Run>
std::shared_ptr<const PageText> extractWith(fz_context* ctx, const PageFrame& frame,
                                            fz_cookie* cookie, Run&& run) {
    auto text = std::make_shared<PageText>();
    fz_stext_page* stext = nullptr;
    fz_device* device = nullptr;
    fz_stext_options options{};
    options.flags = FZ_STEXT_MEDIABOX_CLIP;
    const fz_rect box =
        fz_make_rect(0, 0, float(frame.mediaBox.width), float(frame.mediaBox.height));
    // MuPDF skips what it cannot read of a content stream and counts it in the cookie;
    // what it cannot get past (a nesting deeper than its error stack) it throws.
    fz_cookie own{};
    fz_cookie* counted = cookie ? cookie : &own;
    const int errorsBefore = counted->errors;
    bool ok = mu::attempt(ctx, [&] {
        stext = fz_new_stext_page(ctx, box);
        device = fz_new_stext_device(ctx, stext, &options);
        run(device, counted);
        fz_close_device(ctx, device);
    });
    if (!ok && device) {
        mu::attempt(ctx, [&] { fz_close_device(ctx, device); }); // what was read until then
    }
    fz_drop_device(ctx, device);
    if (cookie && cookie->abort) {
        fz_drop_stext_page(ctx, stext);
        return nullptr;
    }
    if (stext) {
        text->take(ctx, stext, frame);
    }
    text->markDamaged(!ok || counted->errors > errorsBefore);
    fz_drop_stext_page(ctx, stext);
    return text;
}

} // namespace

std::shared_ptr<const PageText> PageText::extract(fz_context* ctx, fz_page* page,
                                                  const PageFrame& frame, fz_cookie* cookie) {
    if (!page) {
        auto none = std::make_shared<PageText>();
        none->markDamaged(true);
        return none;
    }
    const fz_matrix ctm = frame.runMatrix();
    return extractWith(ctx, frame, cookie, [&](fz_device* device, fz_cookie* counted) {
        fz_run_page_contents(ctx, page, device, ctm, counted);
    });
}

std::shared_ptr<const PageText> PageText::extract(fz_context* ctx, fz_display_list* list,
                                                  const PageFrame& frame, fz_cookie* cookie) {
    if (!list) {
        auto none = std::make_shared<PageText>();
        none->markDamaged(true);
        return none;
    }
    return extractWith(ctx, frame, cookie, [&](fz_device* device, fz_cookie* counted) {
        fz_run_display_list(ctx, list, device, fz_identity, fz_infinite_rect, counted);
    });
}

void PageText::take(fz_context* ctx, fz_stext_page* stext, const PageFrame& frame) {
    const fz_matrix toUser = fz_invert_matrix(frame.userToFlipped());
    std::unordered_map<fz_font*, std::uint32_t> fontIndex;
    for (fz_stext_block* block = stext->first_block; block; block = block->next) {
        if (block->type != FZ_STEXT_BLOCK_TEXT) {
            continue;
        }
        for (fz_stext_line* line = block->u.t.first_line; line; line = line->next) {
            TextLine out;
            out.begin = int(chars_.size());
            // The baseline's direction, y down as MuPDF gives it: y up in page space.
            out.vertical = std::abs(line->dir.y) > std::abs(line->dir.x);
            out.reversed = out.vertical ? line->dir.y > 0 : line->dir.x < 0;
            for (fz_stext_char* ch = line->first_char; ch; ch = ch->next) {
                TextChar tc;
                tc.code = ch->c < 0 ? U'\uFFFD' : char32_t(ch->c);
                tc.box = frame.flippedToUser(fz_rect_from_quad(ch->quad));
                tc.quad = fz_transform_quad(ch->quad, toUser);
                tc.size = ch->size;
                tc.color = std::uint32_t(ch->color) & 0xffffff;
                auto [it, added] = fontIndex.emplace(ch->font, std::uint32_t(fonts_.size()));
                if (added) {
                    TextFontInfo info;
                    const char* name = ch->font ? fz_font_name(ctx, ch->font) : nullptr;
                    info.name = stripSubsetTag(name ? name : "");
                    info.bold = (ch->font && fz_font_is_bold(ctx, ch->font)) ||
                                containsIgnoringCase(info.name, "bold");
                    info.italic = (ch->font && fz_font_is_italic(ctx, ch->font)) ||
                                  containsIgnoringCase(info.name, "italic") ||
                                  containsIgnoringCase(info.name, "oblique");
                    info.engineName = name ? name : "";
                    info.impliedFlags = ch->font ? impliedDescriptorFlags(ctx, ch->font) : 0;
                    fonts_.push_back(std::move(info));
                }
                tc.font = it->second;
                out.bounds = unite(out.bounds, tc.box, chars_.size() == size_t(out.begin));
                chars_.push_back(tc);
            }
            out.end = int(chars_.size());
            if (out.end > out.begin) {
                lines_.push_back(out);
            }
        }
    }
}

int PageText::lineOf(int charIndex) const {
    if (charIndex < 0 || charIndex >= int(chars_.size())) {
        return -1;
    }
    // Lines hold consecutive runs of characters in order.
    auto after = std::upper_bound(lines_.begin(), lines_.end(), charIndex,
                                  [](int i, const TextLine& l) { return i < l.begin; });
    return int(after - lines_.begin()) - 1;
}

std::string PageText::plainText() const {
    std::string out;
    for (std::size_t l = 0; l < lines_.size(); ++l) {
        if (l > 0) {
            out += '\n';
        }
        for (int i = lines_[l].begin; i < lines_[l].end; ++i) {
            appendUtf8(out, chars_[i].code);
        }
    }
    return out;
}

std::vector<TextWord> PageText::words() const {
    std::vector<TextWord> words;
    for (const TextLine& line : lines_) {
        int i = line.begin;
        while (i < line.end) {
            while (i < line.end && isWhitespace(chars_[i].code)) {
                ++i;
            }
            if (i >= line.end) {
                break;
            }
            TextWord word;
            const TextChar& first = chars_[i];
            const TextFontInfo& font = fonts_[first.font];
            word.fontName = font.name;
            word.fontSize = first.size;
            word.bold = font.bold;
            word.italic = font.italic;
            word.bounds = first.box;
            for (; i < line.end && !isWhitespace(chars_[i].code); ++i) {
                appendUtf8(word.text, chars_[i].code);
                word.bounds = word.bounds.united(chars_[i].box);
            }
            words.push_back(std::move(word));
        }
    }
    return words;
}

std::vector<int> PageText::charsInRect(const Rect& rect) const {
    std::vector<int> inside;
    const Rect r = rect.standardized();
    for (int i = 0; i < int(chars_.size()); ++i) {
        if (r.contains(Point{chars_[i].box.midX(), chars_[i].box.midY()})) {
            inside.push_back(i);
        }
    }
    return inside;
}

// The caret position a point stands for: the nearest line (vertically first, then
// horizontally), and in it the first character whose centre lies right of the point.
int PageText::positionAt(Point p) const {
    int best = -1;
    double bestDy = std::numeric_limits<double>::infinity();
    double bestDx = bestDy;
    // Across the lines first (up and down as the line reads), then along them.
    for (int l = 0; l < int(lines_.size()); ++l) {
        const Rect& b = lines_[l].bounds;
        const double dy = lines_[l].across(p);
        const double dx = lines_[l].vertical
                              ? (p.y < b.minY() ? b.minY() - p.y : std::max(p.y - b.maxY(), 0.0))
                              : (p.x < b.minX() ? b.minX() - p.x : std::max(p.x - b.maxX(), 0.0));
        if (dy < bestDy || (dy == bestDy && dx < bestDx)) {
            best = l;
            bestDy = dy;
            bestDx = dx;
        }
    }
    if (best < 0) {
        return 0;
    }
    const TextLine& line = lines_[best];
    const double at = line.along(p);
    for (int i = line.begin; i < line.end; ++i) {
        const Rect& box = chars_[i].box;
        if (line.along(Point{box.midX(), box.midY()}) > at) {
            return i;
        }
    }
    return line.end;
}

std::optional<std::pair<int, int>> PageText::rangeBetween(Point from, Point to) const {
    if (chars_.empty()) {
        return std::nullopt;
    }
    int a = positionAt(from);
    int b = positionAt(to);
    if (a > b) {
        std::swap(a, b);
    }
    if (a == b) {
        return std::nullopt;
    }
    return std::make_pair(a, b);
}

void PageText::describe(const std::vector<int>& chars, std::vector<Rect>& lineRects,
                        std::string& text) const {
    std::size_t i = 0;
    bool firstLine = true;
    while (i < chars.size()) {
        const int line = lineOf(chars[i]);
        std::size_t end = i;
        while (end < chars.size() && lineOf(chars[end]) == line) {
            ++end;
        }
        std::size_t b = i, e = end;
        while (b < e && isWhitespace(chars_[chars[b]].code)) {
            ++b;
        }
        while (e > b && isWhitespace(chars_[chars[e - 1]].code)) {
            --e;
        }
        if (b < e) {
            Rect r = chars_[chars[b]].box;
            if (!firstLine) {
                text += '\n';
            }
            firstLine = false;
            for (std::size_t k = b; k < e; ++k) {
                r = r.united(chars_[chars[k]].box);
                appendUtf8(text, chars_[chars[k]].code);
            }
            lineRects.push_back(r);
        }
        i = end;
    }
}

// ---- Search ----

namespace {

// One code point of the searchable text: a (case-folded) piece of a character of a
// page, or a line break standing between lines and pages.
struct Unit {
    char32_t code;
    int page;
    int ch;      // index into the page's characters; -1 for a break
    bool starts; // first code point of its character's folding
};

void fold(char32_t c, bool caseInsensitive, std::vector<char32_t>& out) {
    if (!caseInsensitive) {
        out.push_back(c);
        return;
    }
    if (c < 0x80) {
        out.push_back(c >= 'A' && c <= 'Z' ? c + 32 : c);
        return;
    }
    UChar src[2];
    int32_t srcLen = 0;
    U16_APPEND_UNSAFE(src, srcLen, static_cast<UChar32>(c));
    UChar dst[16];
    UErrorCode err = U_ZERO_ERROR;
    int32_t len = u_strFoldCase(dst, 16, src, srcLen, U_FOLD_CASE_DEFAULT, &err);
    if (U_FAILURE(err) || len <= 0 || len > 16) {
        out.push_back(c);
        return;
    }
    for (int32_t k = 0; k < len;) {
        UChar32 cp;
        U16_NEXT(dst, k, len, cp);
        out.push_back(char32_t(cp));
    }
}

std::vector<char32_t> decodeUtf8(const std::string& s) {
    std::vector<char32_t> out;
    const auto* bytes = reinterpret_cast<const uint8_t*>(s.data());
    const int32_t length = int32_t(std::min<std::size_t>(s.size(), INT32_MAX));
    int32_t i = 0;
    while (i < length) {
        UChar32 c;
        U8_NEXT(bytes, i, length, c);
        out.push_back(c < 0 ? U'\uFFFD' : char32_t(c));
    }
    return out;
}

// The needle as code points, every whitespace run replaced by kAnySpace.
constexpr char32_t kAnySpace = 0xFFFFFFFF;

std::vector<char32_t> compileNeedle(const std::string& needle, bool caseInsensitive) {
    std::vector<char32_t> pattern;
    for (char32_t c : decodeUtf8(needle)) {
        if (isWhitespace(c)) {
            if (pattern.empty() || pattern.back() != kAnySpace) {
                pattern.push_back(kAnySpace);
            }
        } else {
            fold(c, caseInsensitive, pattern);
        }
    }
    return pattern;
}

bool isSpaceUnit(const Unit& u) {
    return u.ch < 0 || isWhitespace(u.code);
}

} // namespace

namespace {

// The searchable text of consecutive pages, read on demand. Units before the window's
// start are dropped a page at a time.
class Haystack {
public:
    Haystack(int pageCount, const std::function<SearchPage(int)>& pageAt, bool caseInsensitive,
             const std::function<bool()>& stopped)
        : count_(pageCount), pageAt_(pageAt), caseInsensitive_(caseInsensitive), stopped_(stopped) {
    }

    // Whether unit `i` exists, reading pages until it does or none are left.
    bool has(std::size_t i) {
        while (i >= base_ + units_.size() && next_ < count_) {
            if (stopped_ && stopped_()) {
                halted_ = true;
                next_ = count_;
                break;
            }
            append(next_++);
        }
        return i < base_ + units_.size();
    }
    const Unit& operator[](std::size_t i) const { return units_[i - base_]; }
    const SearchPage& page(int index) const { return pages_[std::size_t(index - firstPage_)]; }
    bool halted() const { return halted_ || (stopped_ && stopped_()); }

    // Nothing of the pages before unit `i`'s page is needed any more.
    void release(std::size_t i) {
        const int keep = (*this)[i].page;
        while (!units_.empty() && units_.front().page < keep) {
            units_.pop_front();
            ++base_;
        }
        while (firstPage_ < keep && !pages_.empty()) {
            pages_.pop_front();
            ++firstPage_;
        }
    }

private:
    void append(int p) {
        pages_.push_back(pageAt_(p));
        const PageText* text = pages_.back().text.get();
        if (!text) {
            return;
        }
        for (const TextLine& line : text->lines()) {
            for (int i = line.begin; i < line.end; ++i) {
                folded_.clear();
                fold(text->chars()[i].code, caseInsensitive_, folded_);
                for (std::size_t k = 0; k < folded_.size(); ++k) {
                    units_.push_back(Unit{folded_[k], p, i, k == 0});
                }
            }
            units_.push_back(Unit{U'\n', p, -1, true});
        }
    }

    int count_;
    const std::function<SearchPage(int)>& pageAt_;
    bool caseInsensitive_;
    const std::function<bool()>& stopped_;
    bool halted_ = false;
    int next_ = 0;
    int firstPage_ = 0;
    std::size_t base_ = 0;
    std::deque<Unit> units_;
    std::deque<SearchPage> pages_;
    std::vector<char32_t> folded_;
};

// The end of a match of `pattern` starting at `start`, or -1.
long matchAt(Haystack& hay, std::size_t start, const std::vector<char32_t>& pattern) {
    std::size_t j = start;
    for (char32_t p : pattern) {
        if (p == kAnySpace) {
            if (!hay.has(j) || !isSpaceUnit(hay[j])) {
                return -1;
            }
            while (hay.has(j) && isSpaceUnit(hay[j])) {
                ++j;
            }
        } else {
            if (!hay.has(j) || hay[j].ch < 0 || hay[j].code != p) {
                return -1;
            }
            ++j;
        }
    }
    // A match must cover whole characters, not part of one's folding.
    if (hay.has(j) && !hay[j].starts) {
        return -1;
    }
    return long(j);
}

} // namespace

std::vector<Selection> findInPages(int pageCount, const std::function<SearchPage(int)>& pageAt,
                                   const std::string& needle, bool caseInsensitive,
                                   const std::function<bool()>& stopped) {
    std::vector<Selection> results;
    const bool whole = findInPages(
        pageCount, pageAt, needle, caseInsensitive,
        [&results](Selection found) { results.push_back(std::move(found)); }, stopped);
    if (!whole) {
        results.clear(); // a partial list would pass for the whole answer
    }
    return results;
}

bool findInPages(int pageCount, const std::function<SearchPage(int)>& pageAt,
                 const std::string& needle, bool caseInsensitive,
                 const std::function<void(Selection)>& found,
                 const std::function<bool()>& stopped) {
    const std::vector<char32_t> pattern = compileNeedle(needle, caseInsensitive);
    if (std::none_of(pattern.begin(), pattern.end(), [](char32_t c) { return c != kAnySpace; })) {
        return true;
    }

    Haystack hay(pageCount, pageAt, caseInsensitive, stopped);
    std::size_t i = 0;
    while (hay.has(i)) {
        hay.release(i);
        const Unit& u = hay[i];
        const bool candidate =
            u.starts &&
            (pattern[0] == kAnySpace ? isSpaceUnit(u) : (u.ch >= 0 && u.code == pattern[0]));
        long end = candidate ? matchAt(hay, i, pattern) : -1;
        if (end < 0) {
            ++i;
            continue;
        }
        std::vector<Selection::PagePart> parts;
        std::string text;
        std::size_t k = i;
        while (k < std::size_t(end)) {
            const int page = hay[k].page;
            std::vector<int> chars;
            for (; k < std::size_t(end) && hay[k].page == page; ++k) {
                if (hay[k].ch >= 0 && (chars.empty() || chars.back() != hay[k].ch)) {
                    chars.push_back(hay[k].ch);
                }
            }
            const SearchPage& found = hay.page(page);
            Selection::PagePart part{found.page, {}};
            std::string pageText;
            found.text->describe(chars, part.lineRects, pageText);
            if (!part.lineRects.empty()) {
                if (!text.empty()) {
                    text += '\n';
                }
                text += pageText;
                parts.push_back(std::move(part));
            }
        }
        if (!parts.empty()) {
            found(Selection(std::move(parts), std::move(text)));
        }
        i = std::size_t(end) > i ? std::size_t(end) : i + 1;
    }
    return !hay.halted();
}

} // namespace ombrix::pdfkit
