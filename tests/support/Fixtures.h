#pragma once

#include "core/Color.h"
#include "core/Geometry.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace ombrix::testing {

// Fixture PDFs, written with MuPDF itself, so no binary test files live in the tree.
// Coordinates are PDF page space (points, origin lower left).

// Helvetica in four styles, Courier, and Times roman and italic.
enum class FontStyle { regular, bold, italic, boldItalic, mono, serif, serifItalic };

struct TextRun {
    std::string text; // one line, drawn with Tj; WinAnsi characters only
    double x = 72;
    double y = 720; // baseline
    double size = 12;
    FontStyle style = FontStyle::regular;
    // Direction of the baseline in degrees counter-clockwise (0, 90, 180, 270): with the
    // page's /Rotate as angle the line reads upright as the page is shown.
    int angle = 0;
};

// Written as a plain annotation dictionary with exactly these entries (plus /F print and
// /P), and no appearance stream: MuPDF and poppler synthesise one when drawing. Geometry is
// derived from `rect`: one quad for text markup and Redact, /L corner to corner, a zigzag
// /Vertices or /InkList, a diamond Polygon. A Widget is a text field named `author` (else
// "field") whose value is `contents`, `color` and `interiorColor` its /MK border and
// background; FreeText text is black.
struct FixtureAnnotation {
    std::string subtype; // "Highlight", "Square", "FreeText", "Text", "Link", "Widget", ...
    Rect rect;
    std::optional<Color> color; // alpha below 1 becomes /CA; alpha 0 writes an empty /C
    std::optional<Color> interiorColor;
    std::optional<double> borderWidth; // /BS solid; absent: no /BS and no /Border
    std::optional<std::string> contents;
    std::optional<std::string> author; // /T
    std::optional<double> fontSize;    // FreeText /DA; absent: no /DA font
    std::optional<std::string> uri;    // Link: a /URI action; absent: /Dest to its own page
    std::optional<int> destPage;       // Link: /Dest [page /XYZ x y null] to this page index
    std::optional<Point> destPoint;    // with destPage; absent: /Fit
};

// An annotation of a subtype over a rectangle, its other fields left out.
FixtureAnnotation annotationOf(const std::string& subtype, const Rect& rect,
                               std::optional<Color> colour,
                               std::optional<std::string> contents = std::nullopt,
                               std::optional<double> borderWidth = std::nullopt);

// A line through the points, stroked in black after the text (rules, fraction bars).
struct Stroke {
    std::vector<Point> points;
    double width = 0.5;
};

struct FixturePage {
    double width = 612;
    double height = 792;
    int rotation = 0;
    std::vector<TextRun> runs;
    std::vector<Stroke> strokes;
    std::vector<FixtureAnnotation> annotations;
    std::optional<Rect> cropBox;
};

// One range of the /PageLabels number tree.
struct PageLabelRange {
    int startIndex = 0;
    std::optional<char> style; // 'D', 'R', 'r', 'A', 'a'; absent: prefix only
    std::string prefix;
    int start = 1;
};

// An outline entry: a destination page (with a point: /XYZ, else /Fit) or a URI action.
struct FixtureOutlineItem {
    std::string title;
    std::optional<int> page;
    std::optional<Point> point;
    std::optional<std::string> uri;
    std::vector<FixtureOutlineItem> children;
};

struct FixtureDocument {
    std::vector<FixturePage> pages;
    std::optional<std::string> title;
    std::optional<std::string> author;
    std::optional<std::string> subject;
    std::optional<std::string> keywords;
    std::vector<PageLabelRange> pageLabels;
    std::optional<std::string> userPassword; // encrypts with `encryption`
    std::string encryption = "aes-256";      // "rc4-40", "rc4-128", "aes-128", "aes-256"
    bool allowsAnnotating = true;            // PDF_PERM_ANNOTATE (and modify) granted
    std::vector<FixtureOutlineItem> outline;
};

// Writes the document and returns `path`. Each page's text is one BT /Fn size Tf x y Td (..) Tj
// ET per run, fonts F1, F2, ... in order of first use on the page, the standard Type 1 fonts
// with /WinAnsiEncoding, not embedded. Throws std::invalid_argument for text outside WinAnsi
// and std::runtime_error (with MuPDF's message) when writing fails.
std::filesystem::path writePdf(const FixtureDocument& document, const std::filesystem::path& path);

// Ready-made documents.
// `pages` pages of text in the four Helvetica styles; page i's first line reads "Page i+1".
// The five sentences below it are the same on every page: "alpha" and "beta" twice each,
// "the" six times (once as "The"), no other word containing any of them. Has Title, Author,
// Subject and Keywords.
FixtureDocument textDocument(int pages = 3);
// A 4-column, 6-row table drawn in columns (header row bold), on one US Letter page:
// Name, Qty, Price, Total; the names left-aligned, the numbers right-aligned.
FixtureDocument tableDocument();
// Pages rotated 0, 90, 180 and 270.
FixtureDocument rotatedDocument();
// 8 pages: i, ii, iii, iv, then 1, 2, then.
FixtureDocument labelledDocument();
// One page of text carrying, in this order: Highlight, Underline, StrikeOut, Squiggly
// (each over a word), Square (border 3, interior colour), Square (no border entries),
// Circle, Line, PolyLine, Polygon, Ink, FreeText (18 pt), Text, Link (URI action), Stamp,
// Redact and a text-field Widget. Colours and contents differ, every markup annotation
// has its own author.
FixtureDocument everyAnnotationDocument();
// Three pages of text. Page 1 has a link to page 3 at (100, 700), a /Fit link to page 2 and
// a link to https://example.com/; the outline is "Chapter 1" (page 1) with "Section 1.1"
// (page 2 at (72, 500)), "Chapter 2" (page 3) and "Website" (the same URI).
FixtureDocument linkedDocument();
// A sentence that continues from the end of page 1 onto the start of page 2: page 1's
// last line ends "the quick brown", page 2's first line begins "fox jumps over".
FixtureDocument pageBreakDocument();
// textDocument(2) marked on page 1: line 1 highlighted with the comment "check this figure",
// line 3 highlighted bare, a note "a note" of `noteSize` points square beside line 1, and
// an outline square over line 5.
FixtureDocument markedTextDocument(double noteSize = 20);

// Measures with the same standard fonts the writer uses, so tests can aim annotations
// and selections at words. Throw std::invalid_argument for text outside WinAnsi.
double textWidth(const std::string& text, FontStyle style, double size);
// The box of a run's glyphs, from the font's descender to its ascender (turned about the
// run's origin by its angle).
Rect textBounds(const TextRun& run);
// The box of the first occurrence of `part` in the run; throws std::invalid_argument when
// the run does not contain it.
Rect textBounds(const TextRun& run, const std::string& part);

// textDocument(2) under AES-256 with the user password `password`.
void writeEncryptedPdf(const std::filesystem::path& path, const std::string& password = "secret");
void writeZeroPagePdf(const std::filesystem::path& path); // a valid file with an empty page tree
void writeTextFileNamedPdf(const std::filesystem::path& path); // plain text
void writeTruncatedPdf(const std::filesystem::path& path);     // textDocument(4) cut in half
void writeGarbagePdf(const std::filesystem::path& path);       // "%PDF-1.7" then random bytes

} // namespace ombrix::testing
