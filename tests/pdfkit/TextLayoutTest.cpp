#include "pdfkit/TextLayout.h"

#include "PdfkitTestSupport.h"
#include "pdfkit/Document.h"

#include <gtest/gtest.h>
#include <thread>

namespace ombrix::pdfkit::test {
namespace {

const fx::TextRun kFirst{"The alpha release opens every page of the file.", 72, 700, 12,
                         fx::FontStyle::regular};
const fx::TextRun kSecond{"Readers mark the beta chapters with a yellow pen.", 72, 680, 12,
                          fx::FontStyle::bold};

Point centre(const Rect& r) {
    return Point{r.midX(), r.midY()};
}

class TextLayoutTest : public ::testing::Test {
protected:
    void SetUp() override {
        doc = openFixture(dir, fx::textDocument(2), "text.pdf");
        ASSERT_NE(doc, nullptr);
        layout = doc->textLayout(0);
        ASSERT_NE(layout, nullptr);
    }
    fx::TempDir dir;
    std::shared_ptr<Document> doc;
    std::shared_ptr<const TextLayout> layout;
};

TEST_F(TextLayoutTest, CharactersCarryTheirQuadsInPageSpace) {
    ASSERT_EQ(layout->lines().size(), 6u);
    const LayoutLine& line = layout->lines()[1];
    EXPECT_EQ(layout->text(line.begin, line.end), kFirst.text);
    const LayoutChar t = layout->character(line.begin);
    EXPECT_EQ(t.code, U'T');
    EXPECT_NEAR(t.quad.ll.x, 72, 0.5);
    EXPECT_NEAR(t.quad.ll.y, t.bounds.minY(), 0.01);
    EXPECT_NEAR(t.quad.ul.y, t.bounds.maxY(), 0.01);
    EXPECT_LT(t.quad.ll.y, 700);
    EXPECT_GT(t.quad.ul.y, 700);
    EXPECT_GT(t.quad.lr.x, t.quad.ll.x);
    // The same object for the page while it stays recent.
    EXPECT_EQ(doc->textLayout(0), layout);
    EXPECT_EQ(doc->textLayout(2), nullptr);
    EXPECT_EQ(doc->textLayout(-1), nullptr);
}

TEST_F(TextLayoutTest, HitTestingFindsCharactersWordsAndLines) {
    const Rect alpha = fx::textBounds(kFirst, "alpha");
    const int a = layout->charAt(centre(fx::textBounds(kFirst, "a")), false);
    ASSERT_GE(a, 0);
    const int inAlpha = layout->charAt(centre(alpha), false);
    ASSERT_GE(inAlpha, 0);
    auto [first, last] = layout->wordAround(inAlpha);
    EXPECT_EQ(layout->text(first, last), "alpha");
    auto rects = layout->lineRects(first, last);
    ASSERT_EQ(rects.size(), 1u);
    EXPECT_NEAR(rects[0].minX(), alpha.minX(), 1);
    EXPECT_NEAR(rects[0].maxX(), alpha.maxX(), 1);

    auto [lineFirst, lineLast] = layout->lineAround(inAlpha);
    EXPECT_EQ(layout->text(lineFirst, lineLast), kFirst.text);

    // Off the text: nothing, unless the nearest is wanted.
    EXPECT_EQ(layout->charAt(Point{500, 100}, false), -1);
    const int nearest = layout->charAt(Point{kFirst.x - 30, 702}, true);
    ASSERT_GE(nearest, 0);
    EXPECT_EQ(layout->character(nearest).code, U'T');
    EXPECT_EQ(layout->wordAround(-1), (std::pair<int, int>{-1, -1}));
    EXPECT_EQ(layout->lineAround(layout->charCount()), (std::pair<int, int>{-1, -1}));
    // Every character belongs to the one line that holds it.
    for (std::size_t l = 0; l < layout->lines().size(); ++l) {
        const LayoutLine& line = layout->lines()[l];
        for (int i = line.begin; i < line.end; ++i) {
            ASSERT_EQ(layout->lineAround(i), (std::pair<int, int>{line.begin, line.end})) << i;
        }
    }
}

TEST_F(TextLayoutTest, ADragSelectsInReadingOrderAcrossLines) {
    const Rect beta = fx::textBounds(kSecond, "beta");
    const Rect alpha = fx::textBounds(kFirst, "alpha");
    // Dragged backwards from the middle of "beta" to the start of "alpha".
    auto [first, last] = layout->rangeBetween(Point{beta.midX(), beta.midY()},
                                              Point{alpha.minX() - 0.1, alpha.midY()});
    ASSERT_LT(first, last);
    const std::string text = layout->text(first, last);
    EXPECT_EQ(text.rfind("alpha release", 0), 0u) << text;
    EXPECT_NE(text.find("\nReaders mark the be"), std::string::npos) << text;
    EXPECT_EQ(layout->lineRects(first, last).size(), 2u);
    auto same = layout->rangeBetween(centre(alpha), centre(alpha));
    EXPECT_EQ(same.first, same.second);
}

TEST_F(TextLayoutTest, IsMadeOnAnyThreadAndSharedByThem) {
    std::shared_ptr<const TextLayout> fromWorkers[2];
    std::thread a([&] { fromWorkers[0] = doc->textLayout(1); });
    std::thread b([&] { fromWorkers[1] = doc->textLayout(1); });
    a.join();
    b.join();
    ASSERT_NE(fromWorkers[0], nullptr);
    EXPECT_EQ(fromWorkers[0], fromWorkers[1]);
    EXPECT_EQ(doc->textLayout(1), fromWorkers[0]);
    EXPECT_NE(fromWorkers[0]->text(0, 6).find("Page 2"), std::string::npos);
}

} // namespace
} // namespace ombrix::pdfkit::test
