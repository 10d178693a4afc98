#include "annotations/AnnotationRecord.h"
#include "annotations/AnnotationType.h"
#include "annotations/HighlightColor.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

using namespace ombrix;
using nlohmann::json;

TEST(AnnotationType, RawValuesAreTheCaseNamesInOrder) {
    const std::vector<std::string> expected{
        "highlight", "underline", "strikeout", "squiggly",  "square",   "circle",
        "line",      "polyline",  "polygon",   "ink",       "freeText", "stickyNote",
        "callout",   "link",      "stamp",     "redaction", "unknown"};
    const auto& all = allAnnotationTypes();
    ASSERT_EQ(all.size(), expected.size());
    for (std::size_t i = 0; i < all.size(); ++i) {
        EXPECT_EQ(static_cast<std::size_t>(all[i]), i);
        EXPECT_EQ(rawValue(all[i]), expected[i]);
        EXPECT_EQ(annotationTypeFromRaw(expected[i]), all[i]);
    }
    EXPECT_FALSE(annotationTypeFromRaw("Highlight"));
    EXPECT_FALSE(annotationTypeFromRaw("freetext"));
    EXPECT_FALSE(annotationTypeFromRaw(""));
}

TEST(AnnotationType, JsonIsTheRawValueAndUnknownTextFailsToDecode) {
    for (auto type : allAnnotationTypes()) {
        json j = type;
        EXPECT_EQ(j, rawValue(type));
        EXPECT_EQ(j.get<AnnotationType>(), type);
    }
    // No falling back to unknown: a stored value we do not know is an error.
    EXPECT_THROW(json("Widget").get<AnnotationType>(), json::exception);
    EXPECT_THROW(json("Highlight").get<AnnotationType>(), json::exception);
    EXPECT_THROW(json(0).get<AnnotationType>(), json::exception);
    EXPECT_THROW(json(nullptr).get<AnnotationType>(), json::exception);
}

TEST(AnnotationSubtype, RoundTripsThroughTheReverseMapping) {
    using T = AnnotationType;
    EXPECT_EQ(annotationSubtype(T::squiggly), "/Squiggly");
    EXPECT_EQ(annotationSubtype(T::polyline), "/PolyLine");
    EXPECT_EQ(annotationSubtype(T::polygon), "/Polygon");

    for (auto type : allAnnotationTypes()) {
        auto back = annotationTypeFrom(annotationSubtype(type));
        switch (type) {
        case T::callout:
            EXPECT_EQ(back, T::freeText);
            break;
        case T::redaction:
            EXPECT_EQ(back, T::square);
            break;
        case T::unknown:
            EXPECT_EQ(back, T::highlight);
            break;
        default:
            EXPECT_EQ(back, type) << rawValue(type);
        }
    }
}

TEST(AnnotationTypeFrom, SlashAndLetterCaseAreIgnored) {
    using T = AnnotationType;
    for (const char* name : {"Highlight", "/Highlight", "HIGHLIGHT", "/hIgHlIgHt"}) {
        EXPECT_EQ(annotationTypeFrom(std::string(name)), T::highlight) << name;
    }
    EXPECT_EQ(annotationTypeFrom(std::string("Text")), T::stickyNote);
    EXPECT_EQ(annotationTypeFrom(std::string("FreeText")), T::freeText);
    EXPECT_EQ(annotationTypeFrom(std::string("/Redact")), T::redaction);
    EXPECT_EQ(annotationTypeFrom(std::string("Redaction")), T::redaction);
    EXPECT_EQ(annotationTypeFrom(std::string("FreeTextCallout")), T::callout);
    EXPECT_EQ(annotationTypeFrom(std::string("Callout")), T::callout);
    // Lower-casing is full Unicode: the Kelvin sign lower-cases to "k".
    EXPECT_EQ(annotationTypeFrom(std::string("LIN\u212A")), T::link);
}

TEST(AnnotationTypeFrom, EverythingElseIsUnknown) {
    for (std::optional<std::string> name :
         {std::optional<std::string>{}, std::optional<std::string>{""},
          std::optional<std::string>{"/"}, std::optional<std::string>{"//Highlight"},
          std::optional<std::string>{"Widget"}, std::optional<std::string>{" Highlight"},
          std::optional<std::string>{"Highlight\n"}, std::optional<std::string>{"\xff\xfe"}}) {
        EXPECT_EQ(annotationTypeFrom(name), AnnotationType::unknown) << name.value_or("<none>");
    }
}

TEST(AnnotationAppearance, DefaultsHaveTheirValuesAndAreMadeOnce) {
    const auto& h = AnnotationAppearance::defaultHighlight();
    EXPECT_EQ(h, (AnnotationAppearance{SystemColors::yellow, std::nullopt, 0.5, 1, 14, {}}));
    const auto& s = AnnotationAppearance::defaultShape();
    EXPECT_EQ(s.color, SystemColors::red);
    ASSERT_TRUE(s.interiorColor);
    EXPECT_EQ(*s.interiorColor, SystemColors::red.withAlpha(0.2));
    EXPECT_EQ(s.opacity, 0.3);
    EXPECT_EQ(s.borderWidth, 1.0);
    EXPECT_EQ(s.fontSize, 14.0);
    EXPECT_FALSE(s.author);
    EXPECT_EQ(AnnotationAppearance::defaultText(),
              (AnnotationAppearance{SystemColors::blue, std::nullopt, 1.0, 1, 14, {}}));

    EXPECT_EQ(&AnnotationAppearance::defaultHighlight(), &h);
    EXPECT_EQ(&AnnotationAppearance::defaultShape(), &s);
}

