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

enum class FontStyle { regular, bold, italic, boldItalic, mono };

struct TextRun {
    std::string text; // one line, drawn with Tj; WinAnsi characters only
    double x = 72;
    double y = 720; // baseline
    double size = 12;
    FontStyle style = FontStyle::regular;
};

struct FixtureAnnotation {
    std::string subtype; // "Highlight", "Square", "FreeText", "Text", "Link", "Widget", ...
    Rect rect;
    std::optional<Color> color; // alpha becomes /CA
    std::optional<Color> interiorColor;
    std::optional<double> borderWidth; // absent: no /BS and no /Border
    std::optional<std::string> contents;
    std::optional<std::string> author; // /T
    std::optional<double> fontSize;    // FreeText /DA; absent: no /DA font
};

struct FixturePage {
    double width = 612;
    double height = 792;
    int rotation = 0;
    std::vector<TextRun> runs;
    std::vector<FixtureAnnotation> annotations;
};

// One range of the /PageLabels number tree.
struct PageLabelRange {
    int startIndex = 0;
    std::optional<char> style; // 'D', 'R', 'r', 'A', 'a'; absent: prefix only
    std::string prefix;
    int start = 1;
};

struct FixtureDocument {
    std::vector<FixturePage> pages;
    std::optional<std::string> title;
    std::optional<std::string> author;
    std::optional<std::string> subject;
    std::optional<std::string> keywords;
    std::vector<PageLabelRange> pageLabels;
    std::optional<std::string> userPassword; // encrypts with AES-256
};

// Writes the document and returns `path`. Throws std::runtime_error on failure.
std::filesystem::path writePdf(const FixtureDocument& document, const std::filesystem::path& path);

// Ready-made documents.
// `pages` pages of text in the four Helvetica styles; page i's first line reads "Page i+1".
FixtureDocument textDocument(int pages = 3);
// A 4-column, 6-row table drawn in columns (header row bold), on one US Letter page.
FixtureDocument tableDocument();
// Pages rotated 0, 90, 180 and 270.
FixtureDocument rotatedDocument();
// 8 pages: i, ii, iii, iv, then 1, 2, then.
FixtureDocument labelledDocument();
// One page carrying one annotation of every subtype the program knows, plus a link
// and a form widget.
FixtureDocument everyAnnotationDocument();
// A sentence that continues from the end of page 1 onto the start of page 2.
FixtureDocument pageBreakDocument();

void writeEncryptedPdf(const std::filesystem::path& path, const std::string& password = "secret");
void writeZeroPagePdf(const std::filesystem::path& path); // a valid file with an empty page tree
void writeTextFileNamedPdf(const std::filesystem::path& path); // plain text
void writeTruncatedPdf(const std::filesystem::path& path);     // a real PDF cut in half
void writeGarbagePdf(const std::filesystem::path& path);       // "%PDF-1.7" then random bytes

} // namespace ombrix::testing
