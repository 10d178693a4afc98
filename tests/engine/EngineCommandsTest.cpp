#include "core/AtomicFile.h"
#include "engine/EngineTestSupport.h"
#include "support/Fixtures.h"
#include "support/Shell.h"
#include "support/TempDir.h"

#include <array>
#include <cstdio>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sstream>
#include <sys/wait.h>

namespace {

namespace fx = ombrix::testing;

using fx::shellQuoted;

// Standard error after standard output: the checks look for words, not their order.
struct Run {
    int status = -1;
    std::string out;
};

Run shell(const std::string& command) {
    auto run = fx::runShell(command);
    return Run{run.status, run.out + run.err};
}

Run tool(const std::string& arguments) {
    return shell(shellQuoted(OMBRIX_CLI_PATH) + " " + arguments);
}

// A page drawn by poppler at 72 dpi, one pixel per point, read from its PPM output.
struct Raster {
    int width = 0, height = 0;
    std::string rgb;
    // Colour at page-space point (x, y) as 0xRRGGBB.
    unsigned at(double x, double y) const {
        int px = int(x), py = height - 1 - int(y);
        const auto* p =
            reinterpret_cast<const unsigned char*>(rgb.data()) + (std::size_t(py) * width + px) * 3;
        return unsigned(p[0]) << 16 | unsigned(p[1]) << 8 | p[2];
    }
};

Raster popplerPage(const std::string& file, int page, const fx::TempDir& dir) {
    auto stem = (dir / "render").string();
    auto run = shell("pdftoppm -r 72 -singlefile -f " + std::to_string(page) + " -l " +
                     std::to_string(page) + " " + shellQuoted(file) + " " + shellQuoted(stem));
    EXPECT_EQ(run.status, 0) << run.out;
    auto bytes = ombrix::readFile(stem + ".ppm").value_or("");
    std::istringstream header(bytes);
    std::string magic;
    int max = 0;
    Raster raster;
    header >> magic >> raster.width >> raster.height >> max;
    header.get();
    raster.rgb = bytes.substr(std::size_t(header.tellg()));
    EXPECT_EQ(magic, "P6");
    EXPECT_EQ(raster.rgb.size(), std::size_t(raster.width) * raster.height * 3);
    return raster;
}

// mutool's own complaints about a file; the machine-wide note about colour management
// is not one of them.
std::string mutoolComplaints(const std::string& file) {
    auto run = shell("mutool info " + shellQuoted(file));
    EXPECT_EQ(run.status, 0) << run.out;
    std::istringstream lines(run.out);
    std::string line, complaints;
    while (std::getline(lines, line)) {
        if (line.find("ICC support is not available") != std::string::npos) {
            continue;
        }
        for (const char* word : {"warning", "error", "Warning", "Error"}) {
            if (line.find(word) != std::string::npos) {
                complaints += line + "\n";
                break;
            }
        }
    }
    return complaints;
}

class EngineCommandsTest : public ::testing::Test {
protected:
    std::string pdf(const fx::FixtureDocument& document) {
        return fx::writePdf(document, dir / "doc.pdf").string();
    }
    fx::TempDir dir;
};

TEST_F(EngineCommandsTest, EditsShowInOtherReadersAndLeaveASoundFile) {
    auto file = pdf(fx::textDocument(3));
    auto f = shellQuoted(file);

    auto added =
        tool("annotate " + f + " --page 1 --type Square --rect 300,100,200,100 --color '#0000ff'");
    ASSERT_EQ(added.status, 0) << added.out;
    auto square = nlohmann::json::parse(added.out);
    EXPECT_EQ(square["page"], 1);
    EXPECT_EQ(square["type"], "square");
    EXPECT_EQ(square["bounds"], nlohmann::json::parse(
                                    R"({"x":300,"y":100,"width":200,"height":100})"));
    EXPECT_EQ(square["color"], "#0000FFFF");
    auto marked = tool("annotate " + f +
                       " --page 1 --type Highlight --rect 100,200,150,40 --color '#ff0000' "
                       "--opacity 255");
    ASSERT_EQ(marked.status, 0) << marked.out;
    const std::string highlight = nlohmann::json::parse(marked.out)["id"];
    auto moved = tool("edit-annotation " + f + " --id " + highlight +
                      " --rect 100,300,150,40 --color '#00ff00'");
    ASSERT_EQ(moved.status, 0) << moved.out;
    auto edited = nlohmann::json::parse(moved.out);
    EXPECT_EQ(edited["id"], highlight);
    EXPECT_EQ(edited["bounds"]["y"], 300);
    EXPECT_EQ(edited["color"], "#00FF00FF");
    auto other = tool("annotate " + f + " --page 2 --type Square --rect 10,10,50,50");
    ASSERT_EQ(other.status, 0) << other.out;
    // By its place as well as by its name.
    auto deleted = tool("delete-annotation " + f + " --id 2-1");
    ASSERT_EQ(deleted.status, 0) << deleted.out;
    EXPECT_EQ(nlohmann::json::parse(deleted.out)["id"], nlohmann::json::parse(other.out)["id"]);
    auto rotated = tool("rotate " + f + " --page 3 --degrees -90");
    ASSERT_EQ(rotated.status, 0) << rotated.out;
    EXPECT_EQ(rotated.out, "Rotated page 3 to 270°\n");
    auto gone = tool("delete-page " + f + " --page 2");
    ASSERT_EQ(gone.status, 0) << gone.out;
    EXPECT_EQ(gone.out, "Deleted page 2; 2 pages left\n");

    EXPECT_EQ(mutoolComplaints(file), "");
    EXPECT_FALSE(std::filesystem::exists(file + ".tmp"));

    auto first = popplerPage(file, 1, dir);
    ASSERT_EQ(first.width, 612);
    EXPECT_EQ(first.at(300.5, 150), 0x0000ffu); // the square's left border
    EXPECT_EQ(first.at(400, 150), 0xffffffu);   // its inside is not filled
    EXPECT_EQ(first.at(175, 320), 0x00ff00u);   // the highlight, moved and recoloured
    EXPECT_EQ(first.at(175, 220), 0xffffffu);   // and no longer where it was
    auto last = popplerPage(file, 2, dir);      // what was page 3, turned on its side
    EXPECT_EQ(last.width, 792);
    EXPECT_EQ(last.height, 612);
    EXPECT_EQ(fx::readStoredPage(file, 1).rotate, 270);
    EXPECT_TRUE(fx::readStoredPage(file, 0).annotations.size() == 2);
}

TEST_F(EngineCommandsTest, MistakesFailClearlyAndChangeNothing) {
    auto file = pdf(fx::textDocument(2));
    auto f = shellQuoted(file);
    auto before = ombrix::readFile(file);

    auto missing =
        tool("rotate " + shellQuoted((dir / "nope.pdf").string()) + " --page 1 --degrees 90");
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.out.find("no such file"), std::string::npos) << missing.out;

