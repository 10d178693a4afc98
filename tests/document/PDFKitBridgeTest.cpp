#include "document/PDFKitBridge.h"

#include "annotations/AnnotationService.h"
#include "core/AtomicFile.h"
#include "document/BrainFingerprint.h"
#include "document/BridgeError.h"
#include "pdfkit/Annotation.h"
#include "pdfkit/Document.h"
#include "pdfkit/Page.h"
#include "support/FileSizeLimit.h"
#include "support/Fixtures.h"
#include "support/TempDir.h"

#include <cmath>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>

namespace ombrix {
namespace {

namespace fx = ombrix::testing;
using fx::TempDir;

template <typename E, typename F> E caught(F&& f) {
    try {
        f();
    } catch (const E& e) {
        return e;
    }
    throw std::runtime_error("nothing thrown");
}

void expectNear(const Color& got, const Color& want, const std::string& what, bool alpha = true) {
    EXPECT_NEAR(got.red, want.red, 0.01) << what;
    EXPECT_NEAR(got.green, want.green, 0.01) << what;
    EXPECT_NEAR(got.blue, want.blue, 0.01) << what;
    if (alpha) {
        EXPECT_NEAR(got.alpha, want.alpha, 0.01) << what;
    }
}

std::filesystem::path blank(const TempDir& dir, const std::string& name, int pages = 1) {
    fx::FixtureDocument document;
    document.pages.resize(static_cast<std::size_t>(pages));
    return fx::writePdf(document, dir / name);
}

PDFDocument foreignDocument(std::shared_ptr<pdfkit::Document> handle = nullptr) {
    return PDFDocument(Uuid::random(), "/tmp/foreign.pdf", "foreign", 1, {{612, 792, 0}}, {}, false,
                       "x", std::move(handle));
}

TEST(PDFKitBridgeTest, OpenRefusesWhatIsNotAUsablePdf) {
    TempDir dir;
    PDFKitBridge bridge;
    fx::writeTextFileNamedPdf(dir / "notes.pdf");
    fx::writeGarbagePdf(dir / "garbage.pdf");
    fx::writeZeroPagePdf(dir / "empty.pdf");
    auto open = [&](const char* name) {
        return caught<BridgeError>([&] { bridge.open(dir / name); });
    };

    // Each refusal says why.
    EXPECT_EQ(open("notes.pdf").description().rfind("Cannot open notes.pdf: it is not a PDF", 0),
              0u);
    EXPECT_EQ(open("missing.pdf").description(), "Cannot open missing.pdf: it does not exist");
    EXPECT_NE(caught<BridgeError>([&] { bridge.open(dir.path()); })
                  .description()
                  .find("not a regular file"),
              std::string::npos);
    EXPECT_EQ(open("garbage.pdf").kind(), BridgeError::Kind::cannotOpen);
    EXPECT_EQ(open("empty.pdf").kind(), BridgeError::Kind::emptyDocument);
    EXPECT_EQ(open("empty.pdf").description(), "PDF has zero pages");
}

TEST(PDFKitBridgeTest, OpenRecordsGeometryMetadataAndFingerprint) {
    TempDir dir;
    fx::FixtureDocument fixture;
    fixture.pages.resize(3);
    fixture.pages[1].width = 300.5;
    fixture.pages[1].height = 200.25;
    fixture.pages[1].rotation = 90;
    fixture.pages[2].rotation = 270;
    fixture.pages[2].cropBox = Rect{50, 100, 400, 500};
    fixture.title = "Quarterly report";
    fixture.keywords = "q3, money";
    auto path = fx::writePdf(fixture, dir / "report.pdf");

    PDFKitBridge bridge;
    auto document = bridge.open(path);
    EXPECT_EQ(document->name, "report");
    EXPECT_EQ(document->pageCount, 3);
    // The page as printed: a crop box stands in for the media box.
    EXPECT_EQ(document->pageSizes,
              (std::vector<PageGeometry>{{612, 792, 0}, {300.5, 200.25, 90}, {400, 500, 270}}));
    PDFMetadata expected;
    expected.title = "Quarterly report";
    expected.keywords = "q3, money";
    EXPECT_EQ(document->metadata, expected);
    EXPECT_FALSE(document->isDirty);
    EXPECT_EQ(document->brainFingerprint, BrainFingerprint::compute(path));
    ASSERT_TRUE(PDFKitBridge::engineDocument(*document));

    auto again = bridge.open(path);
    EXPECT_NE(again->id, document->id);
    EXPECT_EQ(again->brainFingerprint, document->brainFingerprint);
}

TEST(PDFKitBridgeTest, RenderFitsThePageIntoTheTargetOrFails) {
    TempDir dir;
    PDFKitBridge bridge;
    auto document = bridge.open(blank(dir, "two.pdf", 2));
    auto size = [&](Size target) {
        Image image = bridge.renderPage(*document, 0, target);
        return std::pair(image.width(), image.height());
    };
    EXPECT_EQ(size({1600, 1600}), std::pair(1236, 1600)); // 612 × 1600/792 = 1236.36
    EXPECT_EQ(size({100, 1000}), std::pair(100, 129));    // the width limits
    EXPECT_EQ(size({1, 1}), std::pair(1, 1));
    EXPECT_EQ(size({1.9, 1600}), std::pair(1, 2)); // below 2 becomes 1
    EXPECT_EQ(size({INFINITY, 792}), std::pair(612, 792));
    EXPECT_EQ(bridge.renderPage(*document, 1, {100, 100}).pixel(0, 0), 0xFFFFFFFFu);

    auto failure = [&](const PDFDocument& d, int index, Size target) {
        return caught<BridgeError>([&] { bridge.renderPage(d, index, target); }).kind();
    };
    for (int index : {2, -1}) {
        EXPECT_EQ(failure(*document, index, {100, 100}), BridgeError::Kind::pageOutOfRange);
    }
    EXPECT_EQ(failure(foreignDocument(), 0, {100, 100}), BridgeError::Kind::pageOutOfRange);
    // Sizes no bitmap can have fail instead of overflowing or exhausting memory.
    for (Size bad : {Size{-10, 100}, Size{NAN, 100}, Size{100, NAN}, Size{1e12, 1e12}}) {
        EXPECT_EQ(failure(*document, 0, bad), BridgeError::Kind::renderFailed) << bad.width;
    }
}

AnnotationRecord record(AnnotationType type, Rect bounds, Color color, double opacity,
                        std::optional<Color> interior, double border, double fontSize,
                        std::optional<std::string> content, std::optional<std::string> author) {
    return AnnotationRecord(
        Uuid::random(), 0, type, bounds, std::move(content),
        AnnotationAppearance{color, interior, opacity, border, fontSize, std::move(author)});
}

TEST(PDFKitBridgeTest, AddedAnnotationsComeBackAfterSaveAndReopenAsTheRulesKeepThem) {
    using T = AnnotationType;
    const Color green = Color::rgb(0, 200, 100), blue = Color::rgb(20, 40, 220);
    const Color yellow = Color::rgb(250, 240, 10);
    const std::vector<AnnotationRecord> added = {
        record(T::highlight, {72, 700, 200, 14}, green, 0.5, {}, 1, 14, "marked", "Ana"),
        record(T::underline, {72, 650, 150, 12}, blue, 0.8, {}, 1, 14, {}, {}),
        record(T::square, {100, 400, 120, 80}, blue, 1, yellow, 3, 14, "boxed", "Ben"),
        record(T::square, {300, 400, 60, 60}, green, 1, {}, 2, 14, {}, {}),
        record(T::circle, {100, 250, 90, 90}, yellow, 1, blue, 4, 14, "round", {}),
        record(T::line, {300, 250, 100, 40}, blue, 1, {}, 2.5, 14, {}, {}),
        record(T::ink, {400, 100, 80, 50}, green, 1, {}, 5, 14, "scribble", "Cy"),
        record(T::freeText, {72, 100, 200, 40}, blue, 1, {}, 1, 18, "A remark", "Di"),
        record(T::stickyNote, {500, 700, 20, 20}, green, 1, {}, 1, 14, "Note to self", "Ed"),
        record(T::link, {72, 50, 100, 20}, blue, 1, {}, 1, 14, {}, {}),
        record(T::stamp, {300, 500, 150, 50}, yellow, 1, {}, 1, 14, "Approved", "Flo"),
    };
    TempDir dir;
    auto path = blank(dir, "marked.pdf");
    PDFKitBridge bridge;
    auto document = bridge.open(path);
    auto page = PDFKitBridge::engineDocument(*document)->page(0);
    for (const auto& r : added) {
        auto annotation = AnnotationService::addToPage(*document, r);
        ASSERT_TRUE(annotation) << rawValue(r.type);
        EXPECT_EQ(page->annotations().back(), annotation) << "the very object is on the page";
    }
    EXPECT_FALSE(AnnotationService::addToPage(*document,
                                              AnnotationRecord(Uuid::random(), 1, T::square, {})));
    EXPECT_FALSE(AnnotationService::addToPage(foreignDocument(), added[0]));
    bridge.saveAnnotations(*document);

    auto loaded = AnnotationService::records(*bridge.open(path));
    ASSERT_EQ(loaded.size(), added.size());
    for (std::size_t i = 0; i < added.size(); ++i) {
        const auto &want = added[i], &got = loaded[i];
        const auto& look = want.appearance;
        const std::string what = std::to_string(i) + " " + rawValue(want.type);
        EXPECT_EQ(got.type, want.type) << what;
        EXPECT_EQ(got.content, want.content) << what;
        EXPECT_EQ(got.appearance.author, look.author) << what;
        EXPECT_EQ(got.appearance.opacity, 1.0) << what << ": opacity lives in the colour";
        // The engine gives notes their icon's size and stamps their artwork's aspect.
        if (want.type != T::stickyNote && want.type != T::stamp) {
            EXPECT_NEAR(got.bounds.x, want.bounds.x, 0.5) << what;
            EXPECT_NEAR(got.bounds.height, want.bounds.height, 0.5) << what;
        }
        if (isMarkupType(want.type)) {
            expectNear(got.appearance.color, look.color.withAlpha(look.opacity), what);
        } else if (want.type == T::freeText) {
            EXPECT_EQ(got.appearance.color.alpha, 0) << what << ": its colour is the text's";
            EXPECT_EQ(got.appearance.fontSize, 18) << what;
        } else if (want.type != T::stickyNote) {
            expectNear(got.appearance.color, look.color, what);
        }
        if (want.type == T::square || want.type == T::circle || want.type == T::line) {
            EXPECT_DOUBLE_EQ(got.appearance.borderWidth, look.borderWidth) << what;
        }
        if (want.type == T::square || want.type == T::circle) {
            ASSERT_TRUE(got.appearance.interiorColor) << what;
            // No interior colour given: the stroke colour, faint.
            expectNear(*got.appearance.interiorColor, look.interiorColor.value_or(look.color), what,
                       false);
        }
        if (want.type == T::ink) { // border and interior are read for types 4 to 6 only
            EXPECT_EQ(got.appearance.borderWidth, 1.0);
            EXPECT_EQ(got.appearance.interiorColor,
                      AnnotationAppearance::defaultShape().interiorColor);
        }
    }
}

TEST(PDFKitBridgeTest, LoadingFillsWhatTheFileLeavesOut) {
    TempDir dir;
    fx::FixtureDocument fixture = fx::everyAnnotationDocument();
    fixture.pages.emplace_back();
    fx::FixtureAnnotation fontless;
    fontless.subtype = "FreeText";
    fontless.rect = {72, 600, 150, 40};
    fixture.pages[1].annotations = {fontless};
    PDFKitBridge bridge;
    auto document = bridge.open(fx::writePdf(fixture, dir / "every.pdf"));
    auto records = AnnotationService::records(*document);
    auto page0 = PDFKitBridge::engineDocument(*document)->page(0)->annotations();
    ASSERT_EQ(records.size(), page0.size() + 1);

    auto find = [&](const std::string& content) {
        auto it = std::find_if(records.begin(), records.end(),
                               [&](const auto& r) { return r.content == content; });
        return it == records.end() ? throw std::runtime_error(content) : *it;
    };
    auto plain = find("Plain square");
    EXPECT_EQ(plain.appearance.borderWidth, 1.0) << "no border reads as 1";
    EXPECT_FALSE(plain.appearance.interiorColor);
    EXPECT_EQ(plain.appearance.author, "Fay");
    auto bordered = find("Bordered square");
    EXPECT_DOUBLE_EQ(bordered.appearance.borderWidth, 3);
    expectNear(bordered.appearance.interiorColor.value(), Color::rgb(255, 149, 0), "interior");
    auto highlight = find("Highlight note");
    expectNear(highlight.appearance.color, Color::rgb(255, 204, 0, 0.5), "highlight");
    EXPECT_EQ(highlight.appearance.opacity, 1.0);
    EXPECT_EQ(find("Free text at 18 points").appearance.fontSize, 18);
    EXPECT_EQ(find("Field value").type, AnnotationType::unknown);

    EXPECT_EQ(records.back().pageIndex, 1);
    EXPECT_EQ(records.back().appearance.fontSize, 14.0) << "no font reads as 14";
    for (std::size_t i = 0; i < page0.size(); ++i) {
        EXPECT_EQ(records[i].pdfAnnotationRef, page0[i]) << "in the page's order, by identity";
    }
    EXPECT_TRUE(AnnotationService::records(foreignDocument()).empty());
}

TEST(PDFKitBridgeTest, UpdateAndRemoveActOnlyOnTheRecordsOwnObjectOnItsPage) {
    TempDir dir;
    auto path = blank(dir, "edit.pdf", 2);
    PDFKitBridge bridge;
    auto document = bridge.open(path);
    auto page = PDFKitBridge::engineDocument(*document)->page(0);
    auto square = record(AnnotationType::square, {50, 50, 100, 100}, Color::rgb(255, 0, 0), 1, {},
                         1, 14, {}, {});
    auto note = record(AnnotationType::highlight, {72, 700, 100, 12}, Color::rgb(255, 255, 0), 1,
                       {}, 1, 14, {}, {});
    square.pdfAnnotationRef = AnnotationService::addToPage(*document, square);
    note.pdfAnnotationRef = AnnotationService::addToPage(*document, note);
    bridge.saveAnnotations(*document);
    document = bridge.open(path); // edits below are on objects read from the file
    page = PDFKitBridge::engineDocument(*document)->page(0);
    auto records = AnnotationService::records(*document);
    ASSERT_EQ(records.size(), 2u);

    AnnotationRecord moved = records[0];
    moved.bounds = {60, 70, 40, 30};
    moved.appearance.color = Color::rgb(0, 0, 255);
    moved.appearance.borderWidth = 6;
    moved.content = "moved";
    AnnotationService::updateOnPage(*document, moved);
    EXPECT_NEAR(records[0].pdfAnnotationRef->bounds().x, 60, 0.01);

    // A look-alike object not on the page, the wrong page, or no object: nothing happens.
    AnnotationRecord lookalike = moved, wrongPage = moved, unrealised = moved;
    lookalike.pdfAnnotationRef = pdfkit::Annotation::create(moved.bounds, "Square");
    wrongPage.pageIndex = 1;
    unrealised.pdfAnnotationRef = nullptr;
    for (auto* r : {&lookalike, &wrongPage, &unrealised}) {
        r->bounds = {0, 0, 5, 5};
        AnnotationService::updateOnPage(*document, *r);
        AnnotationService::removeFromPage(*document, *r);
    }
    ASSERT_EQ(page->annotations().size(), 2u);
    EXPECT_NEAR(records[0].pdfAnnotationRef->bounds().x, 60, 0.01);

    AnnotationService::removeFromPage(*document, records[1]);
    AnnotationService::removeFromPage(*document, records[1]); // already gone
    AnnotationService::updateOnPage(*document, records[1]);
    ASSERT_EQ(page->annotations(), std::vector{records[0].pdfAnnotationRef});

    bridge.saveAnnotations(*document);
    auto reloaded = AnnotationService::records(*bridge.open(path));
    ASSERT_EQ(reloaded.size(), 1u);
    EXPECT_EQ(reloaded[0].content, "moved");
    EXPECT_DOUBLE_EQ(reloaded[0].appearance.borderWidth, 6);
    expectNear(reloaded[0].appearance.color, Color::rgb(0, 0, 255), "updated square");
}

TEST(PDFKitBridgeTest, SaveFailuresAreReportedAndLeaveTheFileAsItWas) {
    auto noEngine = caught<Error>([] { PDFKitBridge().saveAnnotations(foreignDocument()); });
    EXPECT_EQ(noEngine.domain(), "PDFKitBridge");
    EXPECT_EQ(noEngine.code(), -1);
    EXPECT_EQ(noEngine.description(), "No underlying PDFKit document");

    TempDir dir;
    auto path = blank(dir, "keep.pdf");
    const auto original = readFile(path);
    PDFKitBridge bridge;
    auto document = bridge.open(path);
    AnnotationService::addToPage(
        *document,
        AnnotationRecord(Uuid::random(), 0, AnnotationType::square, {10, 10, 50, 50}, "kept?"));
    {
        fx::FileSizeLimit limit(64);
        auto error = caught<Error>([&] { bridge.saveAnnotations(*document); });
        EXPECT_EQ(error.domain(), "PDFKitBridge");
        EXPECT_EQ(error.code(), -3);
        EXPECT_FALSE(error.description().empty());
    }
    EXPECT_EQ(readFile(path), original);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              1)
        << "no temporary left behind";
    bridge.saveAnnotations(*document); // writable again: the change is all there
    EXPECT_EQ(AnnotationService::records(*bridge.open(path)).at(0).content, "kept?");

    // The folder gone, or a folder standing where the file was: failures, not saves.
    std::filesystem::create_directory(dir / "sub");
    auto inSub = bridge.open(blank(dir, "sub/gone.pdf"));
    std::filesystem::remove_all(dir / "sub");
    EXPECT_EQ(caught<Error>([&] { bridge.saveAnnotations(*inSub); }).code(), -3);
    EXPECT_FALSE(std::filesystem::exists(dir / "sub"));
    std::filesystem::create_directories(dir / "sub" / "gone.pdf");
    // Something else now stands at the path: the file changed since it was opened.
    EXPECT_EQ(caught<Error>([&] { bridge.saveAnnotations(*inSub); }).code(),
              PDFKitBridge::kChangedOnDisk);
    EXPECT_TRUE(std::filesystem::is_directory(dir / "sub" / "gone.pdf"));
}

} // namespace
} // namespace ombrix
