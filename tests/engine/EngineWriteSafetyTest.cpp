// What the path-addressed engine does to a user's file when it writes it back: never
// more than was asked, never a file that does not open, never anything but that file.

#include "core/AtomicFile.h"
#include "engine/EngineTestSupport.h"
#include "engine/NativeEngineBridge.h"
#include "pdfkit/Document.h"
#include "pdfkit/Page.h"
#include "support/Fixtures.h"
#include "support/Shell.h"
#include "support/TempDir.h"

#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;
namespace fx = ombrix::testing;
using ombrix::NativeEngineBridge;
using ombrix::Rect;

std::vector<std::string> labelsOf(const fs::path& path) {
    std::vector<std::string> labels;
    auto doc = ombrix::pdfkit::Document::open(path);
    for (int i = 0; doc && i < doc->pageCount(); ++i) {
        labels.push_back(doc->page(i)->label().value_or("-"));
    }
    return labels;
}

class EngineWriteSafetyTest : public ::testing::Test {
protected:
    fx::TempDir dir;
    NativeEngineBridge bridge;
};

TEST_F(EngineWriteSafetyTest, SavesNeverTouchFilesTheyDidNotMake) {
    auto path = fx::writePdf(fx::textDocument(2), dir / "doc.pdf").string();
    ombrix::writeFileAtomically(path + ".tmp", "the user's own notes");
    fs::create_directory(dir / "doc.pdf.d");
    ASSERT_TRUE(bridge.rotatePage(path, 0, 90));
    ASSERT_TRUE(bridge.addAnnotation(path, 1, "Square", Rect{1, 1, 10, 10}, "", 255));
    EXPECT_EQ(ombrix::readFile(path + ".tmp"), "the user's own notes");
    std::size_t entries = 0;
    for (const auto& entry : fs::directory_iterator(dir.path())) {
        (void)entry;
        ++entries;
    }
    EXPECT_EQ(entries, 3u) << "a temporary was left behind";
}

TEST_F(EngineWriteSafetyTest, EditsThroughALinkUpdateTheFileItNames) {
    auto real = fx::writePdf(fx::textDocument(1), dir / "real.pdf");
    fs::create_symlink("real.pdf", dir / "link.pdf");
    ASSERT_TRUE(bridge.addAnnotation((dir / "link.pdf").string(), 0, "Square", Rect{10, 10, 20, 20},
                                     "", 255));
    EXPECT_TRUE(fs::is_symlink(dir / "link.pdf"));
    EXPECT_EQ(bridge.annotations(real.string(), 0).size(), 1u);
}

TEST_F(EngineWriteSafetyTest, AnAnnotationIsAppendedToTheFileAsItWas) {
    auto path = fx::writePdf(fx::textDocument(40), dir / "doc.pdf").string();
    const auto before = *ombrix::readFile(path);
    ASSERT_TRUE(bridge.addAnnotation(path, 20, "Highlight", Rect{72, 700, 100, 14}, "", 255));
    const auto after = *ombrix::readFile(path);
    EXPECT_EQ(after.compare(0, before.size(), before), 0) << "the earlier revision changed";
    EXPECT_LT(after.size() - before.size(), 16u * 1024);
    EXPECT_EQ(bridge.annotations(path, 20).size(), 1u);
    EXPECT_EQ(bridge.pageCount(path), 40);
}

TEST_F(EngineWriteSafetyTest, EncryptedFilesOpenWithTheirPasswordAndStayEncrypted) {
    auto path = (dir / "locked.pdf").string();
    fx::writeEncryptedPdf(path, "secret");
    EXPECT_EQ(bridge.pageCount(path), 0);
    EXPECT_NE(NativeEngineBridge::lastError().find("needs a password"), std::string::npos)
        << NativeEngineBridge::lastError();
    NativeEngineBridge wrong("guess");
    EXPECT_EQ(wrong.pageCount(path), 0);
    EXPECT_NE(NativeEngineBridge::lastError().find("wrong password"), std::string::npos);

    NativeEngineBridge unlocked("secret");
    ASSERT_TRUE(unlocked.addAnnotation(path, 0, "Square", Rect{10, 10, 20, 20}, "", 255))
        << NativeEngineBridge::lastError();
    EXPECT_EQ(bridge.pageCount(path), 0) << "the save dropped the encryption";
    EXPECT_EQ(unlocked.annotations(path, 0).size(), 1u);
}