    const std::pair<std::string, std::string> failures[] = {
        {"delete-page " + f + " --page 3", "page 3 is out of range: the document has 2 pages"},
        {"delete-annotation " + f + " --id 1-1", "no annotation has the id '1-1'"},
        {"edit-annotation " + f + " --id nowhere --rect 1,1,5,5",
         "no annotation has the id 'nowhere'"},
        {"fonts " + f + " --page 1 --char 100000", "character 100000 is out of range"},
    };
    for (const auto& [arguments, message] : failures) {
        auto run = tool(arguments);
        EXPECT_EQ(run.status, 1) << arguments;
        EXPECT_NE(run.out.find(message), std::string::npos) << arguments << "\n" << run.out;
    }

    const std::pair<std::string, std::string> usages[] = {
        {"annotate " + f + " --page 1 --type Square --rect 1,2,3", "rectangle must be X,Y,W,H"},
        {"annotate " + f + " --page 1 --type Square --rect 1,2,-3,4", "rectangle must be"},
        {"annotate " + f + " --page 1 --type Square --rect 1,2,3,4 --color red",
         "colour must be #RRGGBB"},
        {"annotate " + f + " --page 1 --type Square --rect 1,2,3,4 --color '#12zz56'",
         "colour must be #RRGGBB"},
        {"annotate " + f + " --page 1 --type Square --rect 1,2,3,4 --opacity 300",
         "opacity must be a whole number from 0 to 255"},
        {"annotate " + f + " --page 1 --type square --rect 1,2,3,4", "type must be one of"},
        {"annotate " + f + " --type Square --rect 1,2,3,4", "missing --page"},
        {"rotate " + f + " --page 1 --degrees 45", "degrees must be a multiple of 90"},
        {"delete-page " + f + " --page 0", "page must be a whole number from 1 on"},
        {"edit-annotation " + f + " --id 1-1", "nothing to change"},
        {"delete-annotation " + f, "missing --id"},
    };
    for (const auto& [arguments, message] : usages) {
        auto run = tool(arguments);
        EXPECT_EQ(run.status, 2) << arguments;
        EXPECT_NE(run.out.find(message), std::string::npos) << arguments << "\n" << run.out;
    }
    EXPECT_EQ(ombrix::readFile(file), before);
}

TEST_F(EngineCommandsTest, FontsDescribesOneCharacter) {
    auto file = dir / "coloured.pdf";
    fx::writeContentPdf(file, "BT /F1 18 Tf 72 700 Td 0.2 1 0 rg (Go) Tj ET");
    auto run = tool("fonts " + shellQuoted(file.string()) + " --page 1 --char 1");
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(run.out.substr(0, run.out.find("flags:")), "family: Helvetica-Bold\nsize: 18\n");
    EXPECT_NE(run.out.find("color: #33FF00\n"), std::string::npos) << run.out;
}

} // namespace
