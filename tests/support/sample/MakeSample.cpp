// Writes the sample document `scripts/run` opens: `make-sample OUTPUT.pdf`.
// Three pages in several fonts, a ruled table, a displayed formula, highlights and a note.
#include "support/Fixtures.h"

#include <exception>
#include <iostream>

using namespace ombrix;
using namespace ombrix::testing;

namespace {

const Color yellow{1.0, 0.92, 0.23, 1.0};
const Color green{0.55, 0.9, 0.45, 1.0};
const Color pink{1.0, 0.6, 0.75, 1.0};

TextRun text(std::string line, double y, FontStyle style = FontStyle::serif, double size = 11,
             double x = 72) {
    return TextRun{std::move(line), x, y, size, style};
}

FixtureAnnotation highlight(const TextRun& run, const std::string& part, Color color,
                            std::optional<std::string> comment = std::nullopt) {
    FixtureAnnotation a;
    a.subtype = "Highlight";
    a.rect = textBounds(run, part);
    a.color = color;
    a.contents = std::move(comment);
    a.author = "Ombrix";
    return a;
}

FixturePage introduction() {
    FixturePage page;
    page.runs = {
        text("Reading and marking up with Ombrix PDF", 720, FontStyle::bold, 22),
        text("A sample document made by the project itself", 696, FontStyle::serifItalic, 13),
        text("Ombrix PDF shows documents page by page or as one continuous column.", 660),
        text("Drag across a line to select its text, double click a word to select it,", 645),
        text("and press Ctrl+C to copy what you selected. Hold Alt and drag a rectangle", 630),
        text("to mark a region of the page: a table, a formula or a figure.", 615),
        text("Annotations", 580, FontStyle::bold, 14),
        text("Highlights keep their colour and their comment inside the PDF file itself,", 556,
             FontStyle::regular, 10.5),
        text("so every other reader shows them too. Click one to select it and press Delete", 541,
             FontStyle::regular, 10.5),
        text("to remove it; the note on the right holds a comment of its own.", 526,
             FontStyle::regular, 10.5),
        text("Command line", 490, FontStyle::bold, 14),
        text("$ ombrix highlights sample.pdf", 466, FontStyle::mono, 10),
        text("$ ombrix table sample.pdf --page 2 --rect 72,575,396,140", 452, FontStyle::mono, 10),
        text("The same core drives the window and the command-line tool, so what you see", 420),
        text("on screen is what the tool extracts.", 405),
    };
    page.annotations = {
        highlight(page.runs[3], "select its text", yellow, "Selection works by character"),
        highlight(page.runs[7], "keep their colour and their comment", green),
        highlight(page.runs[14], "what the tool extracts", pink),
    };
    FixtureAnnotation note;
    note.subtype = "Text";
    note.rect = Rect{520, 520, 20, 20};
    note.color = yellow;
    note.contents = "Notes like this one open as a comment.";
    note.author = "Ombrix";
    page.annotations.push_back(note);
    return page;
}

// A ruled table of four columns, numbers right-aligned, and the quadratic formula set
// with a fraction bar and a radical drawn as strokes.
FixturePage tableAndFormula() {
    FixturePage page;
    page.runs.push_back(text("Orders in the first quarter", 720, FontStyle::bold, 14));
    const double left = 72, right = 468;
    const double columns[] = {72, 250, 340, 468}; // left edge of the first, right edges after
    const char* header[] = {"Item", "Qty", "Price", "Total"};
    const char* rows[][4] = {{"Notebook", "12", "3.50", "42.00"},
                             {"Fountain pen", "3", "24.90", "74.70"},
                             {"Highlighter set", "8", "6.25", "50.00"},
                             {"Paper clips", "250", "0.02", "5.00"},
                             {"Sum", "", "", "171.70"}};
    auto row = [&](const char* const cells[4], double y, FontStyle style) {
        page.runs.push_back(text(cells[0], y, style, 11, columns[0] + 4));
        for (int c = 1; c < 4; ++c) {
            if (*cells[c] == '\0') {
                continue;
            }
            double width = textWidth(cells[c], style, 11);
            page.runs.push_back(text(cells[c], y, style, 11, columns[c] - 4 - width));
        }
    };
    double y = 690;
    row(header, y, FontStyle::bold);
    page.strokes.push_back({{{left, y + 16}, {right, y + 16}}, 1});
    page.strokes.push_back({{{left, y - 6}, {right, y - 6}}, 0.6});
    for (const auto& cells : rows) {
        y -= 20;
        row(cells, y, &cells == &rows[4] ? FontStyle::bold : FontStyle::regular);
        if (&cells == &rows[3]) {
            page.strokes.push_back({{{left, y - 6}, {right, y - 6}}, 0.6});
        }
    }
    page.strokes.push_back({{{left, y - 6}, {right, y - 6}}, 1});

    page.runs.push_back(text("The roots of a quadratic equation", 540, FontStyle::bold, 14));
    page.runs.push_back(
        text("A polynomial of degree two has at most two real roots, given by", 516));
    // x = (-b ± sqrt(b² - 4ac)) / 2a, centred on the page.
    const double base = 460, size = 16;
    page.runs.push_back(text("x", base, FontStyle::serifItalic, size, 230));
    page.runs.push_back(text("=", base, FontStyle::serif, size, 244));
    page.runs.push_back(text("–", base + 13, FontStyle::serif, size, 264));
    page.runs.push_back(text("b", base + 13, FontStyle::serifItalic, size, 272));
    page.runs.push_back(text("±", base + 13, FontStyle::serif, size, 284));
    page.runs.push_back(text("b² – 4ac", base + 13, FontStyle::serifItalic, size, 318));
    page.runs.push_back(text("2a", base - 15, FontStyle::serifItalic, size, 300));
    page.runs.push_back(text("(1)", base, FontStyle::serif, 11, 500));
    page.strokes.push_back({{{262, base + 5}, {386, base + 5}}, 0.8}); // bar
    page.strokes.push_back({{{302, base + 18},
                             {306, base + 20},
                             {311, base + 10}, // radical
                             {316, base + 31},
                             {384, base + 31}},
                            0.8});
    page.runs.push_back(text("where a, b and c are the coefficients and a is not zero.", 410));
    FixtureAnnotation formula;
    formula.subtype = "Highlight";
    formula.rect = Rect{224, base - 22, 170, 58};
    formula.color = Color{0.55, 0.75, 1.0, 1.0};
    formula.contents = "Formula (1)";
    page.annotations.push_back(formula);
    return page;
}

FixturePage closing() {
    FixturePage page;
    page.runs = {
        text("Layout and zoom", 720, FontStyle::bold, 14),
        text("Ctrl and the mouse wheel zoom about the pointer; the arrow keys, Page Up,", 696),
        text("Page Down, Home and End scroll. Pages are drawn on a worker thread and kept", 681),
        text("in a cache of bounded size, so long documents stay light.", 666),
        text("Underlined and struck-out text are annotations too.", 630, FontStyle::regular, 11),
    };
    FixtureAnnotation underline;
    underline.subtype = "Underline";
    underline.rect = textBounds(page.runs[4], "Underlined");
    underline.color = Color{0.1, 0.4, 0.9, 1.0};
    page.annotations.push_back(underline);
    FixtureAnnotation square;
    square.subtype = "Square";
    square.rect = Rect{72, 520, 200, 80};
    square.color = Color{0.85, 0.2, 0.2, 1.0};
    square.borderWidth = 2;
    square.contents = "A rectangle drawn in shape mode";
    page.annotations.push_back(square);
    return page;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: make-sample OUTPUT.pdf\n";
        return 2;
    }
    try {
        FixtureDocument document;
        document.title = "Ombrix PDF sample";
        document.author = "Ombrix PDF";
        document.pages = {introduction(), tableAndFormula(), closing()};
        writePdf(document, argv[1]);
    } catch (const std::exception& e) {
        std::cerr << "make-sample: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