TEST_F(EngineWriteSafetyTest, WhatIsNotAFileIsRefusedBeforeItIsRead) {
    const auto fifo = dir / "pipe.pdf";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(bridge.pageCount(fifo.string()), 0);
    EXPECT_FALSE(bridge.addAnnotation(fifo.string(), 0, "Square", Rect{1, 1, 5, 5}, "", 255));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_NE(NativeEngineBridge::lastError().find("FIFO"), std::string::npos);
    EXPECT_EQ(bridge.pageCount(dir.path().string()), 0);
    EXPECT_NE(NativeEngineBridge::lastError().find("folder"), std::string::npos);
    EXPECT_EQ(bridge.pageCount((dir / "none.pdf").string()), 0);
    EXPECT_NE(NativeEngineBridge::lastError().find("no such file"), std::string::npos);
}

TEST_F(EngineWriteSafetyTest, TheOnlyPageIsNeverDeleted) {
    auto path = fx::writePdf(fx::textDocument(1), dir / "one.pdf").string();
    const auto before = ombrix::readFile(path);
    EXPECT_FALSE(bridge.deletePage(path, 0));
    EXPECT_NE(NativeEngineBridge::lastError().find("only page"), std::string::npos);
    EXPECT_EQ(ombrix::readFile(path), before);
}

TEST_F(EngineWriteSafetyTest, DeletingAPageKeepsLabelsAndLeavesNoWayToIt) {
    const auto path = dir / "labelled.pdf";
    fx::writeCrossReferencedPdf(path);
    ASSERT_EQ(labelsOf(path),
              (std::vector<std::string>{"i", "ii", "iii", "iv", "1", "2", "A-1", "A-2"}));
    ASSERT_TRUE(bridge.deletePage(path.string(), 2)) << NativeEngineBridge::lastError();
    EXPECT_EQ(labelsOf(path), (std::vector<std::string>{"i", "ii", "iv", "1", "2", "A-1", "A-2"}));
    ASSERT_TRUE(bridge.deletePage(path.string(), 4)); // "2"
    EXPECT_EQ(labelsOf(path), (std::vector<std::string>{"i", "ii", "iv", "1", "A-1", "A-2"}));
    ASSERT_TRUE(bridge.deletePage(path.string(), 0)); // the first page of a range
    EXPECT_EQ(labelsOf(path), (std::vector<std::string>{"ii", "iv", "1", "A-1", "A-2"}));

    // The link and outline entry to page 5 ("1") stay; those to the deleted page went.
    const auto links = bridge.annotations(path.string(), 0);
    EXPECT_TRUE(links.empty()); // page 1 with its links was deleted last
    const auto outline = fx::runShell("mutool show " + fx::shellQuoted(path.string()) + " outline");
    EXPECT_EQ(outline.out.find("To iii"), std::string::npos) << outline.out;
    EXPECT_NE(outline.out.find("To 1"), std::string::npos) << outline.out;
    const auto trailer =
        fx::runShell("mutool show " + fx::shellQuoted(path.string()) + " trailer/Root");
    EXPECT_EQ(trailer.out.find("OpenAction"), std::string::npos) << trailer.out;

    const auto check = fx::runShell("qpdf --check " + fx::shellQuoted(path.string()));
    EXPECT_EQ(check.status, 0) << check.out << check.err;
    EXPECT_EQ(check.err, "");
    const auto info = fx::runShell("mutool info " + fx::shellQuoted(path.string()));
    EXPECT_EQ(info.err.find("error"), std::string::npos) << info.err;
    EXPECT_EQ(info.err.find("warning"), std::string::npos) << info.err;
}

TEST_F(EngineWriteSafetyTest, LinksToAPageGoWithIt) {
    const auto path = dir / "linked.pdf";
    fx::writeCrossReferencedPdf(path);
    ASSERT_TRUE(bridge.deletePage(path.string(), 2));
    const auto links = bridge.annotations(path.string(), 0);
    ASSERT_EQ(links.size(), 1u); // the link to "1" alone
    const auto shown =
        fx::runShell("mutool show " + fx::shellQuoted(path.string()) + " trailer/Root/Dests");
    EXPECT_EQ(shown.out.find("third"), std::string::npos) << shown.out;
}

} // namespace
