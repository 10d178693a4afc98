// Every fixture, broken ones and damaged copies included, goes through everything a
// user can do to a file on opening it. Nothing may crash, hang or throw anything but
// the bridge's own open errors.

#include "annotations/AnnotationService.h"
#include "document/BridgeError.h"
#include "document/PDFKitBridge.h"
#include "extraction/PDFPageLabelResolver.h"
#include "pdfkit/Document.h"
#include "pdfkit/PageRenderer.h"
#include "search/SearchService.h"
#include "support/Fixtures.h"
#include "support/TempDir.h"

#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <vector>

using namespace ombrix;
namespace fx = ombrix::testing;

namespace {

std::vector<std::filesystem::path> writeEveryFixture(const fx::TempDir& dir) {
    std::vector<std::filesystem::path> files = {
        fx::writePdf(fx::textDocument(3), dir / "text.pdf"),
        fx::writePdf(fx::tableDocument(), dir / "table.pdf"),
        fx::writePdf(fx::rotatedDocument(), dir / "rotated.pdf"),
        fx::writePdf(fx::labelledDocument(), dir / "labelled.pdf"),
        fx::writePdf(fx::everyAnnotationDocument(), dir / "annotations.pdf"),
        fx::writePdf(fx::pageBreakDocument(), dir / "break.pdf"),
    };
    fx::writeEncryptedPdf(dir / "encrypted.pdf");
    fx::writeZeroPagePdf(dir / "empty.pdf");
    fx::writeTextFileNamedPdf(dir / "notes.pdf");
    fx::writeTruncatedPdf(dir / "truncated.pdf");
    fx::writeGarbagePdf(dir / "garbage.pdf");
    for (auto name : {"encrypted.pdf", "empty.pdf", "notes.pdf", "truncated.pdf", "garbage.pdf"}) {
        files.push_back(dir / name);
    }
    files.push_back(dir / "missing.pdf");
    return files;
}

std::string readAll(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Damaged copies: bytes overwritten, runs deleted, the tail cut, at positions drawn
// from a fixed seed so a failure reproduces.
std::vector<std::filesystem::path> damagedCopies(const std::vector<std::filesystem::path>& sources,
                                                 const fx::TempDir& dir, int perSource) {
    std::mt19937 rng(20261209);
    std::vector<std::filesystem::path> out;
    for (const auto& src : sources) {
        std::string bytes = readAll(src);
        if (bytes.size() < 64) {
            continue;
        }
        for (int i = 0; i < perSource; ++i) {
            std::string copy = bytes;
            std::uniform_int_distribution<std::size_t> pos(0, copy.size() - 1);
            switch (i % 3) {
            case 0:
                for (int k = 0; k < 8; ++k) {
                    copy[pos(rng)] = static_cast<char>(rng());
                }
                break;
            case 1: {
                std::size_t at = pos(rng);
                copy.erase(at, std::min<std::size_t>(copy.size() - at, 1 + rng() % 200));
                break;
            }
            default:
                copy.resize(pos(rng));
                break;
            }
            auto path = dir / (src.stem().string() + "-damaged-" + std::to_string(i) + ".pdf");
            std::ofstream(path, std::ios::binary) << copy;
            out.push_back(path);
        }
    }
    return out;
}

void exercise(const std::filesystem::path& file) {
    SCOPED_TRACE(file.filename().string());
    PDFKitBridge bridge;
    std::shared_ptr<PDFDocument> doc;
    try {
        doc = bridge.open(file);
    } catch (const BridgeError&) {
        return; // refusing the file is the right answer
    }
    ASSERT_TRUE(doc);
    auto engine = PDFKitBridge::engineDocument(*doc);
    ASSERT_TRUE(engine);
    for (int i = 0; i < engine->pageCount(); ++i) {
        auto page = engine->page(i);
        if (!page) {
            continue;
        }
        try {
            bridge.renderPage(*doc, i, Size{200, 200});
        } catch (const BridgeError&) {
        }
        engine->renderer().render(i, 50, 60, 0.1, false);
        (void)page->string();
        (void)page->words();
        (void)page->label();
        (void)page->fontResources();
        (void)page->fontResourcesInContentOrder();
        (void)page->selection(page->mediaBox());
        (void)page->annotationAt(Point{100, 100});
        (void)PDFPageLabelResolver::displayLabel(*doc, i);
    }
    (void)SearchService().search("the", *doc);
    (void)AnnotationService::records(*doc);
    (void)PDFPageLabelResolver::usesRomanLabels(*doc);
}

} // namespace

TEST(HostileInput, EveryFixtureSurvivesEverythingDoneOnOpening) {
    fx::TempDir dir;
    for (const auto& file : writeEveryFixture(dir)) {
        exercise(file);
    }
}

TEST(HostileInput, DamagedCopiesOfEveryFixtureNeverCrash) {
    fx::TempDir dir;
    auto sources = writeEveryFixture(dir);
    for (const auto& file : damagedCopies(sources, dir, 12)) {
        exercise(file);
    }
}
