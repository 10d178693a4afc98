#include "PdfkitTestSupport.h"
#include "pdfkit/ResourceLimits.h"
#include "support/DecompressionBomb.h"

#include <gtest/gtest.h>

namespace ombrix::pdfkit::test {
namespace {

// A two-page file whose first page draws `form` through a form XObject; the second page
// is ordinary text.
std::string formPagePdf(const fx::BombStream& form) {
    const std::string font =
        "/Font << /F1 << /Type /Font /Subtype /Type1 /BaseFont /Helvetica >> >>";
    return handMadePdf({
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R 6 0 R] /Count 2 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R "
        "/Resources << /XObject << /Fm0 5 0 R >> >> >>",
        stream("", "q /Fm0 Do Q\n"),
        "<< /Type /XObject /Subtype /Form /BBox [0 0 612 792] /Resources << " + font +
            " >> /Filter " + form.filter + " /Length " + std::to_string(form.data.size()) +
            " >>\nstream\n" + form.data + "\nendstream",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 7 0 R /Resources << " +
            font + " >> >>",
        stream("", "BT /F1 12 Tf 72 700 Td (plain page) Tj ET\n"),
    });
}

// The bomb sits in a form the page draws, not in the page's own content: refused all
// the same, that page only, and quickly (the check decodes no more than its limit).
TEST(InflationCheck, AStackedBombInAFormIsNeitherDrawnNorRead) {
    fx::TempDir dir;
    writeBytes(dir / "form.pdf",
               formPagePdf(fx::decompressionBombStream(std::uint64_t(256) << 20)));
    auto doc = Document::open(dir / "form.pdf");
    ASSERT_NE(doc, nullptr);
    ASSERT_EQ(doc->pageCount(), 2);
    auto bombPage = doc->page(0);
    EXPECT_EQ(bombPage->string(), "");
    EXPECT_TRUE(bombPage->draw(61, 79, 0.1).isNull());
    EXPECT_TRUE(doc->find("AAAB", false).empty());
    EXPECT_TRUE(inflationLimitReached());
    EXPECT_EQ(doc->page(1)->string(), "plain page");
}

// Stacked filters alone are no bomb: a page through two deflates reads whole.
TEST(InflationCheck, ModestStackedFiltersReadWhole) {
    fx::TempDir dir;
    writeBytes(dir / "modest.pdf", formPagePdf(fx::decompressionBombStream(32u << 10)));
    auto doc = Document::open(dir / "modest.pdf");
    ASSERT_NE(doc, nullptr);
    const std::string text = doc->page(0)->string();
    EXPECT_NE(text.find(std::string(22, 'A')), std::string::npos);
    EXPECT_FALSE(doc->page(0)->draw(61, 79, 0.1).isNull());
}

} // namespace
} // namespace ombrix::pdfkit::test
