#include "engine/NativeEngineBridge.h"

#include "core/AtomicFile.h"
#include "engine/EngineTestSupport.h"
#include "support/Fixtures.h"
#include "support/TempDir.h"

#include <atomic>
#include <cmath>
#include <filesystem>
#include <gtest/gtest.h>
#include <set>
#include <thread>

namespace {

namespace fs = std::filesystem;
namespace fx = ombrix::testing;
using ombrix::EngineAnnotation;
using ombrix::NativeEngineBridge;
using ombrix::Rect;

class NativeEngineBridgeTest : public ::testing::Test {
protected:
    std::string pdf(const fx::FixtureDocument& document, const std::string& name = "doc.pdf") {
        return fx::writePdf(document, dir / name).string();
    }
    fx::TempDir dir;
    NativeEngineBridge bridge;
};

TEST_F(NativeEngineBridgeTest, ReadsPagesAndFallsBackWhenItCannot) {
    auto text = pdf(fx::textDocument(3));
    auto rotated = pdf(fx::rotatedDocument(), "rotated.pdf");
    EXPECT_TRUE(bridge.openDocument(text));
    EXPECT_FALSE(bridge.openDocument((dir / "missing.pdf").string()));
    EXPECT_FALSE(bridge.openDocument(dir.path().string()));
    EXPECT_EQ(bridge.pageCount(text), 3);
    EXPECT_EQ(bridge.pageSize(text, 2), (ombrix::Size{612, 792}));
    EXPECT_EQ(bridge.pageSize(rotated, 1), (ombrix::Size{792, 612}));

    auto encrypted = dir / "locked.pdf";
    fx::writeEncryptedPdf(encrypted);
    auto garbage = dir / "garbage.pdf";
    fx::writeGarbagePdf(garbage);
    for (const std::string& bad :
         {(dir / "missing.pdf").string(), encrypted.string(), garbage.string()}) {
        EXPECT_EQ(bridge.pageCount(bad), 0) << bad;
        EXPECT_EQ(bridge.pageSize(bad, 0), (ombrix::Size{600, 800})) << bad;
        EXPECT_FALSE(bridge.renderPage(bad, 0, 1.0)) << bad;
        EXPECT_EQ(bridge.extractText(bad, 0), "") << bad;
        EXPECT_EQ(bridge.fontFamily(bad, 0, 0), "Unknown") << bad;
        EXPECT_EQ(bridge.fontSize(bad, 0, 0), 0) << bad;
        EXPECT_TRUE(bridge.annotations(bad, 0).empty()) << bad;
    }
    for (int page : {-1, 3}) {
        EXPECT_EQ(bridge.pageSize(text, page), (ombrix::Size{600, 800}));
        EXPECT_FALSE(bridge.renderPage(text, page, 1.0));
        EXPECT_EQ(bridge.extractText(text, page), "");
    }
}

TEST_F(NativeEngineBridgeTest, RendersTheTruncatedZoomedSizeOnWhite) {
    auto text = pdf(fx::textDocument(1));
    auto image = bridge.renderPage(text, 0, 1.5);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width(), 918);
    EXPECT_EQ(image->height(), 1188);
    EXPECT_EQ(image->pixel(5, 5), 0xffffffffu);
    EXPECT_EQ(bridge.renderPage(text, 0, 0.33)->width(), 201); // 201.96 truncated

    // Below one pixel, or no number at all, there is nothing to draw.
    for (double zoom : {0.0, -1.0, 0.001, std::nan(""), HUGE_VAL}) {
        EXPECT_FALSE(bridge.renderPage(text, 0, zoom)) << zoom;
    }
}

TEST_F(NativeEngineBridgeTest, TextAndFontsShareOneCharacterIndex) {
    auto file = dir / "coloured.pdf";
    fx::writeContentPdf(file, "BT /F1 24 Tf 72 700 Td 1 0 0 rg (Red) Tj 0 0.5 1 rg ( Blue) Tj ET\n"
                              "BT /F1 10 Tf 2 0 0 2 72 600 Tm 0 g (Big) Tj ET");
    const std::string path = file.string();
    const std::string text = bridge.extractText(path, 0);
    ASSERT_EQ(text, "Red Blue\nBig\n");

    EXPECT_EQ(bridge.fontFamily(path, 0, 0), "Helvetica-Bold");
    EXPECT_DOUBLE_EQ(bridge.fontSize(path, 0, 0), 24);
    EXPECT_DOUBLE_EQ(bridge.fontSize(path, 0, 9), 20); // 10 pt under a doubling text matrix
    EXPECT_EQ(bridge.fontColor(path, 0, 0).hexRGB(), "#FF0000");
    EXPECT_EQ(bridge.fontColor(path, 0, 5).hexRGB(), "#007FFF");
    EXPECT_EQ(bridge.fontColor(path, 0, 9).hexRGB(), "#000000");
    const int flags = bridge.fontFlags(path, 0, 0);
    EXPECT_EQ(flags & 32, 32) << flags;             // non-symbolic
    EXPECT_EQ(flags & (1 << 18), 1 << 18) << flags; // bold

    // The line break after "Blue" and anything past the end have no font.
    for (int index : {8, 13, 500, -1}) {
        EXPECT_EQ(bridge.fontFamily(path, 0, index), "Unknown") << index;
        EXPECT_EQ(bridge.fontSize(path, 0, index), 0) << index;
        EXPECT_EQ(bridge.fontFlags(path, 0, index), 0) << index;
        EXPECT_EQ(bridge.fontColor(path, 0, index), ombrix::SystemColors::black) << index;
    }
}

