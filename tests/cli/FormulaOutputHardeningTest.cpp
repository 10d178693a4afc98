// What `ombrix formula` prints when the server's answer is hostile: a terminal must not act
// on it, and the user reads our words, not a library's.
#include "support/Fixtures.h"
#include "support/FormulaServer.h"
#include "support/Shell.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace {

namespace fx = ombrix::testing;
using fx::shellQuoted;

const fx::TextRun kFormula{"x = 42", 200, 500, 24};

class FormulaOutputHardeningTest : public ::testing::Test {
protected:
    FormulaOutputHardeningTest() {
        fx::FixtureDocument doc;
        doc.pages.resize(1);
        doc.pages[0].runs = {kFormula};
        file = fx::writePdf(doc, dir / "Formula.pdf");
    }
    fx::ShellRun ask(const std::string& body, int status = 200) {
        server.answer(status, body);
        const auto r = fx::textBounds(kFormula).insetBy(-20, -15);
        return fx::runShell(shellQuoted(OMBRIX_CLI_PATH) + " formula " +
                            shellQuoted(file.string()) + " --page 1 --rect " + std::to_string(r.x) +
                            "," + std::to_string(r.y) + "," + std::to_string(r.width) + "," +
                            std::to_string(r.height) + " --mathml --source server --server " +
                            server.url());
    }
    fx::TempDir dir;
    std::filesystem::path file;
    fx::FormulaServer server;
};

// One line of text a terminal only shows: no control character but the final line feed.
bool oneInertLine(const std::string& text) {
    if (text.empty() || text.back() != '\n') {
        return false;
    }
    for (std::size_t i = 0; i + 1 < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == 0x7F ||
            (c == 0xC2 && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
             static_cast<unsigned char>(text[i + 1]) <= 0x9F)) {
            return false;
        }
    }
    return true;
}

} // namespace

TEST_F(FormulaOutputHardeningTest, EscapeSequencesNeverReachTheTerminal) {
    // Retitles the terminal, clears the screen and its scroll-back, resets it, and a C1 CSI.
    const std::string esc = "\x1b]0;owned\x07\x1b[2J\x1b[3J\x1b"
                            "c\xc2\x9b"
                            "0m";
    auto message = ask(
        nlohmann::json{{"message", esc + "model not loaded\n" + std::string(10000, 'z')}}.dump());
    EXPECT_EQ(message.status, 1);
    EXPECT_TRUE(oneInertLine(message.err)) << message.err.substr(0, 200);
    EXPECT_TRUE(message.err.starts_with("ombrix formula: ]0;owned[2J[3Jc0mmodel not loaded zzz"))
        << message.err.substr(0, 200);
    EXPECT_LT(message.err.size(), 400u);

    auto formula =
        ask(nlohmann::json{{"latex", "x" + esc + " = 42"}, {"mathml", "<math>" + esc + "</math>"}}
                .dump());
    EXPECT_EQ(formula.status, 0) << formula.err;
    EXPECT_EQ(formula.out, "x]0;owned[2J[3Jc0m = 42\n<math>]0;owned[2J[3Jc0m</math>\n");
}

TEST_F(FormulaOutputHardeningTest, HugeAndForeignAnswersAreSaidInOurWords) {
    auto huge = ask("{\"message\":\"" + std::string(10u << 20, 'x') + "\"}");
    EXPECT_EQ(huge.status, 1);
    EXPECT_EQ(huge.err, "ombrix formula: The formula server's answer is too large (over 4 MB).\n");

    auto page = ask("<!DOCTYPE html>\n<html><body><h1>502 Bad Gateway</h1></body></html>\n");
    EXPECT_EQ(page.status, 1);
    EXPECT_EQ(page.err, "ombrix formula: The formula server's answer was not JSON: <!DOCTYPE "
                        "html> <html><body><h1>502 Bad Gateway</h1></body></html>\n");

    // A huge page that is no JSON is cut as well.
    auto bigPage = ask("<html>" + std::string(1u << 20, 'p') + "</html>");
    EXPECT_TRUE(oneInertLine(bigPage.err));
    EXPECT_LT(bigPage.err.size(), 400u);
    EXPECT_EQ(bigPage.err.find("json.exception"), std::string::npos);
}
