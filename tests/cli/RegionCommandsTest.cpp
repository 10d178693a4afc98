#include "core/AtomicFile.h"
#include "pdfkit/Document.h"
#include "pdfkit/ImageCodec.h"
#include "pdfkit/Page.h"
#include "support/Fixtures.h"
#include "support/FormulaServer.h"
#include "support/Shell.h"
#include "support/TempDir.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <nlohmann/json.hpp>
#include <sys/socket.h>
#include <unistd.h>

namespace {

namespace fx = ombrix::testing;
using fx::shellQuoted;

const fx::TextRun kFormula{"x = 42", 200, 500, 24};

class RegionCommandsTest : public ::testing::Test {
protected:
    RegionCommandsTest() {
        fx::FixtureDocument doc;
        doc.pages.resize(2);
        doc.pages[1].runs = {kFormula};
        file = fx::writePdf(doc, dir / "Notes.pdf");
    }
    fx::ShellRun run(const std::string& arguments, const std::string& environment = "") {
        return fx::runShell(environment + " " + shellQuoted(OMBRIX_CLI_PATH) + " " + arguments);
    }
    std::string region() const {
        const auto r = fx::textBounds(kFormula).insetBy(-20, -15);
        return std::to_string(r.x) + "," + std::to_string(r.y) + "," + std::to_string(r.width) +
               "," + std::to_string(r.height);
    }
    fx::TempDir dir;
    std::filesystem::path file;
};

// A loopback port nobody listens on.
int closedPort() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    ::close(fd);
    return ntohs(addr.sin_port);
}

} // namespace