TEST_F(NativeEngineBridgeTest, ColourStringsFollowTheHashRule) {
    using ombrix::parseAnnotationColor;
    using ombrix::RgbBytes;
    EXPECT_EQ(parseAnnotationColor("#ff0000"), (RgbBytes{255, 0, 0}));
    EXPECT_EQ(parseAnnotationColor("#0A0b0C"), (RgbBytes{10, 11, 12}));
    EXPECT_EQ(parseAnnotationColor("#12zz56"), (RgbBytes{0, 0, 0x12})); // digits up to the z
    EXPECT_FALSE(parseAnnotationColor("ff0000"));
    EXPECT_FALSE(parseAnnotationColor("#ff00000"));
    EXPECT_FALSE(parseAnnotationColor(""));
}

TEST_F(NativeEngineBridgeTest, AddedAnnotationsCarryTheirTypeColourAndQuad) {
    auto path = pdf(fx::textDocument(2));
    EXPECT_TRUE(bridge.annotations(path, 0).empty());
    ASSERT_TRUE(bridge.addAnnotation(path, 0, "Highlight", Rect{72, 700, 100, 20}, "#ff0000", 128));
    ASSERT_TRUE(bridge.addAnnotation(path, 0, "Square", Rect{100, 100, 50, 40}, "ff0000", 255));

    auto listed = bridge.annotations(path, 0);
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[0], (EngineAnnotation{0, 9, 72, 700, 100, 20}));
    EXPECT_EQ(listed[1], (EngineAnnotation{1, 5, 100, 100, 50, 40}));
    EXPECT_TRUE(bridge.annotations(path, 1).empty());

    auto stored = fx::readStoredPage(path, 0);
    ASSERT_EQ(stored.annotations.size(), 2u);
    const auto& highlight = stored.annotations[0];
    EXPECT_EQ(highlight.subtype, "Highlight");
    EXPECT_EQ(highlight.color, (std::vector<double>{1, 0, 0}));
    ASSERT_TRUE(highlight.opacity);
    EXPECT_EQ(std::lround(*highlight.opacity * 255), 128);
    // Upper edge first, as readers take a quad's corners.
    EXPECT_EQ(highlight.quadPoints, (std::vector<double>{72, 720, 172, 720, 72, 700, 172, 700}));
    EXPECT_TRUE(highlight.hasAppearance);
    EXPECT_EQ(stored.annotations[1].color, (std::vector<double>{1, 1, 0})); // yellow fallback

    // Names are exact; unknown names, bad opacities and rectangles change nothing.
    auto before = ombrix::readFile(path);
    EXPECT_FALSE(bridge.addAnnotation(path, 0, "highlight", Rect{0, 0, 10, 10}, "", 255));
    EXPECT_FALSE(bridge.addAnnotation(path, 0, "Stamp", Rect{0, 0, 10, 10}, "", 255));
    EXPECT_FALSE(bridge.addAnnotation(path, 0, "Square", Rect{0, 0, 10, 10}, "", 256));
    EXPECT_FALSE(bridge.addAnnotation(path, 0, "Square", Rect{0, 0, 10, 10}, "", -1));
    EXPECT_FALSE(bridge.addAnnotation(path, 0, "Square", Rect{0, NAN, 10, 10}, "", 255));
    EXPECT_FALSE(bridge.addAnnotation(path, 2, "Square", Rect{0, 0, 10, 10}, "", 255));
    EXPECT_EQ(ombrix::readFile(path), before);
}

