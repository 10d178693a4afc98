#include "core/AtomicFile.h"
#include "core/Uuid.h"
#include "support/Fixtures.h"
#include "support/Shell.h"
#include "support/TempDir.h"

#include <array>
#include <cctype>
#include <cstdio>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sstream>
#include <sys/wait.h>

namespace {

namespace fx = ombrix::testing;
using nlohmann::json;
using ToolRun = fx::ShellRun;
using fx::shellQuoted;

std::size_t countCaseInsensitive(std::string text, std::string needle) {
    auto lower = [](std::string& s) {
        for (char& c : s) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
    };
    lower(text);
    lower(needle);
    std::size_t count = 0;
    for (auto at = text.find(needle); at != std::string::npos;
         at = text.find(needle, at + needle.size())) {
        ++count;
    }
    return count;
}

// A binary PPM (P6, maxval 255) as pdftoppm writes it.
struct Pixmap {
    int width = 0, height = 0;
    std::string bytes;
    std::array<int, 3> at(int x, int y) const {
        const std::size_t i = (std::size_t(y) * width + x) * 3;
        return {(unsigned char)bytes[i], (unsigned char)bytes[i + 1], (unsigned char)bytes[i + 2]};
    }
};

Pixmap readPpm(const std::filesystem::path& path) {
    const std::string file = ombrix::readFile(path).value();
    std::istringstream in(file);
    std::string magic;
    int maxval = 0;
    Pixmap p;
    in >> magic >> p.width >> p.height >> maxval;
    in.get();
    EXPECT_EQ(magic, "P6");
    EXPECT_EQ(maxval, 255);
    p.bytes = file.substr(static_cast<std::size_t>(in.tellg()));
    EXPECT_EQ(p.bytes.size(), std::size_t(p.width) * p.height * 3);
    return p;
}

class AppCommandsTest : public ::testing::Test {
protected:
    // The tool with its data folder in `data`.
    ToolRun run(const std::string& arguments) {
        return fx::runShell("XDG_DATA_HOME=" + shellQuoted(data.path().string()) + " " +
                            shellQuoted(OMBRIX_CLI_PATH) + " " + arguments);
    }
    std::filesystem::path pdf(const fx::FixtureDocument& document, const std::string& name) {
        return fx::writePdf(document, dir / name);
    }
    fx::TempDir dir;
    fx::TempDir data;
};

TEST_F(AppCommandsTest, SearchAgreesPageByPageWithMutoolsTextOn300Pages) {
    auto file = pdf(fx::textDocument(300), "long.pdf");
    std::filesystem::create_directory(dir / "txt");
    auto drawn =
        fx::runShell("mutool draw -q -F txt -o " + shellQuoted((dir / "txt" / "p%d.txt").string()) +
                     " " + shellQuoted(file.string()));
    ASSERT_EQ(drawn.status, 0) << drawn.err;

    // mutool writes each text line on a line of its own and does not join hyphenated
    // words, while the search lets a blank in the query match any run of white space,
    // line breaks included. These queries never reach across a line ("Page 12" is one
    // line of its own, "the" one word), so both counts must agree exactly.
    for (const std::string query : {"page 1", "the"}) {
        auto result = run("search " + shellQuoted(file.string()) + " " + shellQuoted(query));
        ASSERT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.err, "");
        auto results = json::parse(result.out);

        std::vector<std::size_t> found(300, 0);
        int lastPage = 0;
        for (const auto& r : results) {
            const int page = r["page"];
            ASSERT_GE(page, 1);
            ASSERT_LE(page, 300);
            EXPECT_GE(page, lastPage) << "results out of page order";
            lastPage = page;
            ++found[page - 1];
            EXPECT_EQ(countCaseInsensitive(r["text"], query), 1u) << r["text"];
            EXPECT_GT(r["bounds"]["width"].get<double>(), 0);
        }
        std::size_t total = 0;
        for (int i = 0; i < 300; ++i) {
            auto text = ombrix::readFile(dir / "txt" / ("p" + std::to_string(i + 1) + ".txt"));
            ASSERT_TRUE(text) << "page " << i + 1;
            EXPECT_EQ(found[i], countCaseInsensitive(*text, query))
                << "query '" << query << "' on page " << i + 1;
            total += found[i];
        }
        EXPECT_EQ(total, results.size());
        EXPECT_GT(total, 100u);
    }

    // The document's own case comes back: "Page 1", and "The" once per page.
    auto pages = json::parse(run("search " + shellQuoted(file.string()) + " 'PAGE 1'").out);
    EXPECT_EQ(pages.at(0)["text"], "Page 1");
    EXPECT_EQ(pages.size(), 1u + 10u + 100u); // 1, 10–19, 100–199
    std::size_t capitalised = 0;
    for (const auto& r : json::parse(run("search " + shellQuoted(file.string()) + " the").out)) {
        capitalised += r["text"] == "The";
    }
    EXPECT_EQ(capitalised, 300u);
}

