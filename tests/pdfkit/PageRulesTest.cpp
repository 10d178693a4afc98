#include "pdfkit/PageRules.h"

#include "pdfkit/Document.h"
#include "pdfkit/Page.h"

#include <gtest/gtest.h>

using namespace ombrix;

namespace {

const std::filesystem::path kTables =
    std::filesystem::path(OMBRIX_SOURCE_DIR) / "tests/data/tables";

} // namespace

// pdflatex fills its rules as thin rectangles; groff strokes them; Chromium fills cell
// backgrounds. Each comes back in page space, where the table's words are.
TEST(PageRules, RulesAndFillsOfRealTypesetters) {
    auto count = [](const std::string& name, auto test) {
        auto document = pdfkit::Document::open(kTables / (name + ".pdf"));
        EXPECT_TRUE(document) << name;
        const auto rules = pdfkit::pageRules(*document->page(0));
        return std::count_if(rules.begin(), rules.end(), test);
    };
    auto thinVertical = [](const pdfkit::PageRule& r) {
        return r.bounds.width < 2 && r.bounds.height > 10;
    };
    auto thinHorizontal = [](const pdfkit::PageRule& r) {
        return r.bounds.height < 2 && r.bounds.width > 10;
    };
    // |l|r|r|r| with \hline under every row: five vertical rules per row.
    EXPECT_GE(count("tex-fully-ruled", thinVertical), 5);
    EXPECT_GE(count("tex-fully-ruled", thinHorizontal), 6);
    // booktabs: three horizontal rules, no vertical one.
    EXPECT_EQ(count("tex-booktabs-title", thinVertical), 0);
    EXPECT_EQ(count("tex-booktabs-title", thinHorizontal), 3);
    EXPECT_GE(count("groff-box", thinVertical), 4);
    EXPECT_GE(count("chrome-zebra",
                    [](const pdfkit::PageRule& r) {
                        return r.filled && r.bounds.width > 50 && r.bounds.height > 8;
                    }),
              3);
    // A scan draws no lines.
    EXPECT_EQ(count("scan-booktabs", [](const auto&) { return true; }), 0);

    // Every rule lies on the page.
    auto document = pdfkit::Document::open(kTables / "tex-fully-ruled.pdf");
    const Rect media = document->page(0)->mediaBox();
    for (const auto& rule : pdfkit::pageRules(*document->page(0))) {
        EXPECT_TRUE(media.insetBy(-1, -1).contains(rule.bounds));
    }
}