TEST_F(NativeEngineBridgeTest, EveryCreatableTypeIsWrittenWithItsCode) {
    auto path = pdf(fx::textDocument(1));
    const std::pair<const char*, int> types[] = {
        {"Highlight", 9}, {"Underline", 10}, {"StrikeOut", 12}, {"Square", 5},  {"Circle", 6},
        {"Line", 4},      {"Ink", 15},       {"Text", 1},       {"FreeText", 3}};
    for (const auto& [name, code] : types) {
        EXPECT_EQ(ombrix::annotationTypeCode(name), code);
        ASSERT_TRUE(bridge.addAnnotation(path, 0, name, Rect{50, 50, 80, 30}, "#0000ff", 255))
            << name;
    }
    auto listed = bridge.annotations(path, 0);
    ASSERT_EQ(listed.size(), std::size(types));
    for (std::size_t i = 0; i < listed.size(); ++i) {
        // A note is its icon, of the size readers draw it, in the middle of the rectangle.
        const auto expected = types[i].second == 1
                                  ? EngineAnnotation{int(i), 1, 81, 56, 18, 18}
                                  : EngineAnnotation{int(i), types[i].second, 50, 50, 80, 30};
        EXPECT_EQ(listed[i], expected) << types[i].first;
    }
}

TEST_F(NativeEngineBridgeTest, ListsWhatTheFileHoldsInItsOwnOrder) {
    auto path = pdf(fx::everyAnnotationDocument());
    auto listed = bridge.annotations(path, 0);
    ASSERT_EQ(listed.size(), 17u);
    const int codes[] = {9, 10, 12, 11, 5, 5, 6, 4, 8, 7, 15, 3, 1, 2, 13, 28, 20};
    for (std::size_t i = 0; i < listed.size(); ++i) {
        EXPECT_EQ(listed[i].id, int(i));
        EXPECT_EQ(listed[i].type, codes[i]) << i;
    }
}

TEST_F(NativeEngineBridgeTest, UpdatesMoveTheGeometryAndRecolourOnlyOnRequest) {
    auto path = pdf(fx::textDocument(1));
    ASSERT_TRUE(bridge.addAnnotation(path, 0, "Highlight", Rect{72, 700, 100, 20}, "#ff0000", 64));
    ASSERT_TRUE(bridge.updateAnnotation(path, 0, 0, Rect{72, 600, 50, 10}, "blue"));
    auto stored = fx::readStoredPage(path, 0).annotations.at(0);
    EXPECT_EQ(stored.quadPoints, (std::vector<double>{72, 610, 122, 610, 72, 600, 122, 600}));
    EXPECT_EQ(stored.color, (std::vector<double>{1, 0, 0}));
    EXPECT_EQ(std::lround(stored.opacity.value_or(0) * 255), 64);
    EXPECT_EQ(bridge.annotations(path, 0).at(0), (EngineAnnotation{0, 9, 72, 600, 50, 10}));

    ASSERT_TRUE(bridge.updateAnnotation(path, 0, 0, Rect{72, 600, 50, 10}, "#00ff00"));
    stored = fx::readStoredPage(path, 0).annotations.at(0);
    EXPECT_EQ(stored.color, (std::vector<double>{0, 1, 0}));
    EXPECT_EQ(stored.opacity.value_or(1.0), 1.0); // opaque: no /CA at all

    auto before = ombrix::readFile(path);
    EXPECT_FALSE(bridge.updateAnnotation(path, 0, 1, Rect{0, 0, 10, 10}, ""));
    EXPECT_FALSE(bridge.updateAnnotation(path, 0, -1, Rect{0, 0, 10, 10}, ""));
    EXPECT_EQ(ombrix::readFile(path), before);
}

TEST_F(NativeEngineBridgeTest, DeletingAnAnnotationPastTheEndLeavesTheFileAlone) {
    auto path = pdf(fx::everyAnnotationDocument());
    auto before = ombrix::readFile(path);
    EXPECT_FALSE(bridge.deleteAnnotation(path, 0, 17));
    EXPECT_FALSE(bridge.deleteAnnotation(path, 0, -1));
    EXPECT_FALSE(bridge.deleteAnnotation(path, 1, 0));
    EXPECT_EQ(ombrix::readFile(path), before);

    ASSERT_TRUE(bridge.deleteAnnotation(path, 0, 4)); // the first Square
    auto listed = bridge.annotations(path, 0);
    ASSERT_EQ(listed.size(), 16u);
    EXPECT_EQ(listed[3].type, 11);
    EXPECT_EQ(listed[4].type, 5);
    EXPECT_EQ(listed[5].type, 6);
}

