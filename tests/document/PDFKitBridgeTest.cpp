#include "document/PDFKitBridge.h"

#include "core/AtomicFile.h"
#include "core/Error.h"
#include "document/BrainFingerprint.h"
#include "document/BridgeError.h"
#include "pdfkit/Annotation.h"
#include "pdfkit/Document.h"
#include "pdfkit/Page.h"
#include "support/Fixtures.h"
#include "support/TempDir.h"

#include <csignal>
#include <filesystem>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <map>
#include <sys/resource.h>

namespace ombrix {
namespace {

using testing::FixtureAnnotation;
using testing::FixtureDocument;
using testing::FixturePage;
using testing::TempDir;

template <typename F> BridgeError bridgeErrorOf(F&& f) {
    try {
        f();
    } catch (const BridgeError& e) {
        return e;
    }
    ADD_FAILURE() << "expected a BridgeError";
    return BridgeError::renderFailed();
}

template <typename F> Error errorOf(F&& f) {
    try {
        f();
    } catch (const Error& e) {
        return e;
    }
    ADD_FAILURE() << "expected an Error";
    return Error("none", 0, "");
}

void expectColorNear(const Color& actual, const Color& expected, const std::string& what) {
    EXPECT_NEAR(actual.red, expected.red, 0.01) << what;
    EXPECT_NEAR(actual.green, expected.green, 0.01) << what;
    EXPECT_NEAR(actual.blue, expected.blue, 0.01) << what;
    EXPECT_NEAR(actual.alpha, expected.alpha, 0.01) << what;
}

FixtureDocument blankDocument(int pages = 1) {
    FixtureDocument document;
    document.pages.resize(static_cast<std::size_t>(pages));
    return document;
}

// ---------------------------------------------------------------------------------------
// Opening

TEST(PDFKitBridgeOpenTest, FilesThatAreNotUsablePdfsAreRefusedWithTheirOwnTexts) {
    TempDir dir;
    PDFKitBridge bridge;

    testing::writeTextFileNamedPdf(dir / "notes.pdf");
    auto text = bridgeErrorOf([&] { bridge.open(dir / "notes.pdf"); });
    EXPECT_EQ(text.kind(), BridgeError::Kind::cannotOpen);
    EXPECT_EQ(text.description(), "Cannot open notes.pdf");

    auto missing = bridgeErrorOf([&] { bridge.open(dir / "missing.pdf"); });
    EXPECT_EQ(missing.description(), "Cannot open missing.pdf");

    testing::writeGarbagePdf(dir / "garbage.pdf");
    EXPECT_EQ(bridgeErrorOf([&] { bridge.open(dir / "garbage.pdf"); }).kind(),
              BridgeError::Kind::cannotOpen);

    auto folder = bridgeErrorOf([&] { bridge.open(dir.path()); });
    EXPECT_EQ(folder.kind(), BridgeError::Kind::cannotOpen);

    testing::writeZeroPagePdf(dir / "empty.pdf");
    auto empty = bridgeErrorOf([&] { bridge.open(dir / "empty.pdf"); });
    EXPECT_EQ(empty.kind(), BridgeError::Kind::emptyDocument);
    EXPECT_EQ(empty.description(), "PDF has zero pages");
}

TEST(PDFKitBridgeOpenTest, RecordsGeometryMetadataFingerprintAndTheEngineDocument) {
    TempDir dir;
    FixtureDocument fixture;
    fixture.pages = {FixturePage{612, 792, 0, {}, {}}, FixturePage{595, 842, 90, {}, {}},
                     FixturePage{300.5, 200.25, 270, {}, {}}};
    fixture.title = "Quarterly report";
    fixture.author = "R. Author";
    fixture.subject = "Numbers";
    fixture.keywords = "q3, money";
    auto path = testing::writePdf(fixture, dir / "report.pdf");

    PDFKitBridge bridge;
    auto document = bridge.open(path);
    ASSERT_TRUE(document);
    EXPECT_EQ(document->url, path);
    EXPECT_EQ(document->name, "report");
    EXPECT_EQ(document->pageCount, 3);
    EXPECT_EQ(document->pageSizes,
              (std::vector<PageGeometry>{{612, 792, 0}, {595, 842, 90}, {300.5, 200.25, 270}}));
    EXPECT_EQ(document->metadata.title, "Quarterly report");
    EXPECT_EQ(document->metadata.author, "R. Author");
    EXPECT_EQ(document->metadata.subject, "Numbers");
    EXPECT_EQ(document->metadata.keywords, "q3, money");
    EXPECT_FALSE(document->metadata.version);
    EXPECT_FALSE(document->metadata.createdAt);
    EXPECT_FALSE(document->metadata.modifiedAt);
    EXPECT_FALSE(document->isDirty);
    EXPECT_EQ(document->brainFingerprint, BrainFingerprint::compute(path).value());

    auto engine = PDFKitBridge::engineDocument(*document);
    ASSERT_TRUE(engine);
    EXPECT_EQ(engine->pageCount(), 3);

    // A second open is a separate instance of the same content.
    auto again = bridge.open(path);
    EXPECT_NE(again->id, document->id);
    EXPECT_EQ(again->brainFingerprint, document->brainFingerprint);
    EXPECT_NE(PDFKitBridge::engineDocument(*again), engine);
}

TEST(PDFKitBridgeOpenTest, MetadataAbsentFromTheFileStaysAbsent) {
    TempDir dir;
    auto path = testing::writePdf(blankDocument(), dir / "plain.pdf");
    auto document = PDFKitBridge().open(path);
    EXPECT_EQ(document->metadata, PDFMetadata::empty());
}

// ---------------------------------------------------------------------------------------
// Rendering

TEST(PDFKitBridgeRenderTest, FitsThePageIntoTheTargetKeepingItsAspect) {
    TempDir dir;
    FixtureDocument fixture = blankDocument();
    fixture.pages.push_back(FixturePage{792, 612, 0, {}, {}});
    auto document = PDFKitBridge().open(testing::writePdf(fixture, dir / "pages.pdf"));
    PDFKitBridge bridge;

    Image letter = bridge.renderPage(*document, 0, {1600, 1600});
    EXPECT_EQ(letter.width(), 1236); // 612 × 1600/792 = 1236.36
    EXPECT_EQ(letter.height(), 1600);
    EXPECT_EQ(letter.pixel(0, 0), 0xFFFFFFFFu) << "an empty page renders opaque white";
    EXPECT_EQ(letter.pixel(1235, 1599), 0xFFFFFFFFu);

    Image landscape = bridge.renderPage(*document, 1, {100, 1000});
    EXPECT_EQ(landscape.width(), 100); // the width limits: 612 × 100/792 = 77.27
    EXPECT_EQ(landscape.height(), 77);

    Image tiny = bridge.renderPage(*document, 0, {1, 1});
    EXPECT_EQ(tiny.width(), 1);
    EXPECT_EQ(tiny.height(), 1);

    Image thin = bridge.renderPage(*document, 0, {1.9, 1600});
    EXPECT_EQ(thin.width(), 1) << "below 2 pixels becomes 1";
    EXPECT_EQ(thin.height(), 2); // 792 × 1.9/612 = 2.46
}

TEST(PDFKitBridgeRenderTest, PagesThatDoNotExistAndUnrenderableTargetsFail) {
    TempDir dir;
    PDFKitBridge bridge;
    auto document = bridge.open(testing::writePdf(blankDocument(2), dir / "two.pdf"));

    for (int index : {2, -1, 1000}) {
        auto error = bridgeErrorOf([&] { bridge.renderPage(*document, index, {100, 100}); });
        EXPECT_EQ(error.kind(), BridgeError::Kind::pageOutOfRange) << index;
        EXPECT_EQ(error.description(), "Page index out of range");
    }

    PDFDocument foreign(Uuid::random(), dir / "two.pdf", "two", 2, {{612, 792, 0}}, {}, false, "x",
                        std::any(42));
    EXPECT_EQ(bridgeErrorOf([&] {
                  bridge.renderPage(foreign, 0, {100, 100});
              }).kind(),
              BridgeError::Kind::pageOutOfRange);

    // An unbounded side leaves the other to decide.
    EXPECT_EQ(bridge.renderPage(*document, 0, {INFINITY, 792}).height(), 792);

    // Sizes no bitmap can have fail cleanly instead of overflowing or exhausting memory.
    for (Size size : {Size{-10, 100}, Size{NAN, 100}, Size{100, NAN}, Size{1e12, 1e12}}) {
        EXPECT_EQ(bridgeErrorOf([&] { bridge.renderPage(*document, 0, size); }).kind(),
                  BridgeError::Kind::renderFailed)
            << size.width << "x" << size.height;
    }
}

// ---------------------------------------------------------------------------------------
// Annotations

struct RoundTripCase {
    std::string label;
    AnnotationRecord record;
};

AnnotationAppearance appearance(Color color, std::optional<Color> interior, double opacity,
                                double border, double fontSize, std::optional<std::string> author) {
    return AnnotationAppearance{color, interior, opacity, border, fontSize, std::move(author)};
}

std::vector<RoundTripCase> roundTripCases() {
    const Color green = Color::rgb(0, 200, 100);
    const Color blue = Color::rgb(20, 40, 220);
    auto record = [](AnnotationType type, Rect bounds, std::optional<std::string> content,
                     AnnotationAppearance look) {
        return AnnotationRecord(Uuid::random(), 0, type, bounds, std::move(content), look);
    };
    return {
        {"highlight", record(AnnotationType::highlight, {72, 700, 200, 14}, "marked words",
                             appearance(green, {}, 0.5, 1, 14, "Ana"))},
        {"underline", record(AnnotationType::underline, {72, 650, 150, 12}, std::nullopt,
                             appearance(blue, {}, 0.8, 1, 14, std::nullopt))},
        {"square with interior",
         record(AnnotationType::square, {100, 400, 120, 80}, "boxed",
                appearance(blue, Color::rgb(250, 240, 10), 1, 3, 14, "Ben"))},
        {"square without interior", record(AnnotationType::square, {300, 400, 60, 60}, std::nullopt,
                                           appearance(green, {}, 1, 2, 14, {}))},
        {"circle", record(AnnotationType::circle, {100, 250, 90, 90}, "round",
                          appearance(Color::rgb(200, 0, 0), Color::rgb(0, 0, 250), 1, 4, 14, {}))},
        {"line", record(AnnotationType::line, {300, 250, 100, 40}, std::nullopt,
                        appearance(blue, {}, 1, 2.5, 14, {}))},
        {"ink", record(AnnotationType::ink, {400, 100, 80, 50}, "scribble",
                       appearance(green, {}, 1, 5, 14, "Cy"))},
        {"freeText", record(AnnotationType::freeText, {72, 100, 200, 40}, "A remark",
                            appearance(blue, {}, 1, 1, 18, "Di"))},
        {"stickyNote", record(AnnotationType::stickyNote, {500, 700, 20, 20}, "Note to self",
                              appearance(green, {}, 1, 1, 14, "Ed"))},
        {"link", record(AnnotationType::link, {72, 50, 100, 20}, std::nullopt,
                        appearance(blue, {}, 1, 1, 14, {}))},
        {"stamp", record(AnnotationType::stamp, {300, 500, 150, 50}, "Approved",
                         appearance(Color::rgb(200, 0, 0), {}, 1, 1, 14, "Flo"))},
    };
}

TEST(PDFKitBridgeAnnotationTest, AddedAnnotationsSurviveSaveAndReopenAsTheRulesKeepThem) {
    TempDir dir;
    auto path = testing::writePdf(blankDocument(), dir / "marked.pdf");
    PDFKitBridge bridge;
    auto document = bridge.open(path);
    auto cases = roundTripCases();
    auto page = PDFKitBridge::engineDocument(*document)->page(0);

    for (auto& c : cases) {
        auto added = bridge.addAnnotation(*document, c.record);
        ASSERT_TRUE(added) << c.label;
        auto onPage = page->annotations();
        EXPECT_EQ(onPage.back(), added) << c.label << ": the very object is on the page";
    }
    ASSERT_EQ(page->annotations().size(), cases.size());
    bridge.saveAnnotations(*document);

    auto reopened = bridge.open(path);
    auto loaded = bridge.loadAnnotations(*reopened);
    ASSERT_EQ(loaded.size(), cases.size());
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const auto& want = cases[i].record;
        const auto& got = loaded[i];
        const auto& label = cases[i].label;
        const auto& look = want.appearance;
        EXPECT_EQ(got.type, want.type) << label;
        EXPECT_EQ(got.pageIndex, 0) << label;
        // The engine gives notes their icon's size and stamps their artwork's aspect.
        if (want.type != AnnotationType::stickyNote && want.type != AnnotationType::stamp) {
            EXPECT_NEAR(got.bounds.x, want.bounds.x, 0.5) << label;
            EXPECT_NEAR(got.bounds.y, want.bounds.y, 0.5) << label;
            EXPECT_NEAR(got.bounds.width, want.bounds.width, 0.5) << label;
            EXPECT_NEAR(got.bounds.height, want.bounds.height, 0.5) << label;
        } else {
            EXPECT_TRUE(got.bounds.intersects(want.bounds)) << label;
        }
        EXPECT_EQ(got.content, want.content) << label;
        EXPECT_EQ(got.appearance.author, look.author) << label;
        EXPECT_EQ(got.appearance.opacity, 1.0) << label << ": opacity lives in the colour";
        EXPECT_TRUE(got.pdfAnnotationRef) << label;

        if (isMarkupType(want.type)) {
            expectColorNear(got.appearance.color, look.color.withAlpha(look.opacity), label);
        } else if (want.type == AnnotationType::freeText) {
            EXPECT_EQ(got.appearance.color.alpha, 0) << label << ": text types carry no colour";
        } else if (!isTextType(want.type)) {
            expectColorNear(got.appearance.color, look.color, label);
        }

        const bool bordered = want.type == AnnotationType::square ||
                              want.type == AnnotationType::circle ||
                              want.type == AnnotationType::line;
        if (bordered) {
            EXPECT_DOUBLE_EQ(got.appearance.borderWidth, look.borderWidth) << label;
        }
        if (want.type == AnnotationType::square || want.type == AnnotationType::circle) {
            ASSERT_TRUE(got.appearance.interiorColor) << label;
            Color interior = look.interiorColor.value_or(look.color);
            EXPECT_NEAR(got.appearance.interiorColor->red, interior.red, 0.01) << label;
            EXPECT_NEAR(got.appearance.interiorColor->green, interior.green, 0.01) << label;
            EXPECT_NEAR(got.appearance.interiorColor->blue, interior.blue, 0.01) << label;
        }
        if (want.type == AnnotationType::ink) {
            // Only square, circle and line read border and interior back; ink keeps the
            // shape defaults whatever the file says.
            EXPECT_EQ(got.appearance.borderWidth, 1.0);
            EXPECT_EQ(got.appearance.interiorColor,
                      AnnotationAppearance::defaultShape().interiorColor);
        }
        if (want.type == AnnotationType::freeText) {
            EXPECT_DOUBLE_EQ(got.appearance.fontSize, 18) << label;
        }
    }
}

TEST(PDFKitBridgeAnnotationTest, AppearanceIsAppliedByTypeRange) {
    TempDir dir;
    PDFKitBridge bridge;
    auto document = bridge.open(testing::writePdf(blankDocument(), dir / "look.pdf"));
    const Color orange = Color::rgb(255, 128, 0);

    auto highlight = bridge.addAnnotation(
        *document,
        AnnotationRecord(Uuid::random(), 0, AnnotationType::highlight, {72, 700, 100, 12},
                         std::nullopt, appearance(orange, {}, 0.5, 1, 14, {})));
    ASSERT_TRUE(highlight);
    expectColorNear(highlight->color().value(), orange.withAlpha(0.5), "highlight");

    auto underline = bridge.addAnnotation(
        *document,
        AnnotationRecord(Uuid::random(), 0, AnnotationType::underline, {72, 600, 100, 12},
                         std::nullopt, appearance(orange, {}, 0.7, 1, 14, {})));
    expectColorNear(underline->fontColor().value(), orange, "underline font colour");

    auto square = bridge.addAnnotation(
        *document, AnnotationRecord(Uuid::random(), 0, AnnotationType::square, {72, 400, 50, 50},
                                    std::nullopt, appearance(orange, {}, 0.3, 2.5, 14, {})));
    expectColorNear(square->color().value(), orange, "square keeps its colour's alpha");
    auto interior = square->interiorColor().value();
    EXPECT_NEAR(interior.red, orange.red, 0.01);
    EXPECT_NEAR(interior.green, orange.green, 0.01);
    EXPECT_NEAR(interior.blue, orange.blue, 0.01);
    EXPECT_DOUBLE_EQ(square->border().value().lineWidth, 2.5);

    auto text = bridge.addAnnotation(
        *document, AnnotationRecord(Uuid::random(), 0, AnnotationType::freeText, {72, 200, 200, 40},
                                    "Hi", appearance(orange, {}, 1, 1, 11, {})));
    EXPECT_EQ(text->font(), (pdfkit::Font{"Helvetica", 11}));
    expectColorNear(text->fontColor().value(), orange, "free text font colour");
    EXPECT_EQ(text->color().value_or(SystemColors::clear).alpha, 0);
    EXPECT_EQ(text->contents(), "Hi");

    // No page, no annotation.
    EXPECT_FALSE(bridge.addAnnotation(
        *document, AnnotationRecord(Uuid::random(), 5, AnnotationType::square, {0, 0, 10, 10})));
    PDFDocument foreign(Uuid::random(), dir / "look.pdf", "look", 1, {{612, 792, 0}}, {}, false,
                        "x", std::any());
    EXPECT_FALSE(bridge.addAnnotation(
        foreign, AnnotationRecord(Uuid::random(), 0, AnnotationType::square, {0, 0, 10, 10})));
}

TEST(PDFKitBridgeAnnotationTest, LoadingFillsWhatTheFileLeavesOutWithTheDefaults) {
    TempDir dir;
    FixtureDocument fixture = blankDocument(2);
    const Color teal = Color::rgb(0, 128, 128, 0.6);
    fixture.pages[0].annotations = {
        FixtureAnnotation{"Square",
                          {50, 50, 100, 100},
                          teal,
                          std::nullopt,
                          std::nullopt,
                          "no border",
                          "Gil",
                          std::nullopt,
                          std::nullopt},
        FixtureAnnotation{"FreeText",
                          {200, 50, 150, 40},
                          std::nullopt,
                          std::nullopt,
                          std::nullopt,
                          "no font",
                          std::nullopt,
                          std::nullopt,
                          std::nullopt},
        FixtureAnnotation{"Circle",
                          {50, 300, 100, 100},
                          teal,
                          Color::rgb(255, 0, 0),
                          2.5,
                          std::nullopt,
                          std::nullopt,
                          std::nullopt,
                          std::nullopt},
    };
    fixture.pages[1].annotations = {
        FixtureAnnotation{"FreeText",
                          {72, 600, 150, 40},
                          std::nullopt,
                          std::nullopt,
                          std::nullopt,
                          "sized",
                          std::nullopt,
                          10.0,
                          std::nullopt},
        FixtureAnnotation{"Widget",
                          {72, 500, 100, 20},
                          std::nullopt,
                          std::nullopt,
                          std::nullopt,
                          std::nullopt,
                          std::nullopt,
                          std::nullopt,
                          std::nullopt},
    };
    PDFKitBridge bridge;
    auto document = bridge.open(testing::writePdf(fixture, dir / "defaults.pdf"));
    auto records = bridge.loadAnnotations(*document);
    ASSERT_EQ(records.size(), 5u);

    const auto& square = records[0];
    EXPECT_EQ(square.type, AnnotationType::square);
    EXPECT_EQ(square.pageIndex, 0);
    EXPECT_EQ(square.content, "no border");
    EXPECT_EQ(square.appearance.author, "Gil");
    EXPECT_EQ(square.appearance.borderWidth, 1.0);
    EXPECT_EQ(square.appearance.opacity, 1.0);
    EXPECT_FALSE(square.appearance.interiorColor) << "no /IC reads as none, not the default";
    expectColorNear(square.appearance.color, teal, "square");

    const auto& freeText = records[1];
    EXPECT_EQ(freeText.type, AnnotationType::freeText);
    EXPECT_EQ(freeText.appearance.fontSize, 14.0);
    EXPECT_FALSE(freeText.appearance.author);

    const auto& circle = records[2];
    EXPECT_DOUBLE_EQ(circle.appearance.borderWidth, 2.5);
    ASSERT_TRUE(circle.appearance.interiorColor);
    EXPECT_NEAR(circle.appearance.interiorColor->red, 1.0, 0.01);

    EXPECT_EQ(records[3].pageIndex, 1);
    EXPECT_DOUBLE_EQ(records[3].appearance.fontSize, 10);
    EXPECT_EQ(records[4].type, AnnotationType::unknown) << "a form widget is not ours";

    // Each record refers to the page's own object, and every record is new.
    auto engine = PDFKitBridge::engineDocument(*document);
    EXPECT_EQ(records[0].pdfAnnotationRef, engine->page(0)->annotations()[0]);
    EXPECT_EQ(records[4].pdfAnnotationRef, engine->page(1)->annotations()[1]);
    EXPECT_NE(records[0].id, records[1].id);

    PDFDocument foreign(Uuid::random(), dir / "defaults.pdf", "defaults", 1, {{612, 792, 0}}, {},
                        false, "x", std::any(std::string("not a document")));
    EXPECT_TRUE(bridge.loadAnnotations(foreign).empty());
}

TEST(PDFKitBridgeAnnotationTest, UpdateAndRemoveActOnlyOnTheRecordsOwnObjectOnItsPage) {
    TempDir dir;
    FixtureDocument fixture = blankDocument(2);
    fixture.pages[0].annotations = {
        FixtureAnnotation{"Square",
                          {50, 50, 100, 100},
                          Color::rgb(255, 0, 0),
                          std::nullopt,
                          1.0,
                          std::nullopt,
                          std::nullopt,
                          std::nullopt,
                          std::nullopt},
        FixtureAnnotation{"Highlight",
                          {72, 700, 100, 12},
                          Color::rgb(255, 255, 0),
                          std::nullopt,
                          std::nullopt,
                          std::nullopt,
                          std::nullopt,
                          std::nullopt,
                          std::nullopt},
    };
    auto path = testing::writePdf(fixture, dir / "edit.pdf");
    PDFKitBridge bridge;
    auto document = bridge.open(path);
    auto page = PDFKitBridge::engineDocument(*document)->page(0);
    auto records = bridge.loadAnnotations(*document);
    ASSERT_EQ(records.size(), 2u);

    AnnotationRecord square = records[0];
    square.bounds = {60, 70, 40, 30};
    square.appearance.color = Color::rgb(0, 0, 255);
    square.appearance.borderWidth = 6;
    square.content = "moved";
    bridge.updateAnnotation(*document, square);
    EXPECT_EQ(page->annotations()[0], records[0].pdfAnnotationRef);
    EXPECT_NEAR(records[0].pdfAnnotationRef->bounds().x, 60, 0.01);
    EXPECT_NEAR(records[0].pdfAnnotationRef->bounds().width, 40, 0.01);
    EXPECT_DOUBLE_EQ(records[0].pdfAnnotationRef->border().value().lineWidth, 6);
    EXPECT_EQ(records[0].pdfAnnotationRef->contents(), "moved");

    // An equal-looking object that is not on the page, a record pointing at the wrong
    // page, and a record without an object all leave the page alone.
    AnnotationRecord lookalike = square;
    lookalike.pdfAnnotationRef = pdfkit::Annotation::create(square.bounds, "Square");
    lookalike.bounds = {0, 0, 5, 5};
    bridge.updateAnnotation(*document, lookalike);
    bridge.removeAnnotation(*document, lookalike);
    AnnotationRecord wrongPage = square;
    wrongPage.pageIndex = 1;
    wrongPage.bounds = {0, 0, 5, 5};
    bridge.updateAnnotation(*document, wrongPage);
    bridge.removeAnnotation(*document, wrongPage);
    AnnotationRecord unrealised = square;
    unrealised.pdfAnnotationRef = nullptr;
    bridge.updateAnnotation(*document, unrealised);
    bridge.removeAnnotation(*document, unrealised);
    ASSERT_EQ(page->annotations().size(), 2u);
    EXPECT_NEAR(records[0].pdfAnnotationRef->bounds().x, 60, 0.01);

    bridge.removeAnnotation(*document, records[1]);
    ASSERT_EQ(page->annotations().size(), 1u);
    EXPECT_EQ(page->annotations()[0], records[0].pdfAnnotationRef);
    bridge.removeAnnotation(*document, records[1]); // already gone: nothing happens
    bridge.updateAnnotation(*document, records[1]);
    EXPECT_EQ(page->annotations().size(), 1u);

    bridge.saveAnnotations(*document);
    auto reloaded = bridge.loadAnnotations(*bridge.open(path));
    ASSERT_EQ(reloaded.size(), 1u);
    EXPECT_EQ(reloaded[0].type, AnnotationType::square);
    EXPECT_EQ(reloaded[0].content, "moved");
    EXPECT_DOUBLE_EQ(reloaded[0].appearance.borderWidth, 6);
    expectColorNear(reloaded[0].appearance.color, Color::rgb(0, 0, 255), "updated square");
}

// ---------------------------------------------------------------------------------------
// Saving

TEST(PDFKitBridgeSaveTest, ADocumentWithoutAnEngineDocumentCannotBeSaved) {
    PDFDocument foreign(Uuid::random(), "/tmp/x.pdf", "x", 1, {{612, 792, 0}}, {}, false, "x",
                        std::any(3.5));
    auto error = errorOf([&] { PDFKitBridge().saveAnnotations(foreign); });
    EXPECT_EQ(error.domain(), "PDFKitBridge");
    EXPECT_EQ(error.code(), -1);
    EXPECT_EQ(error.description(), "No underlying PDFKit document");
}

// Lowers this process's file-size limit so every write beyond `bytes` fails, as a full
// disk would; restored on destruction.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit lowered = saved_;
        lowered.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &lowered);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previousHandler_);
    }

