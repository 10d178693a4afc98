#pragma once

// A page's structured text converted once into page space. Private to pdfkit.

#include "core/Geometry.h"
#include "pdfkit/MuContext.h"
#include "pdfkit/Page.h"
#include "pdfkit/Selection.h"
#include "pdfkit/TextLayout.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace ombrix::pdfkit {

// Where a page sits between PDF user space and MuPDF's spaces.
struct PageFrame {
    Rect mediaBox;       // user space, standardized
    Rect cropBox;        // user space, standardized, within the media box
    int rotation = 0;    // 0, 90, 180, 270
    fz_matrix pageCtm{}; // user space -> MuPDF's page space, which is display space
    Size displaySize;    // the crop box in display space

    // User space -> the unrotated, y-down space of the media box (origin at its top
    // left) in which text is extracted and display lists are recorded.
    fz_matrix userToFlipped() const;
    // The matrix to hand fz_run_page_*: they apply pageCtm first.
    fz_matrix runMatrix() const;
    Rect flippedToUser(fz_rect r) const;
};

struct TextFontInfo {
    std::string name; // subset tag removed
    bool bold = false;
    bool italic = false;
    std::string engineName; // MuPDF's name, as it names the fonts it loads
    int impliedFlags = 0;   // the descriptor flags the font's own traits imply
};

struct TextChar {
    char32_t code = 0;
    Rect box;     // page space
    fz_quad quad; // page space: ul, ur, ll, lr as the glyph is drawn
    std::uint32_t font = 0;
    float size = 0;
    std::uint32_t color = 0; // sRGB, 0xRRGGBB
};

using TextLine = LayoutLine;

class PageText {
public:
    // What MuPDF could read of the page's content, marked damaged when it could not read
    // all of it (or the page could not be loaded); nullptr when `cookie` was aborted.
    static std::shared_ptr<const PageText>
    extract(fz_context* ctx, fz_page* page, const PageFrame& frame, fz_cookie* cookie = nullptr);
    // The same from a display list recorded in the frame's flipped media-box space, so the
    // work runs outside the document's lock.
    static std::shared_ptr<const PageText> extract(fz_context* ctx, fz_display_list* list,
                                                   const PageFrame& frame, fz_cookie* cookie);

    const std::vector<TextChar>& chars() const { return chars_; }
    // Whether some of the page's content could not be read: the text holds only the rest.
    bool contentDamaged() const { return damaged_; }
    void markDamaged(bool damaged) { damaged_ = damaged; }
    const std::vector<TextLine>& lines() const { return lines_; }
    const std::vector<TextFontInfo>& fonts() const { return fonts_; }
    int lineOf(int charIndex) const; // -1 when out of range

    std::string plainText() const; // lines joined with "\n"
    std::vector<TextWord> words() const;

    // Characters whose box centre lies in `rect`, in reading order.
    std::vector<int> charsInRect(const Rect& rect) const;
    // The characters a drag from `from` to `to` covers, as [first, last).
    std::optional<std::pair<int, int>> rangeBetween(Point from, Point to) const;
    // The caret position a point stands for (see rangeBetween).
    int positionAt(Point p) const;

    // The line rectangles of a set of characters (ascending indices) and their text,
    // lines joined with "\n"; whitespace at either end of a line is left out.
    void describe(const std::vector<int>& chars, std::vector<Rect>& lineRects,
                  std::string& text) const;

    // Reads finished structured text (which calls nothing that throws); for extract().
    void take(fz_context* ctx, fz_stext_page* stext, const PageFrame& frame);

private:
    std::vector<TextChar> chars_;
    std::vector<TextLine> lines_;
    std::vector<TextFontInfo> fonts_;
    bool damaged_ = false;
};

bool isWhitespace(char32_t c);
// Descriptor flags for a font the file describes without a descriptor (the standard 14):
// what its own descriptor would have said.
int impliedDescriptorFlags(fz_context* ctx, fz_font* font);
void appendUtf8(std::string& out, char32_t c);
std::string stripSubsetTag(const std::string& fontName);

// Every occurrence of `needle` across the pages in order; see Document::find. Pages are
// asked for one at a time, in order, and let go of once no match can still reach them, so
// a search holds a few pages' text however long the document. Once `stopped` answers true
// no more pages are read and the result is empty.
struct SearchPage {
    std::shared_ptr<Page> page;
    std::shared_ptr<const PageText> text;
};
std::vector<Selection> findInPages(int pageCount, const std::function<SearchPage(int)>& pageAt,
                                   const std::string& needle, bool caseInsensitive,
                                   const std::function<bool()>& stopped = {});
// The same, handing each occurrence to `found` as soon as it is complete; false when
// `stopped` ended it early (what was found until then was handed on all the same).
bool findInPages(int pageCount, const std::function<SearchPage(int)>& pageAt,
                 const std::string& needle, bool caseInsensitive,
                 const std::function<void(Selection)>& found,
                 const std::function<bool()>& stopped = {});

} // namespace ombrix::pdfkit