TEST_F(NativeEngineBridgeTest, RotationIsAbsoluteInQuarterTurns) {
    auto path = pdf(fx::textDocument(2));
    const std::pair<int, int> cases[] = {{-90, 270}, {450, 90}, {180, 180}, {-720, 0}, {90, 90}};
    for (const auto& [degrees, expected] : cases) {
        ASSERT_TRUE(bridge.rotatePage(path, 1, degrees)) << degrees;
        EXPECT_EQ(fx::readStoredPage(path, 1).rotate, expected) << degrees;
    }
    EXPECT_EQ(fx::readStoredPage(path, 0).rotate, 0);
    EXPECT_EQ(bridge.pageSize(path, 1), (ombrix::Size{792, 612}));

    auto before = ombrix::readFile(path);
    EXPECT_FALSE(bridge.rotatePage(path, 1, 45));
    EXPECT_FALSE(bridge.rotatePage(path, 1, -1));
    EXPECT_FALSE(bridge.rotatePage(path, 2, 90));
    EXPECT_EQ(ombrix::readFile(path), before);
}

TEST_F(NativeEngineBridgeTest, DeletesOnlyPagesThatExist) {
    auto path = pdf(fx::textDocument(3));
    auto before = ombrix::readFile(path);
    EXPECT_FALSE(bridge.deletePage(path, 3));
    EXPECT_FALSE(bridge.deletePage(path, -1));
    EXPECT_EQ(ombrix::readFile(path), before);

    ASSERT_TRUE(bridge.deletePage(path, 0));
    EXPECT_EQ(bridge.pageCount(path), 2);
    EXPECT_EQ(bridge.extractText(path, 0).rfind("Page 2\n", 0), 0u);
    EXPECT_TRUE(bridge.saveDocument(path));
    EXPECT_TRUE(bridge.saveDocument((dir / "nothing-here.pdf").string()));
}

TEST_F(NativeEngineBridgeTest, WhatStandsBesideTheFileIsNeverTouched) {
    auto path = pdf(fx::textDocument(2));
    fs::create_directory(path + ".tmp");
    fs::path inside = fs::path(path + ".tmp") / "keep";
    ombrix::writeFileAtomically(inside, "mine");
    ombrix::writeFileAtomically(path + ".tmp.pdf", "also mine");

    ASSERT_TRUE(bridge.rotatePage(path, 0, 90));
    ASSERT_TRUE(bridge.addAnnotation(path, 0, "Square", Rect{1, 1, 10, 10}, "", 255));
    EXPECT_EQ(ombrix::readFile(inside), "mine");
    EXPECT_EQ(ombrix::readFile(path + ".tmp.pdf"), "also mine");
    EXPECT_EQ(fx::readStoredPage(path, 0).rotate, 90);
    EXPECT_EQ(bridge.pageCount(path), 2);
}

TEST_F(NativeEngineBridgeTest, KeepsTheFilesPermissionBits) {
    auto path = pdf(fx::textDocument(1));
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write);
    ASSERT_TRUE(bridge.rotatePage(path, 0, 90));
    EXPECT_EQ(fs::status(path).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
}

// Readers that bypass the engine never find the file missing or half written while it
// is rewritten again and again.
TEST_F(NativeEngineBridgeTest, TheFileIsWholeAtEveryMomentOfAWriteBack) {
    auto path = pdf(fx::textDocument(3));
    std::atomic<bool> done{false};
    std::atomic<int> broken{0}, reads{0};
    std::thread reader([&] {
        while (!done.load()) {
            auto bytes = ombrix::readFile(path);
            if (!bytes || bytes->rfind("%PDF", 0) != 0 ||
                bytes->find("%%EOF", bytes->size() > 16 ? bytes->size() - 16 : 0) ==
                    std::string::npos) {
                ++broken;
            }
            ++reads;
        }
    });
    for (int i = 0; i < 40; ++i) {
        ASSERT_TRUE(bridge.rotatePage(path, i % 3, 90 * i));
    }
    done = true;
    reader.join();
    EXPECT_EQ(broken.load(), 0) << "of " << reads.load() << " reads";
}

TEST_F(NativeEngineBridgeTest, CallsFromManyThreadsAreSerialisedAndSeeEachOther) {
    auto path = pdf(fx::textDocument(1));
    constexpr int kThreads = 4, kEach = 5;
    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            NativeEngineBridge own;
            for (int i = 0; i < kEach; ++i) {
                if (!own.addAnnotation(path, 0, "Square", Rect{10.0 * t, 10.0 * i, 5, 5}, "",
                                       255) ||
                    own.pageCount(path) != 1 || !own.renderPage(path, 0, 0.25)) {
                    ++failures;
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(failures.load(), 0);
    // No write lost another's annotation: every add saw all earlier ones.
    auto listed = bridge.annotations(path, 0);
    ASSERT_EQ(listed.size(), std::size_t(kThreads * kEach));
    std::set<std::pair<float, float>> corners;
    for (const auto& a : listed) {
        corners.emplace(a.x, a.y);
    }
    EXPECT_EQ(corners.size(), listed.size());
}

} // namespace