private:
    rlimit saved_{};
    void (*previousHandler_)(int) = SIG_DFL;
};

TEST(PDFKitBridgeSaveTest, AFailedWriteIsReportedAndLeavesTheFileAsItWas) {
    TempDir dir;
    auto path = testing::writePdf(blankDocument(), dir / "keep.pdf");
    const std::string original = readFile(path).value();
    PDFKitBridge bridge;
    auto document = bridge.open(path);
    ASSERT_TRUE(
        bridge.addAnnotation(*document, AnnotationRecord(Uuid::random(), 0, AnnotationType::square,
                                                         {10, 10, 50, 50}, "kept?")));
    {
        FileSizeLimit limit(64);
        auto error = errorOf([&] { bridge.saveAnnotations(*document); });
        EXPECT_EQ(error.domain(), "PDFKitBridge");
        EXPECT_EQ(error.code(), -3);
        EXPECT_FALSE(error.description().empty());
    }
    EXPECT_EQ(readFile(path), original);
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        names.push_back(entry.path().filename().string());
    }
    EXPECT_EQ(names, std::vector<std::string>{"keep.pdf"}) << "no temporary left behind";

    // The document is still whole: once writing works again the change is saved.
    bridge.saveAnnotations(*document);
    auto records = bridge.loadAnnotations(*bridge.open(path));
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].content, "kept?");
}

TEST(PDFKitBridgeSaveTest, AVanishedFolderIsAWriteFailureNotASave) {
    TempDir dir;
    std::filesystem::create_directory(dir / "sub");
    auto path = testing::writePdf(blankDocument(), dir / "sub" / "gone.pdf");
    PDFKitBridge bridge;
    auto document = bridge.open(path);
    std::filesystem::remove_all(dir / "sub");

    auto error = errorOf([&] { bridge.saveAnnotations(*document); });
    EXPECT_EQ(error.domain(), "PDFKitBridge");
    EXPECT_EQ(error.code(), -3);
    EXPECT_FALSE(std::filesystem::exists(dir / "sub"));

    // A folder standing where the file was is not overwritten either.
    std::filesystem::create_directories(path);
    EXPECT_EQ(errorOf([&] { bridge.saveAnnotations(*document); }).code(), -3);
    EXPECT_TRUE(std::filesystem::is_directory(path));
}

} // namespace
} // namespace ombrix
