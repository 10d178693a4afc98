#include "support/Fixtures.h"

#include <cstdint>
#include <fstream>
#include <stdexcept>

namespace ombrix::testing {

namespace {

TextRun run(std::string text, double y, FontStyle style = FontStyle::regular, double size = 12,
            double x = 72) {
    return TextRun{std::move(text), x, y, size, style};
}

void writeBytes(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

// The document serialised in memory, as writePdf would put it on disk.
std::string pdfBytes(const FixtureDocument& document, const std::filesystem::path& scratch) {
    writePdf(document, scratch);
    std::ifstream in(scratch, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof()) {
        throw std::runtime_error("cannot read back " + scratch.string());
    }
    std::filesystem::remove(scratch);
    return bytes;
}

} // namespace

FixtureAnnotation annotationOf(const std::string& subtype, const Rect& rect,
                               std::optional<Color> colour, std::optional<std::string> contents,
                               std::optional<double> borderWidth) {
    FixtureAnnotation a;
    a.subtype = subtype;
    a.rect = rect;
    a.color = colour;
    a.contents = std::move(contents);
    a.borderWidth = borderWidth;
    return a;
}

FixtureDocument textDocument(int pages) {
    FixtureDocument document;
    document.title = "Ombrix Text Fixture";
    document.author = "Ombrix Tests";
    document.subject = "Searchable text";
    document.keywords = "alpha, beta, fixture";
    for (int i = 0; i < pages; ++i) {
        FixturePage page;
        page.runs = {
            run("Page " + std::to_string(i + 1), 740, FontStyle::bold, 18),
            run("The alpha release opens every page of the file.", 700),
            run("Readers mark the beta chapters with a yellow pen.", 680, FontStyle::bold),
            run("Search finds alpha and beta on each page.", 660, FontStyle::italic),
            run("A short summary closes the page.", 640, FontStyle::boldItalic),
            run("Notes in the margin stay with the document.", 620),
        };
        document.pages.push_back(std::move(page));
    }
    return document;
}

FixtureDocument tableDocument() {
    struct Row {
        const char* name;
        const char* qty;
        const char* price;
        const char* total;
    };
    static const Row rows[] = {
        {"Name", "Qty", "Price", "Total"}, {"Apples", "3", "1.20", "3.60"},
        {"Bread", "2", "2.50", "5.00"},    {"Cheese", "1", "7.25", "7.25"},
        {"Dates", "4", "3.10", "12.40"},   {"Eggs", "12", "0.30", "3.60"},
    };
    // Left edge of the name column, right edges of the three number columns.
    const double nameX = 72, qtyRight = 260, priceRight = 360, totalRight = 460;
    const double size = 14;

    FixturePage page;
    double y = 700;
    bool header = true;
    for (const Row& row : rows) {
        FontStyle style = header ? FontStyle::bold : FontStyle::regular;
        auto rightAligned = [&](const char* text, double right) {
            return run(text, y, style, size, right - textWidth(text, style, size));
        };
        page.runs.push_back(run(row.name, y, style, size, nameX));
        page.runs.push_back(rightAligned(row.qty, qtyRight));
        page.runs.push_back(rightAligned(row.price, priceRight));
        page.runs.push_back(rightAligned(row.total, totalRight));
        y -= 24;
        header = false;
    }
    FixtureDocument document;
    document.title = "Ombrix Table Fixture";
    document.pages.push_back(std::move(page));
    return document;
}

FixtureDocument rotatedDocument() {
    FixtureDocument document;
    int index = 0;
    for (int rotation : {0, 90, 180, 270}) {
        FixturePage page;
        page.rotation = rotation;
        page.runs = {
            run("Page " + std::to_string(++index), 740, FontStyle::bold, 18),
            run("This page is rotated by " + std::to_string(rotation) + " degrees.", 700),
        };
        document.pages.push_back(std::move(page));
    }
    return document;
}

FixtureDocument linkedDocument() {
    FixtureDocument document = textDocument(3);
    FixtureAnnotation toThird;
    toThird.subtype = "Link";
    toThird.rect = Rect{72, 600, 100, 20};
    toThird.destPage = 2;
    toThird.destPoint = Point{100, 700};
    FixtureAnnotation toSecond = toThird;
    toSecond.rect = Rect{72, 560, 100, 20};
    toSecond.destPage = 1;
    toSecond.destPoint.reset();
    FixtureAnnotation web = toThird;
    web.rect = Rect{300, 600, 100, 20};
    web.destPage.reset();
    web.destPoint.reset();
    web.uri = "https://example.com/";
    document.pages[0].annotations = {toThird, toSecond, web};

    FixtureOutlineItem section{"Section 1.1", 1, Point{72, 500}, std::nullopt, {}};
    document.outline = {
        FixtureOutlineItem{"Chapter 1", 0, std::nullopt, std::nullopt, {section}},
        FixtureOutlineItem{"Chapter 2", 2, std::nullopt, std::nullopt, {}},
        FixtureOutlineItem{"Website", std::nullopt, std::nullopt, "https://example.com/", {}},
    };
    return document;
}

FixtureDocument labelledDocument() {
    FixtureDocument document;
    for (int i = 0; i < 8; ++i) {
        FixturePage page;
        page.runs = {run("Page " + std::to_string(i + 1), 740, FontStyle::bold, 18)};
        document.pages.push_back(std::move(page));
    }
    document.pageLabels = {
        PageLabelRange{0, 'r', "", 1},
        PageLabelRange{4, 'D', "", 1},
        PageLabelRange{6, 'D', "A-", 1},
    };
    return document;
}

FixtureDocument everyAnnotationDocument() {
    FixturePage page;
    page.runs = {
        run("Annotated page", 740, FontStyle::bold, 18),
        run("The highlighted words sit on this line.", 700),
        run("The underlined words sit on this line.", 680),
        run("The struck out words sit on this line.", 660),
        run("The squiggly words sit on this line.", 640),
    };
    auto markup = [&](const char* subtype, const TextRun& line, const char* word, Color color,
                      const char* author) {
        FixtureAnnotation a;
        a.subtype = subtype;
        a.rect = textBounds(line, word);
        a.color = color;
        a.contents = std::string(subtype) + " note";
        a.author = author;
        return a;
    };
    auto shape = [](const char* subtype, Rect rect, Color color, const char* author) {
        FixtureAnnotation a;
        a.subtype = subtype;
        a.rect = rect;
        a.color = color;
        a.contents = std::string(subtype) + " note";
        a.author = author;
        return a;
    };

    std::vector<FixtureAnnotation>& list = page.annotations;
    list.push_back(
        markup("Highlight", page.runs[1], "highlighted", Color::rgb(255, 204, 0, 0.5), "Ada"));
    list.push_back(markup("Underline", page.runs[2], "underlined", Color::rgb(0, 122, 255), "Ben"));
    list.push_back(markup("StrikeOut", page.runs[3], "struck out", Color::rgb(255, 59, 48), "Cy"));
    list.push_back(markup("Squiggly", page.runs[4], "squiggly", Color::rgb(52, 199, 89), "Dee"));

    FixtureAnnotation bordered =
        shape("Square", Rect{72, 500, 100, 80}, Color::rgb(175, 82, 222), "Eve");
    bordered.contents = "Bordered square";
    bordered.interiorColor = Color::rgb(255, 149, 0);
    bordered.borderWidth = 3;
    list.push_back(bordered);
    FixtureAnnotation plain =
        shape("Square", Rect{200, 500, 100, 80}, Color::rgb(128, 64, 0), "Fay");
    plain.contents = "Plain square";
    list.push_back(plain);
    FixtureAnnotation circle =
        shape("Circle", Rect{328, 500, 100, 80}, Color::rgb(0, 128, 128), "Gus");
    circle.interiorColor = Color::rgb(200, 230, 255);
    circle.borderWidth = 2;
    list.push_back(circle);
    FixtureAnnotation line = shape("Line", Rect{456, 500, 84, 80}, Color::rgb(64, 64, 64), "Hal");
    line.borderWidth = 1.5;
    list.push_back(line);

    list.push_back(shape("PolyLine", Rect{72, 400, 100, 80}, Color::rgb(255, 0, 255), "Ivy"));
    list.push_back(shape("Polygon", Rect{200, 400, 100, 80}, Color::rgb(0, 0, 128), "Jo"));
    list.push_back(shape("Ink", Rect{328, 400, 100, 80}, Color::rgb(128, 0, 0), "Kit"));

    // 18 points, so a reader that falls back to a default size is caught.
    FixtureAnnotation freeText =
        shape("FreeText", Rect{72, 300, 240, 40}, Color::rgb(230, 230, 230), "Lea");
    freeText.contents = "Free text at 18 points";
    freeText.fontSize = 18;
    list.push_back(freeText);
    list.push_back(shape("Text", Rect{72, 220, 24, 24}, Color::rgb(255, 230, 0), "Ned"));
    FixtureAnnotation link = shape("Link", Rect{200, 220, 120, 20}, Color::rgb(0, 0, 255), "");
    link.author.reset();
    link.contents = "Ombrix home page";
    link.uri = "https://example.com/ombrix";
    list.push_back(link);
    list.push_back(shape("Stamp", Rect{340, 210, 150, 40}, Color::rgb(200, 0, 0), "Oz"));
    FixtureAnnotation redact =
        shape("Redact", Rect{72, 150, 150, 30}, Color::rgb(255, 0, 0), "Pam");
    redact.interiorColor = Color::rgb(0, 0, 0);
    list.push_back(redact);

    FixtureAnnotation widget =
        shape("Widget", Rect{300, 150, 200, 24}, Color::rgb(0, 0, 0), "name");
    widget.interiorColor = Color::rgb(255, 255, 255);
    widget.contents = "Field value";
    widget.borderWidth = 1;
    list.push_back(widget);

    FixtureDocument document;
    document.title = "Ombrix Annotation Fixture";
    document.pages.push_back(std::move(page));
    return document;
}

FixtureDocument pageBreakDocument() {
    FixtureDocument document;
    FixturePage first;
    first.runs = {
        run("Page 1", 740, FontStyle::bold, 18),
        run("A sentence begins near the end of this page.", 700),
        run("It names the quick brown", 680),
    };
    FixturePage second;
    second.runs = {
        run("fox jumps over the lazy dog on the next page.", 740),
        run("Page 2", 700, FontStyle::bold, 18),
    };
    document.pages = {std::move(first), std::move(second)};
    return document;
}

void writeEncryptedPdf(const std::filesystem::path& path, const std::string& password) {
    FixtureDocument document = textDocument(2);
    document.userPassword = password;
    writePdf(document, path);
}

void writeZeroPagePdf(const std::filesystem::path& path) {
    writePdf(FixtureDocument{}, path);
}

void writeTextFileNamedPdf(const std::filesystem::path& path) {
    writeBytes(path, "This is a plain text file with a .pdf name.\n"
                     "It has no PDF header, objects or cross-reference table.\n");
}

void writeTruncatedPdf(const std::filesystem::path& path) {
    std::filesystem::path scratch = path;
    scratch += ".whole";
    std::string bytes = pdfBytes(textDocument(4), scratch);
    writeBytes(path, bytes.substr(0, bytes.size() / 2));
}

void writeGarbagePdf(const std::filesystem::path& path) {
    std::string bytes = "%PDF-1.7\n";
    // xorshift32 with a fixed seed: the same bytes on every run.
    std::uint32_t state = 0x9e3779b9u;
    for (int i = 0; i < 4096; ++i) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        bytes += static_cast<char>(state & 0xff);
    }
    writeBytes(path, bytes);
}

} // namespace ombrix::testing
