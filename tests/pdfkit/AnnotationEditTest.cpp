#include "PdfkitTestSupport.h"
#include "support/RawPdf.h"

#include <algorithm>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <map>
#include <set>

namespace ombrix::pdfkit::test {
namespace {

bool sameRect(const Rect& a, const Rect& b) {
    return std::abs(a.x - b.x) < 0.01 && std::abs(a.y - b.y) < 0.01 &&
           std::abs(a.width - b.width) < 0.01 && std::abs(a.height - b.height) < 0.01;
}

// Summed difference of two renders over a page-space rectangle (scale 1).
long difference(const Image& a, const Image& b, const Rect& r) {
    long sum = 0;
    for (int y = std::max(0, int(r.minY())); y < std::min(a.height(), int(r.maxY())); ++y) {
        for (int x = std::max(0, int(r.minX())); x < std::min(a.width(), int(r.maxX())); ++x) {
            Rgba p = pixelAt(a, x, a.height() - 1 - y), q = pixelAt(b, x, b.height() - 1 - y);
            sum += std::abs(p.r - q.r) + std::abs(p.g - q.g) + std::abs(p.b - q.b);
        }
    }
    return sum;
}

struct Kind {
    const char* subtype; // as callers pass it
    const char* type;    // as it reads back
    enum { markup, shape, text, plain } group;
};

const Kind kKinds[] = {
    {"Highlight", "Highlight", Kind::markup},
    {"Underline", "Underline", Kind::markup},
    {"StrikeOut", "StrikeOut", Kind::markup},
    {"/Squiggly", "Squiggly", Kind::markup},
    {"Square", "Square", Kind::shape},
    {"Circle", "Circle", Kind::shape},
    {"Line", "Line", Kind::shape},
    {"/PolyLine", "PolyLine", Kind::shape},
    {"/Polygon", "Polygon", Kind::shape},
    {"Ink", "Ink", Kind::shape},
    {"FreeText", "FreeText", Kind::text},
    {"Text", "Text", Kind::text},
    {"Link", "Link", Kind::plain},
    {"Stamp", "Stamp", Kind::plain},
    {"Redaction", "Redact", Kind::plain},
};

struct Snapshot {
    std::string type;
    Rect bounds;
    std::optional<std::string> contents, userName;
    std::optional<Color> color, interior, fontColor;
    std::optional<Font> font;
    std::optional<Border> border;
};

Snapshot snapshot(const Annotation& a) {
    return Snapshot{a.type(),          a.bounds(),    a.contents(), a.userName(), a.color(),
                    a.interiorColor(), a.fontColor(), a.font(),     a.border()};
}

void expectSame(const Snapshot& want, const Annotation& got) {
    SCOPED_TRACE(want.type);
    EXPECT_EQ(got.type(), want.type);
    EXPECT_TRUE(sameRect(got.bounds(), want.bounds));
    EXPECT_EQ(got.contents(), want.contents);
    EXPECT_EQ(got.userName(), want.userName);
    EXPECT_EQ(got.font(), want.font);
    EXPECT_EQ(got.border(), want.border);
    for (auto [w, g] :
         {std::pair{want.color, got.color()}, std::pair{want.interior, got.interiorColor()},
          std::pair{want.fontColor, got.fontColor()}}) {
        if (w) {
            EXPECT_THAT(g, ColorNear(*w));
        } else {
            EXPECT_EQ(g, std::nullopt);
        }
    }
}

std::shared_ptr<Annotation> makeAnnotation(const Kind& kind, const Rect& bounds) {
    auto a = Annotation::create(bounds, kind.subtype);
    a->setContents(std::string("About ") + kind.type + " – ünïcode");
    a->setUserName("Zoë");
    switch (kind.group) {
    case Kind::markup:
        a->setColor(Color{1, 0.8, 0, 0.5});
        break;
    case Kind::shape:
        a->setColor(Color{0.8, 0.1, 0.1, 1});
        a->setInteriorColor(Color{0.1, 0.2, 0.9, 1});
        a->setBorder(Border{2.5});
        break;
    case Kind::text:
        a->setColor(Color{0, 0, 0, 0});
        a->setFontColor(Color{0, 0, 1, 1});
        a->setFont(Font{"Helvetica", 16});
        break;
    case Kind::plain:
        a->setColor(Color{0.5, 0, 0.5, 1});
        break;
    }
    return a;
}

TEST(AnnotationEdit, DetachedAnnotationsKeepWhatIsSet) {
    auto a = Annotation::create(Rect{10, 20, 30, 40}, "/Squiggly");
    EXPECT_EQ(a->type(), "Squiggly");
    EXPECT_EQ(a->page(), nullptr);
    EXPECT_EQ(a->color(), std::nullopt);
    ASSERT_EQ(a->quadRects().size(), 1u);
    EXPECT_EQ(a->quadRects()[0], (Rect{10, 20, 30, 40}));

    a->setColor(Color{1, 0, 0, 0.25});
    EXPECT_THAT(a->color(), ColorNear(Color{1, 0, 0, 0.25}));
    a->setColor(SystemColors::clear); // no colour; the opacity stays
    EXPECT_EQ(a->color(), std::nullopt);
    a->setColor(Color{0, 1, 0, 1});
    EXPECT_THAT(a->color(), ColorNear(Color{0, 1, 0, 1}));

    a->setBounds(Rect{50, 60, -20, -10}); // standardized, and the quad follows
    EXPECT_EQ(a->bounds(), (Rect{30, 50, 20, 10}));
    EXPECT_EQ(a->quadRects()[0], (Rect{30, 50, 20, 10}));
    EXPECT_EQ(Annotation::create(Rect{}, "Square")->quadRects().size(), 0u);
}

TEST(AnnotationEdit, EveryKindIsVisibleAndSurvivesWriteAndReopen) {
    fx::TempDir dir;
    auto doc = openFixture(dir, fx::textDocument(1), "text.pdf");
    auto page = doc->page(0);
    const Image before = page->draw(612, 792, 1.0, true);

    std::vector<Snapshot> made;
    int i = 0;
    for (const Kind& kind : kKinds) {
        const Rect bounds{40.0 + (i % 4) * 140, 520.0 - (i / 4) * 110, 110, 70};
        auto a = makeAnnotation(kind, bounds);
        page->addAnnotation(a);
        EXPECT_EQ(a->page(), page);
        made.push_back(snapshot(*a));
        // Icons and stamps take the shape of their symbol; everything else keeps its box.
        if (kind.type != std::string("Text") && kind.type != std::string("Stamp")) {
            EXPECT_TRUE(sameRect(a->bounds(), bounds)) << kind.type;
        }
        EXPECT_TRUE(bounds.contains(a->bounds())) << kind.type;
        EXPECT_EQ(made.back().type, kind.type);
        EXPECT_EQ(made.back().userName, "Zoë");
        if (kind.group == Kind::markup) {
            EXPECT_THAT(made.back().color, ColorNear(Color{1, 0.8, 0, 0.5}));
            EXPECT_EQ(a->quadRects(), std::vector<Rect>{bounds});
        }
        if (kind.group == Kind::text) {
            EXPECT_EQ(made.back().color, std::nullopt);
            EXPECT_EQ(made.back().font, (Font{"Helvetica", 16}));
        }
        ++i;
    }

    const Image after = page->draw(612, 792, 1.0, true);
    auto list = page->annotations();
    ASSERT_EQ(list.size(), std::size(kKinds));
    for (std::size_t k = 0; k < list.size(); ++k) {
        if (made[k].type != "Link") { // links have no appearance
            EXPECT_GT(difference(before, after, made[k].bounds), 500) << made[k].type;
        }
    }

    doc->write(dir / "edited.pdf");
    auto reopened = Document::open(dir / "edited.pdf");
    ASSERT_NE(reopened, nullptr);
    auto back = reopened->page(0)->annotations();
    ASSERT_EQ(back.size(), made.size());
    for (std::size_t k = 0; k < made.size(); ++k) {
        expectSame(made[k], *back[k]);
    }
}

TEST(AnnotationEdit, MovingMarkupMovesItsQuad) {
    fx::TempDir dir;
    auto doc = openFixture(dir, fx::everyAnnotationDocument(), "annots.pdf");
    auto highlight = doc->page(0)->annotations().front();
    const Rect moved{100, 300, 80, 20};
    highlight->setBounds(moved);
    EXPECT_TRUE(sameRect(highlight->bounds(), moved));
    ASSERT_EQ(highlight->quadRects().size(), 1u);
    EXPECT_TRUE(sameRect(highlight->quadRects()[0], moved));

    // Several quads scale with the box.
    highlight->setQuadRects({Rect{100, 320, 100, 10}, Rect{100, 300, 50, 10}});
    EXPECT_TRUE(sameRect(highlight->bounds(), Rect{100, 300, 100, 30}));
    highlight->setBounds(Rect{0, 0, 200, 60});
    auto quads = highlight->quadRects();
    ASSERT_EQ(quads.size(), 2u);
    EXPECT_TRUE(sameRect(quads[0], Rect{0, 40, 200, 20}));
    EXPECT_TRUE(sameRect(quads[1], Rect{0, 0, 100, 20}));

    doc->write(dir / "moved.pdf");
    auto reopened = Document::open(dir / "moved.pdf")->page(0)->annotations().front();
    EXPECT_TRUE(sameRect(reopened->bounds(), Rect{0, 0, 200, 60}));
    EXPECT_EQ(reopened->quadRects().size(), 2u);
}

TEST(AnnotationEdit, EditsChangeWhatEveryReaderDraws) {
    fx::TempDir dir;
    auto doc = openFixture(dir, fx::textDocument(1), "text.pdf");
    auto page = doc->page(0);
    auto square = Annotation::create(Rect{300, 100, 200, 150}, "Square");
    page->addAnnotation(square);
    square->setInteriorColor(Color{0, 0, 1, 1});
    const Point centre{400, 175};
    Rgba ours = pagePixel(page->draw(612, 792, 1.0), 1.0, centre);
    EXPECT_TRUE(ours.b > 240 && ours.r < 20 && ours.g < 20);

    square->setInteriorColor(Color{0, 1, 0, 1});
    ours = pagePixel(page->draw(612, 792, 1.0), 1.0, centre);
    EXPECT_TRUE(ours.g > 240 && ours.r < 20 && ours.b < 20);

    // poppler draws the appearance we wrote.
    doc->write(dir / "square.pdf");
    runCommand("pdftoppm -r 72 -singlefile " + quoted(dir / "square.pdf") + " " +
               quoted(dir / "poppler"));
    const std::string ppm = readBytes(dir / "poppler.ppm");
    ASSERT_EQ(ppm.compare(0, 2, "P6"), 0) << "pdftoppm produced no image";
    const std::size_t header = ppm.find("255\n") + 4;
    const std::size_t at = header + (std::size_t(792 - 175) * 612 + 400) * 3;
    ASSERT_LT(at + 2, ppm.size());
    EXPECT_LT(static_cast<unsigned char>(ppm[at]), 20);
    EXPECT_GT(static_cast<unsigned char>(ppm[at + 1]), 240);
    EXPECT_LT(static_cast<unsigned char>(ppm[at + 2]), 20);
}

TEST(AnnotationIdentity, RemovedAndAddedBackIsTheSameAnnotationAndSavedOnce) {
    fx::TempDir dir;
    auto doc = openFixture(dir, fx::everyAnnotationDocument(), "annots.pdf");
    auto page = doc->page(0);
    auto original = page->annotations();
    auto square = original[4];
    const Snapshot was = snapshot(*square);

    page->removeAnnotation(square);
    EXPECT_EQ(page->annotations().size(), original.size() - 1);
    EXPECT_EQ(square->page(), nullptr);
    const auto off = page->annotations();
    EXPECT_EQ(std::count(off.begin(), off.end(), square), 0);
    expectSame(was, *square); // still readable while off the page

    page->addAnnotation(square);
    page->addAnnotation(square); // already there: nothing happens
    auto now = page->annotations();
    ASSERT_EQ(now.size(), original.size());
    EXPECT_EQ(now.back(), square);
    EXPECT_EQ(square->page(), page);
    expectSame(was, *square);

    doc->write(dir / "readded.pdf");
    auto reopened = Document::open(dir / "readded.pdf")->page(0)->annotations();
    ASSERT_EQ(reopened.size(), original.size());
    EXPECT_EQ(std::count_if(reopened.begin(), reopened.end(),
                            [](auto& a) { return a->contents() == "Bordered square"; }),
              1);
    expectSame(was, *reopened.back());
}

TEST(AnnotationIdentity, EveryAnnotationCanBeTakenOffAndPutBackInOrder) {
    // How a caller draws a page without its markup: all off, then all back.
    fx::TempDir dir;
    auto doc = openFixture(dir, fx::everyAnnotationDocument(), "annots.pdf");
    auto page = doc->page(0);
    auto all = page->annotations();
    std::vector<Snapshot> was;
    for (auto& a : all) {
        was.push_back(snapshot(*a));
        page->removeAnnotation(a);
    }
    EXPECT_TRUE(page->annotations().empty());
    const Image bare = page->draw(612, 792, 1.0, true);
    for (auto& a : all) {
        page->addAnnotation(a);
    }
    EXPECT_EQ(page->annotations(), all);
    // MuPDF draws a page whose annotations use transparency inside a group, which may
    // round anti-aliased edges one step differently: alike, not identical.
    const Image none = page->draw(612, 792, 1.0, false);
    ASSERT_EQ(bare.byteCount(), none.byteCount());
    int worst = 0;
    for (std::size_t i = 0; i < bare.byteCount(); ++i) {
        worst = std::max(worst, std::abs(int(bare.data()[i]) - int(none.data()[i])));
    }
    EXPECT_LE(worst, 2);

    doc->write(dir / "restored.pdf");
    auto back = Document::open(dir / "restored.pdf")->page(0)->annotations();
    ASSERT_EQ(back.size(), was.size());
    for (std::size_t i = 0; i < back.size(); ++i) {
        if (was[i].type != "Widget") {
            expectSame(was[i], *back[i]);
        }
    }
}

TEST(AnnotationIdentity, RemovingWhatIsNotOnThePageChangesNothing) {
    fx::TempDir dir;
    auto doc = openFixture(dir, fx::everyAnnotationDocument(), "annots.pdf");
    auto other = openFixture(dir, fx::everyAnnotationDocument(), "other.pdf");
    auto page = doc->page(0);
    const auto before = page->annotations();

    page->removeAnnotation(Annotation::create(Rect{0, 0, 10, 10}, "Square"));
    page->removeAnnotation(other->page(0)->annotations()[4]); // equal, but not the same
    page->removeAnnotation(nullptr);
    EXPECT_EQ(page->annotations(), before);

    page->removeAnnotation(before[4]);
    page->removeAnnotation(before[4]);
    EXPECT_EQ(page->annotations().size(), before.size() - 1);
    EXPECT_EQ(other->page(0)->annotations().size(), before.size());
}

TEST(AnnotationIdentity, RemovedAnnotationsAreNotWrittenAndEditsWaitForTheirReturn) {
    fx::TempDir dir;
    auto doc = openFixture(dir, fx::everyAnnotationDocument(), "annots.pdf");
    auto page = doc->page(0);
    auto square = page->annotations()[4];
    page->removeAnnotation(square);
    doc->write(dir / "removed.pdf");
    auto without = Document::open(dir / "removed.pdf")->page(0)->annotations();
    EXPECT_TRUE(std::none_of(without.begin(), without.end(),
                             [](auto& a) { return a->contents() == "Bordered square"; }));

    // Changed while off the page, it comes back changed, and drawn so.
    square->setInteriorColor(Color{0, 0, 1, 1});
    page->addAnnotation(square);
    Rgba c = pagePixel(page->draw(612, 792, 1.0), 1.0, Point{122, 540});
    EXPECT_TRUE(c.b > 240 && c.r < 20) << c.r << "," << c.g << "," << c.b;
    doc->write(dir / "back.pdf");
    auto back = Document::open(dir / "back.pdf")->page(0)->annotations().back();
    EXPECT_THAT(back->interiorColor(), ColorNear(Color{0, 0, 1, 1}));
}

TEST(AnnotationIdentity, AnnotationsMoveBetweenPagesAndDocuments) {
    fx::TempDir dir;
    auto doc = openFixture(dir, fx::textDocument(2), "text.pdf");
    auto other = openFixture(dir, fx::textDocument(1), "other.pdf");
    auto note = Annotation::create(Rect{100, 100, 50, 50}, "Square");
    note->setContents("travelling");
    doc->page(0)->addAnnotation(note);

    doc->page(1)->addAnnotation(note);
    EXPECT_TRUE(doc->page(0)->annotations().empty());
    EXPECT_EQ(doc->page(1)->annotations(), std::vector<std::shared_ptr<Annotation>>{note});
    EXPECT_EQ(note->page(), doc->page(1));

    other->page(0)->addAnnotation(note);
    EXPECT_TRUE(doc->page(1)->annotations().empty());
    EXPECT_EQ(note->page(), other->page(0));
    EXPECT_EQ(note->contents(), "travelling");

    doc->write(dir / "text-out.pdf");
    other->write(dir / "other-out.pdf");
    auto first = Document::open(dir / "text-out.pdf");
    EXPECT_TRUE(first->page(0)->annotations().empty());
    EXPECT_TRUE(first->page(1)->annotations().empty());
    auto second = Document::open(dir / "other-out.pdf")->page(0)->annotations();
    ASSERT_EQ(second.size(), 1u);
    EXPECT_EQ(second[0]->contents(), "travelling");
    EXPECT_TRUE(sameRect(second[0]->bounds(), Rect{100, 100, 50, 50}));
}

TEST(AnnotationEdit, PrivateFlagsAreKeptInTheFileAndTouchNothingElse) {
    fx::TempDir dir;
    auto doc = openFixture(dir, fx::textDocument(2), "text.pdf");
    auto other = openFixture(dir, fx::textDocument(1), "other.pdf");
    auto flagged = Annotation::create(Rect{100, 100, 50, 50}, "Highlight");
    flagged->setPrivateFlag("OmbrixResult", true); // detached: kept until added
    flagged->setPrivateFlag("Open", true);         // not ours: ignored
    EXPECT_TRUE(flagged->privateFlag("OmbrixResult"));
    EXPECT_FALSE(flagged->privateFlag("Open"));
    doc->page(0)->addAnnotation(flagged);
    auto cleared = Annotation::create(Rect{100, 300, 50, 50}, "Highlight");
    doc->page(0)->addAnnotation(cleared);
    cleared->setPrivateFlag("OmbrixResult", true);
    cleared->setPrivateFlag("OmbrixResult", false);
    // Moving to another document lets go of the dictionary; the flag goes along.
    other->page(0)->addAnnotation(cleared);
    other->page(0)->removeAnnotation(cleared);
    doc->page(1)->addAnnotation(cleared);
    auto moved = Annotation::create(Rect{100, 500, 50, 50}, "Square");
    other->page(0)->addAnnotation(moved);
    moved->setPrivateFlag("OmbrixResult", true);
    doc->page(1)->addAnnotation(moved);

    doc->write(dir / "out.pdf");
    auto reopened = Document::open(dir / "out.pdf");
    ASSERT_EQ(reopened->page(0)->annotations().size(), 1u);
    EXPECT_TRUE(reopened->page(0)->annotations()[0]->privateFlag("OmbrixResult"));
    EXPECT_FALSE(reopened->page(0)->annotations()[0]->privateFlag("Open"));
    ASSERT_EQ(reopened->page(1)->annotations().size(), 2u);
    EXPECT_FALSE(reopened->page(1)->annotations()[0]->privateFlag("OmbrixResult"));
    EXPECT_TRUE(reopened->page(1)->annotations()[1]->privateFlag("OmbrixResult"));
}

TEST(AnnotationIdentity, ANotesPopupTravelsWithIt) {
    fx::TempDir dir;
    auto doc = openFixture(dir, fx::textDocument(1), "text.pdf");
    auto page = doc->page(0);
    auto note = Annotation::create(Rect{100, 100, 20, 20}, "Text");
    page->addAnnotation(note);
    EXPECT_EQ(page->annotations().size(), 1u); // the popup is no annotation of its own
    auto annotsIn = [&](const std::string& name) {
        doc->write(dir / name);
        const std::string shown =
            runCommand("mutool show " + quoted(dir / name) + " trailer/Root/Pages/Kids/1/Annots");
        std::size_t refs = 0;
        for (std::size_t at = shown.find(" R"); at != std::string::npos;
             at = shown.find(" R", at + 1)) {
            ++refs;
        }
        return refs;
    };
    EXPECT_EQ(annotsIn("with.pdf"), 2u);
    page->removeAnnotation(note);
    EXPECT_EQ(annotsIn("without.pdf"), 0u);
    page->addAnnotation(note);
    EXPECT_EQ(annotsIn("again.pdf"), 2u);
}

// Annotations as another program writes them: rich text and its style beside the plain
// contents, a font resource of its own, a name, and a cloudy border in the old form.
std::string foreignAnnotationsPdf() {
    return handMadePdf({
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Annots [4 0 R 5 0 R] >>",
        "<< /Type /Annot /Subtype /FreeText /Rect [72 600 272 640] /Contents (Old text)"
        " /RC (<body><p>Old text</p></body>) /DS (font: 9pt Arial) /DA (/F1 9 Tf 1 0 0 rg)"
        " /NM (their-name) >>",
        "<< /Type /Annot /Subtype /Square /Rect [72 400 172 500] /C [0 0 1]"
        " /BE << /S /C /I 1 >> /Border [0 0 2] >>",
    });
}

// The entries of each annotation of the first page of a saved file: strings as their
// text, anything else as MuPDF prints it.
std::vector<std::map<std::string, std::string>> writtenEntries(const std::filesystem::path& file) {
    std::vector<std::map<std::string, std::string>> out;
    for (auto& annotation : fx::readStoredPage(file, 0).annotations) {
        out.push_back(std::move(annotation.entries));
    }
    return out;
}

TEST(AnnotationEdit, EditsOfAnotherProgramsAnnotationsLeaveNothingThatShowsTheOldValue) {
    // On the page MuPDF's setters write the entries; off it they are written by hand. Both
    // drop what other readers would show instead of the new value, and keep the rest.
    for (const bool offThePage : {false, true}) {
        SCOPED_TRACE(offThePage ? "off the page" : "on the page");
        fx::TempDir dir;
        writeBytes(dir / "foreign.pdf", foreignAnnotationsPdf());
        auto doc = Document::open(dir / "foreign.pdf");
        ASSERT_NE(doc, nullptr);
        auto page = doc->page(0);
        auto list = page->annotations();
        ASSERT_EQ(list.size(), 2u);
        auto text = list[0], square = list[1];
        EXPECT_EQ(text->font(), (Font{"F1", 9}));
        EXPECT_THAT(text->fontColor(), ColorNear(Color{1, 0, 0, 1}));
        EXPECT_EQ(text->name(), "their-name");
        EXPECT_EQ(square->border(), (Border{2}));

        if (offThePage) {
            page->removeAnnotation(text);
            page->removeAnnotation(square);
        }
        text->setContents("New text");
        text->setFontColor(Color{0, 0, 1, 1});
        square->setBorder(Border{3});
        if (offThePage) {
            page->addAnnotation(text);
            page->addAnnotation(square);
        }
        doc->write(dir / "edited.pdf");

        const auto written = writtenEntries(dir / "edited.pdf");
        ASSERT_EQ(written.size(), 2u);
        const auto& t = written[0];
        EXPECT_EQ(t.count("RC"), 0u) << "the old rich text would show instead";
        EXPECT_EQ(t.count("DS"), 0u);
        EXPECT_EQ(t.at("Contents"), "New text");
        EXPECT_EQ(t.at("DA"), "/F1 9 Tf 0 0 1 rg") << "its own font is kept";
        EXPECT_EQ(t.at("NM"), "their-name");
        const auto& sq = written[1];
        EXPECT_EQ(sq.count("BE"), 0u) << "a cloudy border would not be the width set";
        EXPECT_EQ(sq.count("Border"), 0u);
        EXPECT_EQ(sq.at("BS"), "<</W 3>>");
        EXPECT_EQ(sq.at("C"), "[0 0 1]");

        auto back = Document::open(dir / "edited.pdf")->page(0)->annotations();
        ASSERT_EQ(back.size(), 2u);
        EXPECT_EQ(back[0]->contents(), "New text");
        EXPECT_EQ(back[0]->font(), (Font{"F1", 9}));
        EXPECT_THAT(back[0]->fontColor(), ColorNear(Color{0, 0, 1, 1}));
        EXPECT_EQ(back[1]->border(), (Border{3}));
    }
}

TEST(AnnotationEdit, EveryAnnotationMadeHereHasANameOfItsOwnKeptAcrossSavesAndMoves) {
    fx::TempDir dir;
    auto doc = openFixture(dir, fx::textDocument(1), "text.pdf");
    auto other = openFixture(dir, fx::textDocument(1), "other.pdf");
    auto page = doc->page(0);
    std::vector<std::shared_ptr<Annotation>> made;
    std::set<std::string> names;
    for (const char* subtype : {"Highlight", "Square", "Link", "Ink"}) {
        auto a = Annotation::create(Rect{100, 100 + 100.0 * made.size(), 80, 40}, subtype);
        EXPECT_EQ(a->name(), std::nullopt) << "named when it is put on a page";
        page->addAnnotation(a);
        ASSERT_TRUE(a->name()) << subtype;
        EXPECT_EQ(a->name()->size(), 36u) << *a->name();
        names.insert(*a->name());
        made.push_back(a);
    }
    EXPECT_EQ(names.size(), made.size()) << "names are unique";

    // Moving to another document takes the name along; the copy left behind is gone.
    const std::string squareName = *made[1]->name();
    other->page(0)->addAnnotation(made[1]);
    EXPECT_EQ(made[1]->name(), squareName);
    doc->write(dir / "named.pdf");
    other->write(dir / "other-named.pdf");
    auto back = Document::open(dir / "named.pdf")->page(0)->annotations();
    ASSERT_EQ(back.size(), 3u);
    EXPECT_EQ(back[0]->name(), made[0]->name());
    EXPECT_EQ(back[1]->name(), made[2]->name());
    EXPECT_EQ(back[2]->name(), made[3]->name());
    auto moved = Document::open(dir / "other-named.pdf")->page(0)->annotations();
    ASSERT_EQ(moved.size(), 1u);
    EXPECT_EQ(moved[0]->name(), squareName);
}

} // namespace
} // namespace ombrix::pdfkit::test