TEST(AnnotationRecord, TakesTheDefaultOfItsTypeWhenGivenNoAppearance) {
    using T = AnnotationType;
    for (auto type : allAnnotationTypes()) {
        const auto& expected = isShapeType(type)  ? AnnotationAppearance::defaultShape()
                               : isTextType(type) ? AnnotationAppearance::defaultText()
                                                  : AnnotationAppearance::defaultHighlight();
        EXPECT_EQ(AnnotationRecord::defaultAppearance(type), expected) << rawValue(type);
    }
    AnnotationRecord ink(Uuid::random(), 2, T::ink, Rect{1, 2, 3, 4});
    EXPECT_EQ(ink.appearance, AnnotationAppearance::defaultShape());
    EXPECT_EQ(AnnotationRecord(Uuid::random(), 0, T::stickyNote, {}).appearance,
              AnnotationAppearance::defaultText());
    EXPECT_EQ(AnnotationRecord(Uuid::random(), 0, T::link, {}).appearance,
              AnnotationAppearance::defaultHighlight());

    // The default is a copy: changing a record's appearance leaves the default alone.
    ink.appearance.opacity = 0.9;
    EXPECT_EQ(AnnotationAppearance::defaultShape().opacity, 0.3);

    AnnotationAppearance custom{SystemColors::green, std::nullopt, 0.7, 2, 10, "Ann"};
    auto id = Uuid::random();
    AnnotationRecord given(id, 5, T::highlight, Rect{0, 0, 10, 10}, "marked", custom);
    EXPECT_EQ(given.appearance, custom);
    EXPECT_EQ(given.id, id);
    EXPECT_EQ(given.pageIndex, 5);
    EXPECT_EQ(given.content, "marked");
    EXPECT_EQ(given.pdfAnnotationRef, nullptr);
}

namespace {
void expectColor(const HighlightColor& c, int r, int g, int b) {
    EXPECT_DOUBLE_EQ(c.nsColor.red, r / 255.0) << c.name;
    EXPECT_DOUBLE_EQ(c.nsColor.green, g / 255.0) << c.name;
    EXPECT_DOUBLE_EQ(c.nsColor.blue, b / 255.0) << c.name;
    EXPECT_EQ(c.nsColor.alpha, 0.5) << c.name;
}
} // namespace

TEST(HighlightColor, ParsesHexAfterTrimmingAndDroppingHashes) {
    HighlightColor teal("Teal", " #00FF00\n");
    EXPECT_EQ(teal.id, "teal");
    EXPECT_EQ(teal.name, "Teal");
    EXPECT_EQ(teal.nsColor, (Color{0, 1, 0, 0.5}));

    expectColor(HighlightColor("x", "##ea#5252"), 0xea, 0x52, 0x52);
    expectColor(HighlightColor("x", "\t0x086ddd "), 0x08, 0x6d, 0xdd);
    expectColor(HighlightColor("x", "abc"), 0x00, 0x0a, 0xbc);
    // Bits above the lowest 24 do not colour anything.
    expectColor(HighlightColor("x", "7f112233"), 0x11, 0x22, 0x33);
}

TEST(HighlightColor, UnreadableHexGivesHalfTransparentBlack) {
    for (const char* hex : {"zz", "", "#", "  \n", "-ff0000", "+ff0000", "0x", "\xff\xfe",
                            // 17 significant digits do not fit in 64 bits
                            "1ffffffffffffffff", "ffffffffffffffffffffffffffffffffff"}) {
        EXPECT_EQ(HighlightColor("x", hex).nsColor, (Color{0, 0, 0, 0.5})) << hex;
    }
    // The longest leading run of hex digits is read and the rest ignored.
    expectColor(HighlightColor("x", "12zz"), 0, 0, 0x12);
    expectColor(HighlightColor("x", "ff00 00"), 0, 0xff, 0);
    // Leading zeros are no overflow.
    expectColor(HighlightColor("x", "00000000000000000000ffd000"), 0xff, 0xd0, 0x00);
    expectColor(HighlightColor("x", "ffffffffffffffff"), 0xff, 0xff, 0xff);
}

TEST(HighlightColor, IdIsTheUnicodeLowerCasedName) {
    EXPECT_EQ(HighlightColor("ÄPFEL Grün", "#000000").id, "äpfel grün");
    EXPECT_EQ(HighlightColor("ÄPFEL Grün", "#000000").name, "ÄPFEL Grün");
    EXPECT_FALSE(HighlightColor("Red", "#ea5252") == HighlightColor("Red", "#ea5253"));
    EXPECT_FALSE(HighlightColor("Red", "#ea5252") == HighlightColor("RED", "#ea5252"));
    EXPECT_EQ(HighlightColor("Red", "#ea5252"), HighlightColor("Red", "ea5252"));
}

TEST(HighlightColor, PaletteHasFiveHalfTransparentColoursYellowFirst) {
    const auto& palette = HighlightColor::defaults();
    ASSERT_EQ(palette.size(), 5u);
    EXPECT_EQ(&HighlightColor::defaults(), &palette);
    const std::vector<std::string> ids{"yellow", "red", "blue", "green", "purple"};
    const std::vector<std::string> names{"Yellow", "Red", "Blue", "Green", "Purple"};
    for (std::size_t i = 0; i < palette.size(); ++i) {
        EXPECT_EQ(palette[i].id, ids[i]);
        EXPECT_EQ(palette[i].name, names[i]);
    }
    expectColor(palette[0], 255, 208, 0);
    expectColor(palette[1], 234, 82, 82);
    expectColor(palette[2], 8, 109, 221);
    expectColor(palette[3], 4, 168, 2);
    expectColor(palette[4], 187, 97, 229);
    EXPECT_EQ(palette[0].nsColor.hexRGB(), "#FFD000");
}
