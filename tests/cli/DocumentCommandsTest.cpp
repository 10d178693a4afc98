#include "core/AtomicFile.h"
#include "document/BrainFingerprint.h"
#include "support/Fixtures.h"
#include "support/Shell.h"
#include "support/TempDir.h"

#include <array>
#include <cstdio>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <sys/wait.h>

namespace {

namespace fx = ombrix::testing;
using ToolRun = fx::ShellRun;
using fx::shellQuoted;

class DocumentCommandsTest : public ::testing::Test {
protected:
    // The tool with its data folder in `data`; stdout and stderr captured apart.
    ToolRun run(const std::string& arguments) {
        return fx::runShell("XDG_DATA_HOME=" + shellQuoted(data.path().string()) + " " +
                            shellQuoted(OMBRIX_CLI_PATH) + " " + arguments);
    }
    std::string pdf(const fx::FixtureDocument& document, const std::string& name) {
        return shellQuoted(fx::writePdf(document, dir / name).string());
    }
    fx::TempDir dir;
    fx::TempDir data;
};

TEST_F(DocumentCommandsTest, InfoPrintsTheDocumentAndWritesItsSidecar) {
    auto fixture = fx::labelledDocument();
    fixture.title = "Labelled/Book";
    auto file = pdf(fixture, "book.pdf");
    auto result = run("info " + file);
    ASSERT_EQ(result.status, 0) << result.err;
    auto info = nlohmann::json::parse(result.out);
    EXPECT_EQ(info["pageCount"], 8);
    EXPECT_EQ(info["pageSizes"][7],
              nlohmann::json::parse(R"({"widthPt":612.0,"heightPt":792.0,"rotationDeg":0})"));
    EXPECT_EQ(info["metadata"], nlohmann::json::parse(R"({"title":"Labelled/Book"})"));
    auto fingerprint = ombrix::BrainFingerprint::compute(dir / "book.pdf").value();
    EXPECT_EQ(info["fingerprint"], fingerprint);
    EXPECT_EQ(info["labels"],
              nlohmann::json::parse(R"(["i","ii","iii","iv","1","2","A-1","A-2"])"));
    auto stored = ombrix::readFile(data / "OmbrixPdf" / "Brains" / (fingerprint + ".json"));
    ASSERT_TRUE(stored);
    EXPECT_EQ(nlohmann::json::parse(*stored)["pageSizes"], info["pageSizes"]);
    EXPECT_NE(run("info " + file).err.find("Brain HIT for book.pdf (saved "), std::string::npos);

    auto plain = run("info " + pdf(fx::textDocument(3), "plain.pdf"));
    EXPECT_EQ(nlohmann::json::parse(plain.out)["labels"],
              nlohmann::json::parse(R"(["1","2","3"])"));
}

TEST_F(DocumentCommandsTest, TextPrintsOnePageCountingFromOne) {
    auto file = pdf(fx::textDocument(3), "text.pdf");
    auto page2 = run("text " + file + " --page 2");
    ASSERT_EQ(page2.status, 0) << page2.err;
    EXPECT_EQ(page2.out.rfind("Page 2\n", 0), 0u) << page2.out;
    EXPECT_EQ(page2.out.find("Page 1"), std::string::npos);

    auto beyond = run("text " + file + " --page=4");
    EXPECT_EQ(beyond.status, 1);
    EXPECT_TRUE(beyond.out.empty());
    EXPECT_NE(beyond.err.find("page 4 is out of range: the document has 3 pages"),
              std::string::npos)
        << beyond.err;
    for (const char* bad : {"--page 0", "--page two", "", "--page 1 --page 2", "--page 1 -x"}) {
        auto usage = run("text " + file + " " + bad);
        EXPECT_EQ(usage.status, 2) << bad;
        EXPECT_NE(usage.err.find("Usage: ombrix text FILE --page N"), std::string::npos) << bad;
    }
}

// Width and height from a PNG's header.
std::pair<std::uint32_t, std::uint32_t> pngDimensions(const std::filesystem::path& path) {
    auto png = ombrix::readFile(path).value_or("");
    auto be32 = [&](std::size_t at) {
        return std::uint32_t(static_cast<unsigned char>(png.at(at))) << 24 |
               std::uint32_t(static_cast<unsigned char>(png.at(at + 1))) << 16 |
               std::uint32_t(static_cast<unsigned char>(png.at(at + 2))) << 8 |
               static_cast<unsigned char>(png.at(at + 3));
    };
    EXPECT_EQ(png.substr(0, 16), std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16));
    return std::pair(be32(16), be32(20));
}

