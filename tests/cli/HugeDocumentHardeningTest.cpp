// Documents of tens of thousands of pages through the command line: results on the right
// pages, and the time limit honoured by search and every edit.

#include "pdfkit/Document.h"
#include "pdfkit/Page.h"
#include "support/ManyPages.h"
#include "support/Shell.h"
#include "support/TempDir.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <vector>

namespace {

namespace fs = std::filesystem;
namespace fx = ombrix::testing;
using fx::shellQuoted;

// Enough pages that work done once per page for every page shows up; the sanitizer build,
// several times slower, proves the same on fewer.
#ifdef __SANITIZE_ADDRESS__
constexpr int kManyPages = 8000;
constexpr int kHugePages = 20000;
#else
constexpr int kManyPages = 20000;
constexpr int kHugePages = 50000;
#endif
constexpr int kRotatedPage = kManyPages * 6 / 10; // 1-based, well away from the marked pages

class HugeDocumentHardeningTest : public ::testing::Test {
protected:
    // The tool with its data folder in `data`; a hang ends after a minute instead of
    // holding the suite up.
    fx::ShellRun run(const std::string& arguments, const std::string& environment = {}) {
        return fx::runShell(environment + " XDG_DATA_HOME=" + shellQuoted(data.path().string()) +
                            " timeout 60 " + shellQuoted(OMBRIX_CLI_PATH) + " " + arguments);
    }
    static std::vector<int> pagesFound(const std::string& json) {
        std::vector<int> pages;
        for (const auto& item : nlohmann::json::parse(json)) {
            pages.push_back(item.at("page").get<int>());
        }
        return pages;
    }
    fx::TempDir dir;
    fx::TempDir data;
};

TEST_F(HugeDocumentHardeningTest, SearchAndEditsReachTheRightPagesOfAManyPageDocument) {
    const int pages = kManyPages;
    const std::string turnedPage = std::to_string(kRotatedPage);
    const auto file = fx::ManyPages{pages, {0, 7777, pages - 1}}.write(dir / "many.pdf");
    const std::string q = shellQuoted(file.string());

    auto all = run("search " + q + " 'Marker on page'");
    ASSERT_EQ(all.status, 0) << all.err;
    EXPECT_EQ(pagesFound(all.out), (std::vector<int>{1, 7778, pages}));
    auto one = run("search " + q + " " + shellQuoted(fx::ManyPages::markerText(7777)));
    ASSERT_EQ(one.status, 0) << one.err;
    EXPECT_EQ(pagesFound(one.out), std::vector<int>{7778});

    const auto marked = dir / "marked.pdf";
    auto highlight = run("highlight " + q + " --page 7778 --rect 72,700,120,20 -o " +
                         shellQuoted(marked.string()));
    ASSERT_EQ(highlight.status, 0) << highlight.err;
    const auto turned = dir / "turned.pdf";
    fs::copy_file(file, turned);
    auto rotate =
        run("rotate " + shellQuoted(turned.string()) + " --page " + turnedPage + " --degrees 90");
    ASSERT_EQ(rotate.status, 0) << rotate.err;
    {
        auto doc = ombrix::pdfkit::Document::open(marked);
        ASSERT_TRUE(doc);
        ASSERT_EQ(doc->pageCount(), pages);
        EXPECT_EQ(doc->page(7777)->annotations().size(), 1u);
        EXPECT_TRUE(doc->page(7776)->annotations().empty());
        EXPECT_TRUE(doc->page(7778)->annotations().empty());
        auto rotated = ombrix::pdfkit::Document::open(turned);
        ASSERT_TRUE(rotated);
        EXPECT_EQ(rotated->page(kRotatedPage - 1)->rotation(), 90);
        EXPECT_EQ(rotated->page(kRotatedPage - 2)->rotation(), 0);
        EXPECT_EQ(rotated->page(kRotatedPage)->rotation(), 0);
    }

    // Deleting a page moves every later page up by one.
    auto removed = run("delete-page " + q + " --page 7778");
    ASSERT_EQ(removed.status, 0) << removed.err;
    EXPECT_NE(removed.out.find(std::to_string(pages - 1) + " pages left"), std::string::npos)
        << removed.out;
    auto after = run("search " + q + " 'Marker on page'");
    ASSERT_EQ(after.status, 0) << after.err;
    EXPECT_EQ(pagesFound(after.out), (std::vector<int>{1, pages - 1}));
    auto last = run("text " + q + " --page " + std::to_string(pages - 1));
    EXPECT_EQ(last.out, fx::ManyPages::markerText(pages - 1) + "\n");
}

TEST_F(HugeDocumentHardeningTest, TheTimeLimitStopsSearchAndEditsOfAHugeDocument) {
    // Long enough to search that a second is never enough, quick to write.
    fx::ManyPages many{kHugePages, {kHugePages - 1}};
    const std::string lastPage = std::to_string(kHugePages - 1);
    many.fillerLines = 40;
    const auto file = many.write(dir / "huge.pdf");
    const std::string original = fx::readBytes(file);
    const std::string limit = "OMBRIX_TIMEOUT_SECONDS=1";
    const std::string stopped = "stopped: the document took longer than the 1 seconds allowed "
                                "(OMBRIX_TIMEOUT_SECONDS)";

    // A command the limit fails to stop is ended by `timeout` (status 124) and fails here.
    auto search = run("search " + shellQuoted(file.string()) + " 'Marker on page'", limit);
    EXPECT_EQ(search.status, 1) << search.err;
    EXPECT_NE(search.err.find(stopped), std::string::npos) << search.err;

    // An edit either makes it in time or stops with the file as it was.
    const auto copy = dir / "copy.pdf";
    const std::string c = shellQuoted(copy.string());
    for (const std::string& edit : {"highlight " + shellQuoted(file.string()) + " --page " +
                                        lastPage + " --rect 72,700,120,20 -o " + c,
                                    "rotate " + c + " --page " + lastPage + " --degrees 90",
                                    "delete-page " + c + " --page " + lastPage}) {
        fs::remove(copy);
        fs::copy_file(file, copy);
        auto result = run(edit, limit);
        if (result.status != 0) {
            EXPECT_EQ(result.status, 1) << edit << ": " << result.err;
            EXPECT_NE(result.err.find(stopped), std::string::npos) << edit << ": " << result.err;
            // A file the limit stopped reading is not called damaged.
            EXPECT_EQ(result.err.find("damaged"), std::string::npos) << edit << ": " << result.err;
            // (Compared as a whole: a diff of two documents this size takes gigabytes.)
            EXPECT_TRUE(fx::readBytes(copy) == original) << edit << " failed but changed the file";
        }
    }
    EXPECT_TRUE(fx::readBytes(file) == original);

    // Memory limits the document cannot be opened within: the file is not called damaged
    // or page-less, only too large for the limit.
    // (The smaller sanitizer document may open within 4 MB.)
    std::vector<std::string> limits{"1", "2"};
    if (kHugePages >= 50000) {
        limits.push_back("4");
    }
    for (const std::string& mb : limits) {
        fs::remove(copy);
        fs::copy_file(file, copy);
        auto starved = run("rotate " + c + " --page " + lastPage + " --degrees 90",
                           "OMBRIX_MEMORY_LIMIT_MB=" + mb);
        EXPECT_EQ(starved.status, 1) << starved.err;
        EXPECT_NE(starved.err.find("needs more than the " + mb + " MB of memory allowed"),
                  std::string::npos)
            << starved.err;
        EXPECT_EQ(starved.err.find("damaged"), std::string::npos) << starved.err;
        EXPECT_EQ(starved.err.find("with pages"), std::string::npos) << starved.err;
        EXPECT_TRUE(fx::readBytes(copy) == original) << mb << " MB: the file changed";
    }
}

} // namespace
