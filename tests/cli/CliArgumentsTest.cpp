#include "support/Fixtures.h"
#include "support/Shell.h"
#include "support/TempDir.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <utility>
#include <vector>

namespace {

namespace fx = ombrix::testing;
using fx::shellQuoted;

// How the commands read their command line: options and their values, positionals, "--",
// and what a mistake in them is called. Each runs the real tool.
class CliArgumentsTest : public ::testing::Test {
protected:
    CliArgumentsTest() { fx::writePdf(fx::textDocument(2), dir / "text.pdf"); }

    // The tool run in `dir`, so that files may be named by words that look like options.
    fx::ShellRun run(const std::string& arguments) {
        return fx::runShell("cd " + shellQuoted(dir.path().string()) +
                            " && XDG_DATA_HOME=" + shellQuoted(data.path().string()) + " " +
                            shellQuoted(OMBRIX_CLI_PATH) + " " + arguments);
    }

    fx::TempDir dir;
    fx::TempDir data;
};

const std::string kTextUsage = "Usage: ombrix text FILE --page N [--password PW]\n";

TEST_F(CliArgumentsTest, ValuesAreTakenWholeInEitherFormAndOptionsStandAnywhere) {
    fx::writeEncryptedPdf(dir / "locked.pdf", "a=b");
    // The value runs from the first "=" to the end of the word.
    for (const char* line :
         {"text locked.pdf --page 1 --password=a=b", "text --password a=b --page=1 locked.pdf"}) {
        auto opened = run(line);
        EXPECT_EQ(opened.status, 0) << line << "\n" << opened.err;
        EXPECT_EQ(opened.out.rfind("Page 1\n", 0), 0u) << line << "\n" << opened.out;
    }
    EXPECT_EQ(run("text locked.pdf --page 1 --password=a").status, 1);

    // An empty value after "=" is a value: the next word stays the file.
    auto empty = run("info --password= text.pdf");
    EXPECT_EQ(empty.status, 0) << empty.err;

    // The word after an option is its value, whatever it looks like.
    auto turned = run("rotate text.pdf --degrees -90 --page 1");
    EXPECT_EQ(turned.status, 0) << turned.err;
    EXPECT_EQ(turned.out, "Rotated page 1 to 270°\n");
    auto dashes = run("text text.pdf --password -- --page 2");
    EXPECT_EQ(dashes.status, 0) << dashes.err;
    EXPECT_EQ(dashes.out.rfind("Page 2\n", 0), 0u) << dashes.out;

    auto rendered = run("render text.pdf --page 1 --size 50x50 --output=out=1.png");
    EXPECT_EQ(rendered.status, 0) << rendered.err;
    EXPECT_TRUE(std::filesystem::exists(dir / "out=1.png"));

    // A value is never split into a list, as some parsers do with brackets and commas.
    auto bracketed = run("text text.pdf --page '[1,2]'");
    EXPECT_EQ(bracketed.err,
              "ombrix text: page must be a whole number from 1 on, not '[1,2]'\n" + kTextUsage);
    auto listed = run("info '[text.pdf,x]'");
    EXPECT_EQ(listed.status, 1);
    EXPECT_EQ(listed.err, "ombrix info: Cannot open [text.pdf,x]: it does not exist\n");
}

TEST_F(CliArgumentsTest, DoubleDashEndsTheOptionsAndADashIsAFile) {
    std::filesystem::copy_file(dir / "text.pdf", dir / "--page");
    std::filesystem::copy_file(dir / "text.pdf", dir / "-5.pdf");
    auto named = run("text --page 2 -- --page");
    EXPECT_EQ(named.status, 0) << named.err;
    EXPECT_EQ(named.out.rfind("Page 2\n", 0), 0u) << named.out;
    EXPECT_EQ(run("info -- -5.pdf").status, 0);
    EXPECT_EQ(run("info -5.pdf").err, "ombrix info: unknown option '-5.pdf'\nUsage: ombrix info "
                                      "FILE [--password PW]\n");

    // Only the first "--" ends the options; one after it is a positional like any other.
    EXPECT_EQ(run("text text.pdf --page 1 -- --").err,
              "ombrix text: unexpected argument '--'\n" + kTextUsage);
    auto nothingAfter = run("text text.pdf --page 1 --");
    EXPECT_EQ(nothingAfter.status, 0) << nothingAfter.err;

    // "-" alone names a file (there is none here), not an option.
    auto dash = run("text - --page 1");
    EXPECT_EQ(dash.status, 1);
    EXPECT_EQ(dash.err, "ombrix text: Cannot open -: it does not exist\n");
}

TEST_F(CliArgumentsTest, TheFirstMistakeOnTheLineIsToldWithTheUsage) {
    const std::pair<std::string, std::string> mistakes[] = {
        {"text text.pdf --page 1 --pages 2", "unknown option '--pages'"},
        {"text text.pdf --pages=2 --page 1", "unknown option '--pages=2'"},
        {"text text.pdf --page 1 --page 1", "--page given twice"},
        {"text text.pdf --page=1 --page 2", "--page given twice"},
        {"text text.pdf --page", "--page needs a value"},
        {"text text.pdf --page 1 --page", "--page given twice"},
        {"text text.pdf --bogus --page 1 --page 2", "unknown option '--bogus'"},
        {"text text.pdf --page 1 --page 2 --bogus", "--page given twice"},
        {"text text.pdf --bogus --page", "unknown option '--bogus'"},
        {"text text.pdf --page 1 --password x --password x", "--password given twice"},
        {"text text.pdf --page 1 -h", "unknown option '-h'"},
        {"text text.pdf --page 1 ---page", "unknown option '---page'"},
        {"text text.pdf --page 1 --=1", "unknown option '--=1'"},
        {"text text.pdf --page 1 -", "unexpected argument '-'"},
        {"text --page 1", "missing FILE"},
    };
    for (const auto& [line, message] : mistakes) {
        auto result = run(line);
        EXPECT_EQ(result.status, 2) << line;
        EXPECT_EQ(result.err, "ombrix text: " + message + "\n" + kTextUsage) << line;
        EXPECT_TRUE(result.out.empty()) << line;
    }
}

TEST_F(CliArgumentsTest, ShortOptionsAndFlagsTakeNothingAttached) {
    const std::string searchUsage = "Usage: ombrix search FILE QUERY [--verbose] [--password PW]\n";
    const std::pair<std::string, std::string> searches[] = {
        {"search text.pdf Page --verbose --verbose", "--verbose given twice"},
        {"search text.pdf Page --verbose=yes", "unknown option '--verbose=yes'"},
        {"search text.pdf Page --verbose=true", "unknown option '--verbose=true'"},
        {"search text.pdf Page --verbose=", "unknown option '--verbose='"},
        {"search text.pdf -5", "unknown option '-5'"},
    };
    for (const auto& [line, message] : searches) {
        auto result = run(line);
        EXPECT_EQ(result.status, 2) << line;
        EXPECT_EQ(result.err, "ombrix search: " + message + "\n" + searchUsage) << line;
    }
    auto negative = run("search text.pdf -- -5");
    EXPECT_EQ(negative.status, 0) << negative.err;
    EXPECT_EQ(negative.out, "[]\n");

    const std::string renderUsage =
        "Usage: ombrix render FILE --page N [--size WxH] -o OUT.png [--password PW]\n";
    const std::pair<std::string, std::string> renders[] = {
        {"render text.pdf --page 1 -oout.png", "unknown option '-oout.png'"},
        {"render text.pdf --page 1 -o=out.png", "unknown option '-o=out.png'"},
        {"render text.pdf --page 1 -o out.png -o out.png", "-o given twice"},
        {"render text.pdf --page 1 -o out.png --output out.png", "-o and --output both given"},
        {"render text.pdf --page 1 -o", "-o needs a value"},
    };
    for (const auto& [line, message] : renders) {
        auto result = run(line);
        EXPECT_EQ(result.status, 2) << line;
        EXPECT_EQ(result.err, "ombrix render: " + message + "\n" + renderUsage) << line;
    }
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        EXPECT_EQ(entry.path().extension(), ".pdf") << entry.path();
    }
}

} // namespace
