#pragma once

// A page's structured text converted once into page space. Private to pdfkit.

#include "core/Geometry.h"
#include "pdfkit/MuContext.h"
#include "pdfkit/Page.h"
#include "pdfkit/Selection.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace ombrix::pdfkit {

// Where a page sits between PDF user space and MuPDF's spaces.
struct PageFrame {
    Rect mediaBox;       // user space, standardized
    int rotation = 0;    // 0, 90, 180, 270
    fz_matrix pageCtm{}; // user space -> MuPDF's page space (rotated, y down)

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
};

struct TextChar {
    char32_t code = 0;
    Rect box; // page space
    std::uint32_t font = 0;
    float size = 0;
};

struct TextLine {
    int begin = 0; // chars [begin, end)
    int end = 0;
    Rect bounds;
};

class PageText {
public:
    // Empty text when MuPDF cannot read the page's content.
    static std::shared_ptr<const PageText> extract(fz_context* ctx, fz_page* page,
                                                   const PageFrame& frame);

    const std::vector<TextChar>& chars() const { return chars_; }
    const std::vector<TextLine>& lines() const { return lines_; }
    const std::vector<TextFontInfo>& fonts() const { return fonts_; }
    int lineOf(int charIndex) const; // -1 when out of range

    std::string plainText() const; // lines joined with "\n"
    std::vector<TextWord> words() const;

    // Characters whose box centre lies in `rect`, in reading order.
    std::vector<int> charsInRect(const Rect& rect) const;
    // The characters a drag from `from` to `to` covers, as [first, last).
    std::optional<std::pair<int, int>> rangeBetween(Point from, Point to) const;

    // The line rectangles of a set of characters (ascending indices) and their text,
    // lines joined with "\n"; whitespace at either end of a line is left out.
    void describe(const std::vector<int>& chars, std::vector<Rect>& lineRects,
                  std::string& text) const;

private:
    int positionAt(Point p) const;

    std::vector<TextChar> chars_;
    std::vector<TextLine> lines_;
    std::vector<int> lineOfChar_;
    std::vector<TextFontInfo> fonts_;
};

bool isWhitespace(char32_t c);
void appendUtf8(std::string& out, char32_t c);
std::string stripSubsetTag(const std::string& fontName);

// Every occurrence of `needle` across the pages in order; see Document::find.
struct SearchPage {
    std::shared_ptr<Page> page;
    std::shared_ptr<const PageText> text;
};
std::vector<Selection> findInPages(const std::vector<SearchPage>& pages, const std::string& needle,
                                   bool caseInsensitive);

} // namespace ombrix::pdfkit
