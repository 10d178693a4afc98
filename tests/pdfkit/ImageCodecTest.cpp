#include "pdfkit/ImageCodec.h"

#include "PdfkitTestSupport.h"

#include <gtest/gtest.h>

namespace ombrix::pdfkit::test {
namespace {

TEST(ImageCodec, TranslucentPixelsSurviveThePremultipliedRoundTrip) {
    // Premultiplied: half-transparent full red is (128, 0, 0, 128).
    const std::vector<std::uint8_t> pixels = {128, 0, 64, 128, 10, 20, 30, 255,
                                              0,   0, 0,  0,   51, 51, 51, 51};
    auto png = encodePNG(Image(2, 2, pixels));
    ASSERT_TRUE(png);
    EXPECT_EQ(png->compare(1, 3, "PNG"), 0);
    EXPECT_EQ((*png)[25], 6) << "colour type RGBA";
    auto back = decodeImage(*png);
    ASSERT_TRUE(back);
    ASSERT_EQ(back->width(), 2);
    ASSERT_EQ(back->height(), 2);
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        EXPECT_NEAR(back->data()[i], pixels[i], 1) << "byte " << i;
    }
}

TEST(ImageCodec, OpaqueRendersRoundTripExactlyAndWithoutAlpha) {
    fx::TempDir dir;
    auto doc = openFixture(dir, fx::everyAnnotationDocument(), "annots.pdf");
    Image render = doc->page(0)->draw(153, 198, 0.25);
    auto png = encodePNG(render);
    ASSERT_TRUE(png);
    EXPECT_EQ((*png)[25], 2) << "colour type RGB";
    auto back = decodeImage(*png);
    ASSERT_TRUE(back);
    ASSERT_EQ(back->byteCount(), render.byteCount());
    EXPECT_EQ(0, std::memcmp(back->data(), render.data(), render.byteCount()));
}

TEST(ImageCodec, NothingFromNothing) {
    EXPECT_FALSE(encodePNG(Image()));
    EXPECT_FALSE(encodePNG(Image(4, 4, std::vector<std::uint8_t>(10))));
    EXPECT_FALSE(decodeImage(""));
    EXPECT_FALSE(decodeImage("not an image at all"));
    auto png = encodePNG(Image(8, 8, std::vector<std::uint8_t>(256, 255)));
    ASSERT_TRUE(png);
    decodeImage(png->substr(0, png->size() / 3)); // fails or comes out partial; never crashes
}

} // namespace
} // namespace ombrix::pdfkit::test