TEST_F(AppCommandsTest, SearchTalksOnStderrOnlyWhenVerbose) {
    auto file = shellQuoted(pdf(fx::textDocument(2), "two.pdf").string());
    auto quiet = run("search " + file + " beta");
    ASSERT_EQ(quiet.status, 0) << quiet.err;
    EXPECT_EQ(quiet.err, "");
    EXPECT_EQ(json::parse(quiet.out).size(), 4u);

    auto verbose = run("search --verbose " + file + " beta");
    ASSERT_EQ(verbose.status, 0) << verbose.err;
    EXPECT_NE(verbose.err.find("L8 bootstrapped: 18 contracts, 7 handlers"), std::string::npos)
        << verbose.err;
    EXPECT_EQ(json::parse(verbose.out), json::parse(quiet.out));

    EXPECT_EQ(run("search " + file + " ''").status, 2);
    EXPECT_EQ(run("search " + file).status, 2);
    EXPECT_EQ(run("search " + shellQuoted((dir / "none.pdf").string()) + " beta").status, 1);
}

TEST_F(AppCommandsTest, AHighlightSavedToACopyIsListedAndDrawnByOtherReaders) {
    auto document = fx::textDocument(2);
    auto input = pdf(document, "in.pdf");
    const auto original = ombrix::readFile(input).value();
    // The second page's first line, "Page 2", with 80 points to spare on its right.
    ombrix::Rect line = fx::textBounds(document.pages[1].runs[0]);
    ombrix::Rect rect{line.x - 2, line.y - 2, line.width + 80, line.height + 4};
    std::ostringstream spec;
    spec << rect.x << "," << rect.y << "," << rect.width << "," << rect.height;
    auto output = dir / "out.pdf";

    auto made = run("highlight " + shellQuoted(input.string()) + " --page 2 --rect " + spec.str() +
                    " -o " + shellQuoted(output.string()));
    ASSERT_EQ(made.status, 0) << made.err;
    EXPECT_EQ(made.err, "");
    auto record = json::parse(made.out);
    EXPECT_EQ(record["type"], "highlight");
    EXPECT_EQ(record["page"], 2);
    EXPECT_EQ(record["content"], "Page 2");
    EXPECT_NEAR(record["bounds"]["width"].get<double>(), rect.width, 1e-3); // as printed
    EXPECT_EQ(ombrix::readFile(input), original);

    auto listed = run("annotations " + shellQuoted(output.string()));
    ASSERT_EQ(listed.status, 0) << listed.err;
    auto annotations = json::parse(listed.out);
    ASSERT_EQ(annotations.size(), 1u);
    EXPECT_EQ(annotations[0]["type"], "highlight");
    EXPECT_EQ(annotations[0]["page"], 2);
    // The highlight's id, as the command that made it said, names it on every later run.
    EXPECT_EQ(annotations[0]["id"], record["id"]);
    EXPECT_EQ(ombrix::Uuid::parse(record["id"].get<std::string>()).has_value(), true);
    EXPECT_EQ(annotations[0]["content"], "Page 2");

    // Poppler draws it: inside the rectangle but right of the text, the page turns yellow.
    auto drawn = fx::runShell("pdftoppm -r 72 -f 2 -l 2 " + shellQuoted(output.string()) + " " +
                              shellQuoted((dir / "page").string()));
    ASSERT_EQ(drawn.status, 0) << drawn.err;
    Pixmap page = readPpm(dir / "page-2.ppm");
    ASSERT_EQ(page.width, 612);
    ASSERT_EQ(page.height, 792);
    const int y = static_cast<int>(792 - rect.midY());
    auto inside = page.at(static_cast<int>(rect.maxX() - 20), y);
    EXPECT_GT(inside[0], 200) << inside[0] << "," << inside[1] << "," << inside[2];
    EXPECT_GT(inside[1], 150);
    EXPECT_LT(inside[2], 200);
    EXPECT_GT(inside[0] - inside[2], 60);
    auto outside = page.at(static_cast<int>(rect.maxX() + 30), y);
    EXPECT_EQ(outside, (std::array<int, 3>{255, 255, 255}));

    auto under = run("highlight " + shellQuoted(input.string()) + " --page 1 --rect " + spec.str() +
                     " --underline -o " + shellQuoted((dir / "under.pdf").string()));
    ASSERT_EQ(under.status, 0) << under.err;
    EXPECT_EQ(json::parse(under.out)["type"], "underline");
    EXPECT_EQ(json::parse(under.out)["content"], "Page 1");
    EXPECT_EQ(
        json::parse(run("annotations " + shellQuoted((dir / "under.pdf").string())).out)[0]["type"],
        "underline");
}

TEST_F(AppCommandsTest, HighlightRefusesWhatItCannotPlace) {
    auto input = shellQuoted(pdf(fx::textDocument(2), "in.pdf").string());
    EXPECT_EQ(run("highlight " + input + " --page 1 --rect 1,2,3").status, 2);
    EXPECT_EQ(run("highlight " + input + " --rect 1,2,3,4").status, 2);
    auto beyond = run("highlight " + input + " --page 3 --rect 72,700,100,20");
    EXPECT_EQ(beyond.status, 1);
    EXPECT_NE(beyond.err.find("page"), std::string::npos) << beyond.err;

    // In place, without -o, the file itself gains the highlight.
    auto inPlace = run("highlight " + input + " --page 1 --rect 72,730,80,30 --verbose");
    ASSERT_EQ(inPlace.status, 0) << inPlace.err;
    EXPECT_NE(inPlace.err.find("✅ PDF successfully saved to in.pdf"), std::string::npos)
        << inPlace.err;
    EXPECT_EQ(json::parse(run("annotations " + input).out).size(), 1u);
}

} // namespace