TEST_F(RegionCommandsTest, CropWritesTheNextFileBesideTheDocument) {
    const auto bytes = ombrix::readFile(file);
    auto first = run("crop " + shellQuoted(file.string()) + " --page 2 --rect 100,400,300,200");
    ASSERT_EQ(first.status, 0) << first.err;
    EXPECT_EQ(first.out, (dir / "Notes_page2_seq001.pdf").string() + "\n");
    auto second = run("crop " + shellQuoted(file.string()) + " --page 2 --rect 100,400,300,200");
    EXPECT_EQ(second.out, (dir / "Notes_page2_seq002.pdf").string() + "\n");
    EXPECT_EQ(ombrix::readFile(file), bytes); // the document itself is not written

    // Checked with MuPDF's own tool: one page of the padded 310 × 210 points, its image
    // at 8 pixels per point.
    auto info =
        fx::runShell("mutool info " + shellQuoted((dir / "Notes_page2_seq001.pdf").string()));
    EXPECT_NE(info.out.find("[ 0 0 310 210 ]"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("2480x1680"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("Pages: 1"), std::string::npos) << info.out;
    // And drawn by poppler: the formula's ink is there.
    auto drawn = fx::runShell("pdftoppm -r 72 -png " +
                              shellQuoted((dir / "Notes_page2_seq001.pdf").string()) + " " +
                              shellQuoted((dir / "drawn").string()));
    ASSERT_EQ(drawn.status, 0) << drawn.err;
    auto png = ombrix::readFile(dir / "drawn-1.png");
    ASSERT_TRUE(png);
    auto image = ombrix::pdfkit::decodeImage(*png);
    ASSERT_TRUE(image);
    int dark = 0;
    for (int y = 0; y < image->height(); ++y) {
        for (int x = 0; x < image->width(); ++x) {
            dark += (image->pixel(x, y) >> 24) < 128 ? 1 : 0;
        }
    }
    EXPECT_GT(dark, 20);
}

TEST_F(RegionCommandsTest, CropAndFormulaRefuseWhatTheyCannotDo) {
    const std::string f = shellQuoted(file.string());
    auto noRect = run("crop " + f + " --page 2");
    EXPECT_EQ(noRect.status, 2);
    EXPECT_NE(noRect.err.find("Usage: ombrix crop FILE --page N --rect X,Y,W,H"),
              std::string::npos);
    EXPECT_EQ(run("crop " + f + " --page 3 --rect 1,1,10,10").status, 1);
    auto offPage = run("crop " + f + " --page 2 --rect 900,900,10,10");
    EXPECT_EQ(offPage.status, 1);
    EXPECT_NE(offPage.err.find("lies outside page 2"), std::string::npos) << offPage.err;
    EXPECT_EQ(run("formula " + f + " --page 2 --rect 1,1,-5,10").status, 2);
    EXPECT_EQ(
        run("formula " + f + " --page 2 --rect 900,900,10,10 --server http://127.0.0.1:9/").status,
        1);
    std::vector<std::string> left;
    for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
        left.push_back(e.path().filename().string());
    }
    EXPECT_EQ(left, std::vector<std::string>{"Notes.pdf"});
}

TEST_F(RegionCommandsTest, FormulaPrintsTheServersLatexAndMathML) {
    fx::FormulaServer server;
    server.answer(200, R"({"latex":"x = 42","mathml":"<math><mi>x</mi></math>"})");
    const std::string base =
        "formula " + shellQuoted(file.string()) + " --page 2 --source server --rect " + region();

    auto latex = run(base + " --server " + server.url());
    ASSERT_EQ(latex.status, 0) << latex.err;
    EXPECT_EQ(latex.out, "x = 42\n");
    auto both = run(base + " --mathml", "OMBRIX_MATH_SERVER=" + shellQuoted(server.url()));
    EXPECT_EQ(both.out, "x = 42\n<math><mi>x</mi></math>\n");
    EXPECT_EQ(server.requests(), 2);
    // What went out is a PNG of the trimmed formula: wider than high, a fraction of the region.
    auto sent = ombrix::pdfkit::decodeImage(server.file().content);
    ASSERT_TRUE(sent);
    EXPECT_GT(sent->width(), sent->height());
    EXPECT_LT(sent->width(), int(fx::textBounds(kFormula).width * 8 * 1.3));

    server.answer(200, R"({"latex":"y"})");
    auto noMathml = run(base + " --mathml --server " + server.url());
    EXPECT_EQ(noMathml.status, 0);
    EXPECT_EQ(noMathml.out, "y\n");
    EXPECT_NE(noMathml.err.find("no MathML"), std::string::npos);

    server.answer(422, R"({"detail":[{"msg":"field required"}]})");
    auto status = run(base + " --server " + server.url());
    EXPECT_EQ(status.status, 1);
    EXPECT_EQ(status.err, "ombrix formula: Server returned status 422.\n");
    server.answer(200, R"({"detail":[{"msg":"field required"}]})");
    EXPECT_EQ(run(base + " --server " + server.url()).err,
              "ombrix formula: Validation error: field required\n");

    auto refused =
        run(base + " --server http://127.0.0.1:" + std::to_string(closedPort()) + "/extract");
    EXPECT_EQ(refused.status, 1);
    EXPECT_TRUE(refused.out.empty());
    EXPECT_NE(refused.err.find("ombrix formula: "), std::string::npos);
}

TEST_F(RegionCommandsTest, FormulaReadsThePageFirstAndSaysWhyWhenNothingCan) {
    fx::FormulaServer server;
    server.answer(200, R"({"latex":"from the server"})");
    const std::string f = shellQuoted(file.string());
    // The page's own glyphs, as JSON: no request made.
    auto json = run("formula " + f + " --page 2 --rect " + region() + " --format json --server " +
                    server.url());
    ASSERT_EQ(json.status, 0) << json.err;
    const auto answer = nlohmann::json::parse(json.out);
    EXPECT_EQ(answer.at("source"), "page");
    EXPECT_NE(answer.at("latex").get<std::string>().find("42"), std::string::npos) << json.out;
    EXPECT_TRUE(answer.at("mathml").get<std::string>().starts_with("<math"));
    auto mathml = run("formula " + f + " --page 2 --rect " + region() + " --format mathml");
    EXPECT_EQ(mathml.status, 0);
    EXPECT_TRUE(mathml.out.starts_with("<math")) << mathml.out;
    EXPECT_EQ(server.requests(), 0);

    // A region with nothing on it: the page alone cannot, the server answers in auto.
    const std::string empty = " --page 2 --rect 5,5,20,20";
    auto pageOnly = run("formula " + f + empty + " --source page");
    EXPECT_EQ(pageOnly.status, 1);
    EXPECT_NE(pageOnly.err.find("no text glyphs"), std::string::npos) << pageOnly.err;
    auto fromServer = run("formula " + f + empty + " --format json --server " + server.url());
    ASSERT_EQ(fromServer.status, 0) << fromServer.err;
    EXPECT_EQ(nlohmann::json::parse(fromServer.out).at("source"), "server");
    EXPECT_EQ(server.requests(), 1);
    // Neither: both reasons, and what to do.
    auto neither = run("formula " + f + empty +
                       " --server http://127.0.0.1:" + std::to_string(closedPort()) + "/extract");
    EXPECT_EQ(neither.status, 1);
    EXPECT_NE(neither.err.find("no text glyphs"), std::string::npos) << neither.err;
    EXPECT_NE(neither.err.find("Start a recognition server"), std::string::npos) << neither.err;
    EXPECT_EQ(run("formula " + f + empty + " --source elsewhere").status, 2);
    EXPECT_EQ(run("formula " + f + empty + " --format png").status, 2);
}
