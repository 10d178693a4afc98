#include "core/AtomicFile.h"
#include "document/BrainFingerprint.h"
#include "support/Fixtures.h"
#include "support/TempDir.h"

#include <array>
#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <string>
#include <sys/wait.h>

namespace {

using ombrix::testing::TempDir;

struct Run {
    int status = -1;
    std::string out;
    std::string err;
};

std::string quoted(const std::string& text) {
    std::string q = "'";
    for (char c : text) {
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return q + "'";
}

// The tool run with its data folder in `dataHome`, stdout and stderr captured apart.
Run runTool(const TempDir& dataHome, const std::string& arguments) {
    auto errFile = dataHome / "stderr.txt";
    std::string command = "XDG_DATA_HOME=" + quoted(dataHome.path().string()) + " " +
                          quoted(OMBRIX_CLI_PATH) + " " + arguments + " 2>" +
                          quoted(errFile.string());
    Run run;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) {
        ADD_FAILURE() << "popen failed for " << command;
        return run;
    }
    std::array<char, 4096> buffer{};
    std::size_t n;
    while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0) {
        run.out.append(buffer.data(), n);
    }
    int raw = pclose(pipe);
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.err = ombrix::readFile(errFile).value_or("");
    std::filesystem::remove(errFile);
    return run;
}

std::uint32_t bigEndian32(const std::string& bytes, std::size_t at) {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        v = v << 8 | static_cast<unsigned char>(bytes.at(at + i));
    }
    return v;
}

class DocumentCommandsTest : public ::testing::Test {
protected:
    TempDir dir;
    TempDir data;
};

TEST_F(DocumentCommandsTest, InfoPrintsTheDocumentAndWritesItsSidecar) {
    auto fixture = ombrix::testing::labelledDocument();
    fixture.title = "Labelled/Book";
    auto path = ombrix::testing::writePdf(fixture, dir / "book.pdf");

    auto run = runTool(data, "info " + quoted(path.string()));
    ASSERT_EQ(run.status, 0) << run.err;
    auto info = nlohmann::json::parse(run.out);
    EXPECT_EQ(info["pageCount"], 8);
    ASSERT_EQ(info["pageSizes"].size(), 8u);
    EXPECT_EQ(info["pageSizes"][0],
              nlohmann::json::parse(R"({"widthPt":612.0,"heightPt":792.0,"rotationDeg":0})"));
    EXPECT_EQ(info["metadata"], nlohmann::json::parse(R"({"title":"Labelled/Book"})"));
    auto fingerprint = ombrix::BrainFingerprint::compute(path).value();
    EXPECT_EQ(info["fingerprint"], fingerprint);
    EXPECT_EQ(info["labels"],
              nlohmann::json::parse(R"(["i","ii","iii","iv","1","2","A-1","A-2"])"));
    EXPECT_NE(run.err.find("Loaded book.pdf in "), std::string::npos) << run.err;

    auto sidecar = data / "OmbrixPdf" / "Brains" / (fingerprint + ".json");
    auto stored = ombrix::readFile(sidecar);
    ASSERT_TRUE(stored) << sidecar;
    EXPECT_EQ(nlohmann::json::parse(*stored)["pageSizes"], info["pageSizes"]);

    auto again = runTool(data, "info " + quoted(path.string()));
    EXPECT_EQ(again.status, 0);
    EXPECT_NE(again.err.find("Brain HIT for book.pdf (saved "), std::string::npos) << again.err;
}

TEST_F(DocumentCommandsTest, InfoLabelsUnlabelledPagesByNumber) {
    auto path = ombrix::testing::writePdf(ombrix::testing::textDocument(3), dir / "plain.pdf");
    auto run = runTool(data, "info " + quoted(path.string()));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(nlohmann::json::parse(run.out)["labels"], nlohmann::json::parse(R"(["1","2","3"])"));
}

