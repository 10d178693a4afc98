#include "extraction/TableExtractor.h"

#include "core/Error.h"
#include "core/UnicodeText.h"
#include "extraction/TableGeometry.h"
#include "pdfkit/Page.h"
#include "pdfkit/PageRules.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>
#include <numbers>

namespace ombrix {

namespace {

constexpr double kRenderScale = 4;

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return s;
}

bool contains(const std::string& s, const std::string& part) {
    return s.find(part) != std::string::npos;
}

bool endsWith(const std::string& s, const std::string& suffix) {
    return s.size() >= suffix.size() &&
           s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

bool isFallback(const std::string& name) {
    return lower(name) == table::kFallbackFont;
}

bool isWordChar(char c) {
    const auto u = static_cast<unsigned char>(c);
    return std::isalnum(u) || u >= 0x80; // bytes of non-ASCII letters count as letters
}

double area(const Rect& r) {
    return std::abs(r.width * r.height);
}

} // namespace

namespace table {

// ---- Fonts ----

ResolvedFont resolveFont(const std::string& baseFont) {
    std::string name = baseFont;
    if (auto plus = name.find('+'); plus != std::string::npos) {
        name = name.substr(plus + 1);
    }
    ResolvedFont font;
    const std::string styled = lower(name);
    font.isBold = contains(styled, "bold") || contains(styled, "black") ||
                  contains(styled, "heavy") || contains(styled, "semibold");
    font.isItalic = contains(styled, "italic") || contains(styled, "oblique");
    if (auto dash = name.find('-'); dash != std::string::npos) {
        name = name.substr(0, dash);
    }
    if (auto comma = name.find(','); comma != std::string::npos) {
        name = name.substr(0, comma);
    }
    if (endsWith(name, "PSMT")) {
        name.resize(name.size() - 4);
    }
    if (endsWith(name, "MT")) {
        name.resize(name.size() - 2);
    }
    const auto first = name.find_first_not_of(" \t\r\n\f\v");
    const auto last = name.find_last_not_of(" \t\r\n\f\v");
    name = first == std::string::npos ? std::string() : name.substr(first, last - first + 1);
    font.name = name.empty() ? kFallbackFont : name;
    return font;
}

PageFontMap pageFontMap(const pdfkit::Page& page) {
    PageFontMap fonts;
    const auto resources = page.fontResources();
    if (resources.empty()) {
        return fonts; // no /Resources /Font: nothing to resolve
    }
    auto known = [&](const std::string& key) {
        return std::any_of(fonts.begin(), fonts.end(),
                           [&](const auto& e) { return e.first == key; });
    };
    for (const auto& resource : resources) {
        if (resource.baseFont && !known(resource.resourceName)) {
            fonts.emplace_back(resource.resourceName, resolveFont(*resource.baseFont));
        }
    }
    for (const auto& used : page.fontResourcesInContentOrder()) {
        if (!known(used)) {
            fonts.emplace_back(used, resolveFont(used));
        }
    }
    return fonts;
}

std::optional<ResolvedFont> defaultFont(const PageFontMap& fonts) {
    for (const auto& [key, font] : fonts) {
        if (!font.name.empty() && !isFallback(font.name)) {
            return font;
        }
    }
    if (!fonts.empty()) {
        return fonts.front().second;
    }
    return std::nullopt;
}

std::vector<FontRun> collectFontRuns(const pdfkit::Page& page, const Rect& region,
                                     const PageFontMap& fonts) {
    std::vector<FontRun> runs;
    const auto fallback = defaultFont(fonts);
    for (const auto& word : page.words()) {
        if (word.text.empty() || !word.bounds.intersects(region)) {
            continue;
        }
        FontRun run{word.text, word.bounds, false, false, kFallbackFont};
        if (!word.fontName.empty()) {
            const ResolvedFont resolved = resolveFont(word.fontName);
            const std::string name = lower(word.fontName);
            run.isBold = contains(name, "bold") || word.bold || resolved.isBold;
            run.isItalic = contains(name, "italic") || contains(name, "oblique") || word.italic ||
                           resolved.isItalic;
            run.fontName = resolved.name;
        } else if (fallback) {
            run.fontName = fallback->name;
            run.isBold = fallback->isBold;
            run.isItalic = fallback->isItalic;
        }

        // The family's entries in the page's fonts add their style. When the page holds the
        // family in more than one style (Helvetica and Helvetica-Bold), only what they all
        // share is added: otherwise a bold header would make every word of the family bold.
        const std::string runName = lower(run.fontName);
        std::vector<const ResolvedFont*> matches;
        for (const auto& [key, font] : fonts) {
            if (lower(font.name) == runName) {
                matches.push_back(&font);
            }
        }
        if (matches.empty()) {
            for (const auto& [key, font] : fonts) {
                const std::string entry = lower(font.name);
                if (entry.starts_with(runName) || runName.starts_with(entry)) {
                    matches.push_back(&font);
                }
            }
        }
        if (!matches.empty()) {
            run.isBold = run.isBold || std::all_of(matches.begin(), matches.end(),
                                                   [](const auto* f) { return f->isBold; });
            run.isItalic = run.isItalic || std::all_of(matches.begin(), matches.end(),
                                                       [](const auto* f) { return f->isItalic; });
        }
        if (isFallback(run.fontName) && fallback) {
            run.fontName = fallback->name;
            run.isBold = run.isBold || fallback->isBold;
            run.isItalic = run.isItalic || fallback->isItalic;
        }
        runs.push_back(std::move(run));
    }
    return runs;
}

// ---- Recognition ----

std::optional<Image> renderRegion(const pdfkit::Page& page, const Rect& region) {
    const Rect r = region.standardized();
    if (!r.isFinite() || std::floor(r.width * kRenderScale) <= 0 ||
        std::floor(r.height * kRenderScale) <= 0) {
        return std::nullopt;
    }
    // Drawn without annotations: the page keeps its annotation objects as they are.
    Image image = page.drawRegion(r, kRenderScale, false);
    if (image.isNull()) {
        return std::nullopt;
    }
    return image;
}

std::vector<PDFWord> toPageWords(const std::vector<RecognizedWord>& words, int rotation,
                                 const Rect& region, const Rect& mediaBox) {
    const int r = ((rotation % 360) + 360) % 360;
    const double angle = -r * std::numbers::pi / 180;
    const double cx = mediaBox.midX(), cy = mediaBox.midY();
    auto rotate = [&](double x, double y) {
        const double dx = x - cx, dy = y - cy;
        return Point{cx + dx * std::cos(angle) - dy * std::sin(angle),
                     cy + dx * std::sin(angle) + dy * std::cos(angle)};
    };
    std::vector<PDFWord> out;
    out.reserve(words.size());
    for (const auto& word : words) {
        const Rect b = word.bounds.standardized();
        Rect rect{region.minX() + b.minX() * region.width, region.minY() + b.minY() * region.height,
                  b.width * region.width, b.height * region.height};
        if (r != 0) {
            const Point a = rotate(rect.minX(), rect.minY());
            const Point c = rotate(rect.maxX(), rect.maxY());
            rect = Rect::fromEdges(a.x, a.y, c.x, c.y);
        }
        out.push_back(PDFWord{word.text, rect});
    }
    return out;
}

// ---- Styling ----

std::optional<FontRun> matchFontRun(const PDFWord& word, const std::vector<FontRun>& runs) {
    const FontRun* best = nullptr;
    for (const auto& run : runs) {
        if (!run.bounds.isNull() && run.bounds.intersects(word.bounds) &&
            (!best || area(run.bounds) < area(best->bounds))) {
            best = &run;
        }
    }
    if (best) {
        return *best;
    }
    const Point centre{word.bounds.midX(), word.bounds.midY()};
    for (const auto& run : runs) {
        if (!run.bounds.isNull() && run.bounds.insetBy(-3, -3).contains(centre)) {
            return run;
        }
    }
    const double band = std::max(std::abs(word.bounds.height) * 0.75, 10.0);
    for (const auto& run : runs) {
        if (!run.bounds.isNull() && std::abs(run.bounds.midY() - word.bounds.midY()) < band) {
            return run;
        }
    }
    for (const auto& run : runs) {
        if (contains(run.text, word.text) || contains(word.text, run.text)) {
            return run;
        }
    }
    return std::nullopt;
}

// Recognition tends to drop a word's leading period (".pdf"). Only a whole word of the page
// text counts, and not the digits after a decimal point: "50" must not become ".50" because
// the page also reads "12.50".
std::string restoreLeadingPeriod(const std::string& word, const std::string& pageText) {
    if (word.empty() || pageText.empty() || word.front() == '.') {
        return word;
    }
    const std::string needle = lower(word);
    const std::string haystack = lower(pageText);
    for (auto at = haystack.find(needle); at != std::string::npos;
         at = haystack.find(needle, at + 1)) {
        const std::size_t end = at + needle.size();
        if (at == 0 || haystack[at - 1] != '.') {
            continue;
        }
        const bool wholeWord = end >= haystack.size() || !isWordChar(haystack[end]);
        const bool decimal = at >= 2 && std::isdigit(static_cast<unsigned char>(haystack[at - 2]));
        if (wholeWord && !decimal) {
            return "." + word;
        }
    }
    return word;
}

// Text recognition reads stretches of a table's rules as "_", "|" or dashes. Such a word is
// kept only when the page's own text in the region has it too.
bool isRuleArtifact(const std::string& word, const std::vector<FontRun>& runs) {
    if (word.find_first_not_of("_|-=~") != std::string::npos) {
        return false;
    }
    return std::none_of(runs.begin(), runs.end(),
                        [&](const FontRun& run) { return contains(run.text, word); });
}

// The recognised text is the page's word with a table rule read along at its ends, as
// in "(14" or "16" for a "14" or "6" beside a vertical rule.
bool isWordWithRule(const std::string& recognised, const std::string& pageWord) {
    const auto at = recognised.find(pageWord);
    if (pageWord.empty() || at == std::string::npos) {
        return false;
    }
    const std::string rest = recognised.substr(0, at) + recognised.substr(at + pageWord.size());
    return rest.size() <= 2 && rest.find_first_not_of("|()[]{}/\\!lI1") == std::string::npos;
}

std::string pageSpelling(const PDFWord& word, const FontRun& run) {
    if (run.text.empty() || run.text == word.text || run.bounds.isNull() ||
        (codePointCount(run.text) != codePointCount(word.text) &&
         !isWordWithRule(word.text, run.text))) {
        return word.text;
    }
    const Rect& a = word.bounds;
    const Rect& b = run.bounds;
    const bool samePlace = a.insetBy(-1, -1).contains(Point{b.midX(), b.midY()}) &&
                           b.insetBy(-1, -1).contains(Point{a.midX(), a.midY()});
    return samePlace ? run.text : word.text;
}

std::vector<Rect> missedWordBoxes(const std::vector<PDFWord>& words,
                                  const std::vector<FontRun>& runs, const Rect& region) {
    std::vector<Rect> boxes;
    if (!(region.width > 0) || !(region.height > 0)) {
        return boxes;
    }
    for (const auto& run : runs) {
        const Rect b = run.bounds.standardized();
        if (run.bounds.isNull() || b.isEmpty() || !region.contains(Point{b.midX(), b.midY()}) ||
            run.text.find_first_not_of(" \t\r\n") == std::string::npos ||
            std::any_of(words.begin(), words.end(),
                        [&](const PDFWord& w) { return w.bounds.intersects(b); })) {
            continue;
        }
        // Some paper around the word, as the recogniser likes it.
        const double pad = std::max(2.0, b.height * 0.25);
        const Rect padded = b.insetBy(-pad, -pad).intersection(region);
        boxes.push_back(Rect{(padded.minX() - region.minX()) / region.width,
                             (padded.minY() - region.minY()) / region.height,
                             padded.width / region.width, padded.height / region.height});
    }
    return boxes;
}

std::vector<FormattedWord> formatWords(const std::vector<PDFWord>& words,
                                       const std::vector<FontRun>& runs,
                                       const std::string& pageText) {
    std::vector<FormattedWord> out;
    out.reserve(words.size());
    for (const auto& word : words) {
        if (isRuleArtifact(word.text, runs)) {
            continue;
        }
        const auto run = matchFontRun(word, runs);
        const std::string text = run ? pageSpelling(word, *run) : word.text;
        FormattedWord formatted{restoreLeadingPeriod(text, pageText), word.bounds, false, false,
                                std::nullopt};
        if (run) {
            formatted.isBold = run->isBold;
            formatted.isItalic = run->isItalic;
            formatted.fontName = run->fontName;
        }
        out.push_back(std::move(formatted));
    }
    return out;
}

// ---- Table ----

std::vector<std::vector<int>> tableRows(const std::vector<FormattedWord>& words,
                                        const Rect& region) {
    auto quad = [](const Rect& r) {
        return std::vector<GeoPoint>{
            {r.minX(), r.maxY()}, {r.maxX(), r.maxY()}, {r.maxX(), r.minY()}, {r.minX(), r.minY()}};
    };
    std::vector<std::vector<GeoPoint>> quads;
    quads.reserve(words.size());
    for (const auto& word : words) {
        quads.push_back(quad(word.bounds));
    }
    auto rows = TableGeometryEngine::detectRows(quads, quad(region));
    std::reverse(rows.begin(), rows.end()); // page space puts the bottom line first
    return rows;
}

std::vector<double> clusterPositions(const std::vector<double>& sorted, double tolerance) {
    std::vector<double> means;
    std::size_t begin = 0;
    for (std::size_t i = 1; i <= sorted.size(); ++i) {
        if (i == sorted.size() || sorted[i] - sorted[i - 1] > tolerance) {
            if (i > begin) {
                double sum = 0;
                for (std::size_t k = begin; k < i; ++k) {
                    sum += sorted[k];
                }
                means.push_back(sum / double(i - begin));
            }
            begin = i;
        }
    }
    return means;
}

std::string buildHTMLTable(const std::vector<std::vector<int>>& rows,
                           const std::vector<FormattedWord>& words) {
    return toHTML(layoutTable(rows, words));
}

std::vector<FormattedWord> textLayerWords(const std::vector<FontRun>& runs, const Rect& region) {
    std::vector<FormattedWord> words;
    std::size_t characters = 0, unreadable = 0;
    for (const auto& run : runs) {
        if (!region.contains(Point{run.bounds.midX(), run.bounds.midY()})) {
            continue;
        }
        std::string text;
        for (std::size_t at = 0; at < run.text.size(); ++characters) {
            const std::size_t start = at;
            const char32_t c = nextCodePoint(run.text, at).value_or(U'\uFFFD');
            // U+FFFD (or bytes that stand for nothing), or the private use area
            // U+E000…U+F8FF: a glyph the font gives no character for.
            if (c == U'\uFFFD' || (c >= 0xE000 && c <= 0xF8FF)) {
                ++unreadable;
            }
            // Ligatures U+FB00…U+FB04 as their letters: a table cell is copied, not typeset.
            if (c >= 0xFB00 && c <= 0xFB04) {
                static const char* const kLetters[] = {"ff", "fi", "fl", "ffi", "ffl"};
                text += kLetters[c - 0xFB00];
                continue;
            }
            text.append(run.text, start, at - start);
        }
        words.push_back(FormattedWord{text, run.bounds, run.isBold, run.isItalic, run.fontName});
    }
    if (words.empty() || unreadable * 5 > characters) {
        return {};
    }
    return words;
}

Rect toReadingSpace(const Rect& r, int rotation) {
    switch (((rotation % 360) + 360) % 360) {
    case 90:
        return Rect::fromEdges(r.minY(), -r.maxX(), r.maxY(), -r.minX());
    case 180:
        return Rect::fromEdges(-r.maxX(), -r.maxY(), -r.minX(), -r.minY());
    case 270:
        return Rect::fromEdges(-r.maxY(), r.minX(), -r.minY(), r.maxX());
    default:
        return r.standardized();
    }
}

int dataRowCount(const std::string& html) {
    int count = 0;
    for (auto open = html.find("<tr>"); open != std::string::npos;
         open = html.find("<tr>", open + 4)) {
        const auto close = html.find("</tr>", open);
        const auto cell = html.find("<td", open);
        if (cell != std::string::npos && (close == std::string::npos || cell < close)) {
            ++count;
        }
    }
    return count;
}

std::string successMessage(const std::string& html) {
    return "Copied to clipboard as HTML — " + std::to_string(dataRowCount(html)) +
           " data rows detected.";
}

} // namespace table

// ---- Extractor ----

TableExtractor::TableExtractor(ClipboardWriter clipboard, Logging logging)
    : clipboard_(std::move(clipboard)), logging_(std::move(logging)) {}

std::string TableExtractor::extractTable(pdfkit::Page& page, const Rect& requested) const {
    const auto grid = extractGrid(page, requested);
    std::string html = grid ? table::toHTML(*grid) : std::string();
    if (!html.empty() && clipboard_) {
        clipboard_(html, table::toTabSeparated(*grid));
    }
    return html;
}

std::optional<TableGrid> TableExtractor::extractGrid(pdfkit::Page& page,
                                                     const Rect& requested) const {
    const Rect region = requested.standardized();
    if (!region.isFinite() || std::floor(region.width * kRenderScale) <= 0 ||
        std::floor(region.height * kRenderScale) <= 0) {
        logging_.error("❌ Failed to render");
        return std::nullopt;
    }
    const auto fonts = table::pageFontMap(page);
    const auto runs = table::collectFontRuns(page, region, fonts);

    auto words = table::textLayerWords(runs, region);
    if (words.empty()) {
        auto image = table::renderRegion(page, region);
        if (!image) {
            // A region with a size that could not be drawn is a failure, not a region
            // without a table: the user is told which.
            logging_.error("❌ Failed to render");
            throw Error("TableExtractor", 1, "The region of the page could not be drawn.");
        }
        const auto recognised = TextRecognizer::recognizeWords(*image);
        if (recognised.empty()) {
            return std::nullopt;
        }
        // The region is drawn in the page's unrotated space, so its words need no turning back.
        auto pageWords = table::toPageWords(recognised, 0, region, page.mediaBox());
        const auto missed = table::missedWordBoxes(pageWords, runs, region);
        if (!missed.empty()) {
            const auto more = table::toPageWords(TextRecognizer::recognizeWordsIn(*image, missed),
                                                 0, region, page.mediaBox());
            pageWords.insert(pageWords.end(), more.begin(), more.end());
        }
        words = table::formatWords(pageWords, runs, page.string());
        // Recognised boxes hug the ink; the page's own words span the font's ascent and
        // descent, which the gaps between words and columns are measured against.
        for (auto& word : words) {
            word.bounds = word.bounds.insetBy(0, -0.4 * word.bounds.height);
        }
    }

    // Rows and columns are found on the page as it is shown.
    const int rotation = page.rotation();
    const Rect shown = table::toReadingSpace(region, rotation);
    for (auto& word : words) {
        word.bounds = table::toReadingSpace(word.bounds, rotation);
    }
    std::vector<Rect> drawn;
    for (const auto& rule : pdfkit::pageRules(page)) {
        drawn.push_back(table::toReadingSpace(rule.bounds, rotation));
    }
    const auto rows = table::tableRows(words, shown);
    auto grid = table::layoutTable(rows, words, table::classifyRules(drawn, shown));
    if (grid.rows.empty()) {
        return std::nullopt;
    }
    return grid;
}

} // namespace ombrix
