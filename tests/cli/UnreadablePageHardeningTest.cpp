// A page whose content MuPDF cannot read to the end, through text, search and render: the
// page is named on stderr with status 3, and the other pages work as before.

#include "support/DamagedPage.h"
#include "support/Shell.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <set>

namespace {

namespace fx = ombrix::testing;
using fx::shellQuoted;

class UnreadablePageHardeningTest : public ::testing::Test {
protected:
    fx::ShellRun run(const std::string& arguments) {
        return fx::runShell("XDG_DATA_HOME=" + shellQuoted(data.path().string()) + " " +
                            shellQuoted(OMBRIX_CLI_PATH) + " " + arguments);
    }
    fx::TempDir dir;
    fx::TempDir data;
};

TEST_F(UnreadablePageHardeningTest, TextSearchAndRenderNameThePageThatCannotBeRead) {
    const std::string file =
        shellQuoted(fx::writeDeeplyNestedPage(dir / "nested.pdf", 3, 1).string());
    const std::string named = "page 2: part of the page's content could not be read";

    auto damaged = run("text " + file + " --page 2");
    EXPECT_EQ(damaged.status, 3) << damaged.err;
    EXPECT_NE(damaged.err.find(named), std::string::npos) << damaged.err;
    // What came before the nesting is still read.
    EXPECT_EQ(damaged.out.rfind("Page 2", 0), 0u) << damaged.out;
    auto sound = run("text " + file + " --page 3");
    EXPECT_EQ(sound.status, 0) << sound.err;
    EXPECT_TRUE(sound.err.empty()) << sound.err;
    EXPECT_EQ(sound.out.rfind("Page 3", 0), 0u) << sound.out;

    // The search goes on past the page, reports it once, and still finds what it could read.
    auto search = run("search " + file + " Page");
    EXPECT_EQ(search.status, 3) << search.err;
    EXPECT_NE(search.err.find("ombrix search: " + named), std::string::npos) << search.err;
    EXPECT_EQ(search.err.find("page 1:"), std::string::npos) << search.err;
    EXPECT_EQ(search.err.find("page 3:"), std::string::npos) << search.err;
    std::set<int> pages;
    for (const auto& item : nlohmann::json::parse(search.out)) {
        pages.insert(item.at("page").get<int>());
    }
    EXPECT_EQ(pages, (std::set<int>{1, 2, 3}));

    auto render = run("render " + file + " --page 2 -o " + shellQuoted((dir / "2.png").string()));
    EXPECT_NE(render.status, 0);
    EXPECT_NE(render.err.find(named), std::string::npos) << render.err;
    auto other = run("render " + file + " --page 1 -o " + shellQuoted((dir / "1.png").string()));
    EXPECT_EQ(other.status, 0) << other.err;
    EXPECT_TRUE(other.err.empty()) << other.err;

    auto help = run("--help");
    EXPECT_NE(help.out.find("3 done, but part of a page's"), std::string::npos) << help.out;
}

} // namespace