TEST_F(DocumentCommandsTest, TextPrintsOnePageCountingFromOne) {
    auto path = ombrix::testing::writePdf(ombrix::testing::textDocument(3), dir / "text.pdf");
    auto run = runTool(data, "text " + quoted(path.string()) + " --page 2");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("Page 2"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("Page 1"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.back(), '\n');

    auto beyond = runTool(data, "text " + quoted(path.string()) + " --page=4");
    EXPECT_EQ(beyond.status, 1);
    EXPECT_TRUE(beyond.out.empty());
    EXPECT_NE(beyond.err.find("page 4 is out of range: the document has 3 pages"),
              std::string::npos)
        << beyond.err;

    for (const char* bad :
         {"--page 0", "--page two", "--page -1", "", "--page 1 --page 2", "--page 1 --bogus"}) {
        auto usage = runTool(data, "text " + quoted(path.string()) + " " + bad);
        EXPECT_EQ(usage.status, 2) << bad;
        EXPECT_NE(usage.err.find("Usage: ombrix text FILE --page N"), std::string::npos)
            << bad << ": " << usage.err;
    }
}

TEST_F(DocumentCommandsTest, RenderWritesAPngOfTheFittedSize) {
    auto path = ombrix::testing::writePdf(ombrix::testing::textDocument(2), dir / "text.pdf");
    auto out = dir / "page.png";
    auto run =
        runTool(data, "render " + quoted(path.string()) + " --page 1 -o " + quoted(out.string()));
    ASSERT_EQ(run.status, 0) << run.err;
    auto png = ombrix::readFile(out).value_or("");
    ASSERT_GE(png.size(), 24u);
    EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    EXPECT_EQ(png.substr(12, 4), "IHDR");
    EXPECT_EQ(bigEndian32(png, 16), 1236u);
    EXPECT_EQ(bigEndian32(png, 20), 1600u);

    auto small = runTool(data, "render " + quoted(path.string()) +
                                   " --page 2 --size 100x100 --output " + quoted(out.string()));
    ASSERT_EQ(small.status, 0) << small.err;
    png = ombrix::readFile(out).value_or("");
    ASSERT_GE(png.size(), 24u);
    EXPECT_EQ(bigEndian32(png, 16), 77u);
    EXPECT_EQ(bigEndian32(png, 20), 100u);
}

TEST_F(DocumentCommandsTest, RenderRefusesBadRequestsWithoutWritingAnything) {
    auto path = ombrix::testing::writePdf(ombrix::testing::textDocument(2), dir / "text.pdf");
    auto out = dir / "page.png";
    auto beyond =
        runTool(data, "render " + quoted(path.string()) + " --page 3 -o " + quoted(out.string()));
    EXPECT_EQ(beyond.status, 1);
    EXPECT_NE(beyond.err.find("out of range"), std::string::npos) << beyond.err;

    for (const char* bad : {"--page 1", "--page 1 -o x.png --size 0x10", "--page 1 -o",
                            "--page 1 -o x.png --size 100", "--page 1 -o x.png --size axb"}) {
        auto usage = runTool(data, "render " + quoted(path.string()) + " " + bad);
        EXPECT_EQ(usage.status, 2) << bad << ": " << usage.err;
    }
    auto intoMissingFolder = runTool(data, "render " + quoted(path.string()) + " --page 1 -o " +
                                               quoted((dir / "no" / "such.png").string()));
    EXPECT_EQ(intoMissingFolder.status, 1);
    EXPECT_FALSE(std::filesystem::exists(out));
}

TEST_F(DocumentCommandsTest, AnnotationsListsEveryRecordAsJson) {
    auto path =
        ombrix::testing::writePdf(ombrix::testing::everyAnnotationDocument(), dir / "every.pdf");
    auto run = runTool(data, "annotations " + quoted(path.string()));
    ASSERT_EQ(run.status, 0) << run.err;
    auto list = nlohmann::json::parse(run.out);
    ASSERT_TRUE(list.is_array());
    ASSERT_FALSE(list.empty());

    EXPECT_EQ(list[0]["type"], "highlight");
    EXPECT_EQ(list[0]["content"], "Highlight note");
    EXPECT_EQ(list[0]["color"], "#FFCC0080") << "opacity travels in the colour's alpha";

    std::set<std::string> types;
    const std::regex colour("#[0-9A-F]{8}");
    for (const auto& item : list) {
        EXPECT_EQ(item["pageIndex"], 0) << item.dump();
        types.insert(item["type"].get<std::string>());
        for (const char* key : {"x", "y", "width", "height"}) {
            EXPECT_TRUE(item["bounds"][key].is_number()) << item.dump();
        }
        EXPECT_TRUE(item["content"].is_null() || item["content"].is_string()) << item.dump();
        EXPECT_TRUE(std::regex_match(item["color"].get<std::string>(), colour)) << item.dump();
    }
    for (const char* type :
         {"highlight", "underline", "strikeout", "squiggly", "square", "circle", "line", "polyline",
          "polygon", "ink", "freeText", "stickyNote", "link", "stamp", "redaction", "unknown"}) {
        EXPECT_EQ(types.count(type), 1u) << type;
    }
}

TEST_F(DocumentCommandsTest, MissingFilesAndMissingArgumentsFail) {
    for (const char* command : {"info", "text", "render", "annotations"}) {
        std::string extra = std::string(command) == "text"     ? " --page 1"
                            : std::string(command) == "render" ? " --page 1 -o x.png"
                                                               : "";
        auto missing =
            runTool(data, std::string(command) + " " + quoted((dir / "gone.pdf").string()) + extra);
        EXPECT_EQ(missing.status, 1) << command;
        EXPECT_NE(missing.err.find(std::string("ombrix ") + command + ": Cannot open gone.pdf"),
                  std::string::npos)
            << missing.err;
        EXPECT_TRUE(missing.out.empty()) << command;

        auto noFile = runTool(data, command);
        EXPECT_EQ(noFile.status, 2) << command;
        EXPECT_NE(noFile.err.find(std::string("Usage: ombrix ") + command), std::string::npos)
            << noFile.err;

        auto help = runTool(data, std::string(command) + " --help");
        EXPECT_EQ(help.status, 0) << command;
        EXPECT_EQ(help.out.rfind(std::string("Usage: ombrix ") + command, 0), 0u) << help.out;
    }

    ombrix::testing::writeZeroPagePdf(dir / "empty.pdf");
    auto empty = runTool(data, "info " + quoted((dir / "empty.pdf").string()));
    EXPECT_EQ(empty.status, 1);
    EXPECT_NE(empty.err.find("PDF has zero pages"), std::string::npos) << empty.err;
    EXPECT_FALSE(std::filesystem::exists(data / "OmbrixPdf" / "Brains") &&
                 !std::filesystem::is_empty(data / "OmbrixPdf" / "Brains"));
}

} // namespace