TEST_F(DocumentCommandsTest, RenderAndInfoShowThePageAsPrinted) {
    auto fixture = fx::textDocument(2);
    fixture.pages[1].cropBox = ombrix::Rect{50, 100, 400, 500};
    auto file = pdf(fixture, "shown.pdf");
    auto info = run("info " + file);
    ASSERT_EQ(info.status, 0) << info.err;
    EXPECT_EQ(nlohmann::json::parse(info.out)["pageSizes"][1],
              nlohmann::json::parse(R"({"widthPt":400.0,"heightPt":500.0,"rotationDeg":0})"));

    auto out = dir / "page.png";
    ASSERT_EQ(run("render " + file + " --page 2 -o " + shellQuoted(out.string())).status, 0);
    EXPECT_EQ(pngDimensions(out), std::pair(1280u, 1600u));
    ASSERT_EQ(run("rotate " + file + " --page 1 --degrees 90").status, 0);
    ASSERT_EQ(run("render " + file + " --page 1 -o " + shellQuoted(out.string())).status, 0);
    EXPECT_EQ(pngDimensions(out), std::pair(1600u, 1236u));
    auto turned = nlohmann::json::parse(run("info " + file).out);
    EXPECT_EQ(turned["pageSizes"][0],
              nlohmann::json::parse(R"({"widthPt":612.0,"heightPt":792.0,"rotationDeg":90})"));
}

TEST_F(DocumentCommandsTest, RenderWritesAPngOfTheFittedSizeOrNothing) {
    auto file = pdf(fx::textDocument(2), "text.pdf");
    auto out = dir / "page.png";
    auto pngSize = [&] { return pngDimensions(out); };
    ASSERT_EQ(run("render " + file + " --page 1 -o " + shellQuoted(out.string())).status, 0);
    EXPECT_EQ(pngSize(), std::pair(1236u, 1600u));
    ASSERT_EQ(
        run("render " + file + " --page 2 --size 100x100 --output " + shellQuoted(out.string()))
            .status,
        0);
    EXPECT_EQ(pngSize(), std::pair(77u, 100u));

    std::filesystem::remove(out);
    auto o = " -o " + shellQuoted(out.string());
    EXPECT_EQ(run("render " + file + " --page 3" + o).status, 1);
    EXPECT_EQ(run("render " + file + " --page 1 -o " + shellQuoted((dir / "no/such.png").string()))
                  .status,
              1);
    for (std::string bad : std::vector<std::string>{
             "--page 1", "--page 1 -o", "--page 1 --size 0x10" + o, "--page 1 --size 100" + o}) {
        EXPECT_EQ(run("render " + file + " " + bad).status, 2) << bad;
    }
    EXPECT_FALSE(std::filesystem::exists(out));
}

TEST_F(DocumentCommandsTest, AnnotationsListsEveryRecordAsJson) {
    auto result = run("annotations " + pdf(fx::everyAnnotationDocument(), "every.pdf"));
    ASSERT_EQ(result.status, 0) << result.err;
    auto list = nlohmann::json::parse(result.out);
    ASSERT_TRUE(list.is_array() && !list.empty());
    // Annotations without a name of their own go by page and place, pages from 1.
    EXPECT_EQ(list[0],
              nlohmann::json::parse(R"({"id":"1-1","page":1,"type":"highlight",
        "bounds":)" + list[0]["bounds"].dump() +
                                    R"(,"content":"Highlight note","color":"#FFCC0080"})"));
    EXPECT_EQ(list[1]["id"], "1-2");
    std::set<std::string> types;
    for (const auto& item : list) {
        types.insert(item["type"].get<std::string>());
        EXPECT_EQ(item["bounds"].size(), 4u) << item;
        EXPECT_TRUE(item["bounds"]["width"].is_number()) << item;
        EXPECT_TRUE(std::regex_match(item["color"].get<std::string>(), std::regex("#[0-9A-F]{8}")));
    }
    EXPECT_EQ(types,
              (std::set<std::string>{"highlight", "underline", "strikeout", "squiggly", "square",
                                     "circle", "line", "polyline", "polygon", "ink", "freeText",
                                     "stickyNote", "link", "stamp", "redaction", "unknown"}));
}

TEST_F(DocumentCommandsTest, FilesThatCannotBeOpenedAndMissingArgumentsFail) {
    fx::writeZeroPagePdf(dir / "empty.pdf");
    const std::pair<const char*, const char*> commands[] = {
        {"info", ""}, {"text", " --page 1"}, {"render", " --page 1 -o x.png"}, {"annotations", ""}};
    for (const auto& [command, rest] : commands) {
        std::string name = command;
        auto missing = run(name + " " + shellQuoted((dir / "gone.pdf").string()) + rest);
        EXPECT_EQ(missing.status, 1) << name;
        EXPECT_EQ(missing.err, "ombrix " + name + ": Cannot open gone.pdf: it does not exist\n");
        EXPECT_TRUE(missing.out.empty());
        auto empty = run(name + " " + shellQuoted((dir / "empty.pdf").string()) + rest);
        EXPECT_NE(empty.err.find("PDF has zero pages"), std::string::npos) << empty.err;
        EXPECT_EQ(run(name).status, 2) << name;
        auto help = run(name + " --help");
        EXPECT_EQ(help.status, 0);
        EXPECT_EQ(help.out.rfind("Usage: ombrix " + name, 0), 0u) << help.out;
    }
    EXPECT_TRUE(std::filesystem::is_empty(data / "OmbrixPdf" / "Brains"));
}

} // namespace
