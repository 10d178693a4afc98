#include "PdfkitTestSupport.h"
#include "pdfkit/PageRenderer.h"

#include <atomic>
#include <gtest/gtest.h>
#include <thread>

namespace ombrix::pdfkit::test {
namespace {

TEST(Concurrency, WorkersRenderWhileTheMainThreadEdits) {
    fx::TempDir dir;
    auto doc = openFixture(dir, fx::textDocument(4), "text.pdf");
    constexpr int kWorkers = 4;
    constexpr int kMinimumRenders = 12;
    std::atomic<bool> editing{true};
    std::atomic<int> failures{0};
    std::atomic<int> renders{0};

    std::vector<std::thread> workers;
    for (int w = 0; w < kWorkers; ++w) {
        workers.emplace_back([&, w] {
            PageRenderer& renderer = doc->renderer();
            for (int i = 0; editing.load() || i < kMinimumRenders; ++i) {
                const int page = (w + i) % doc->pageCount();
                const double scale = 0.2 + 0.05 * (i % 4);
                const int width = int(612 * scale), height = int(792 * scale);
                Image image =
                    (i % 3 == 2)
                        ? renderer.renderRegion(page, Rect{50, 500, 300, 200}, scale, i % 2 == 0)
                        : renderer.render(page, width, height, scale, i % 2 == 0);
                const bool ok =
                    !image.isNull() &&
                    (i % 3 == 2 || (image.width() == width && image.height() == height));
                failures += ok ? 0 : 1;
                ++renders;
            }
        });
    }

    // Edits of every kind, on every page, while they draw.
    std::vector<std::shared_ptr<Annotation>> added;
    for (int round = 0; round < 40; ++round) {
        auto page = doc->page(round % doc->pageCount());
        const char* kinds[] = {"Highlight", "Square", "Ink", "FreeText"};
        auto a = Annotation::create(Rect{60.0 + round % 7 * 60, 100.0 + round % 5 * 90, 50, 40},
                                    kinds[round % 4]);
        a->setColor(Color{0.1 * (round % 10), 0.5, 0.2, 1});
        page->addAnnotation(a);
        added.push_back(a);
        if (round % 3 == 0) {
            a->setBounds(a->bounds().insetBy(-5, -5));
            a->setContents("round " + std::to_string(round));
        }
        if (round % 4 == 1) {
            page->removeAnnotation(added[std::size_t(round / 2)]);
        }
        doc->page((round + 1) % doc->pageCount())->words();
        doc->find("beta", true);
    }
    editing = false;
    for (auto& t : workers) {
        t.join();
    }
    EXPECT_EQ(failures.load(), 0);
    EXPECT_GE(renders.load(), kWorkers * kMinimumRenders);

    // Settled, a worker and the main thread draw the same pixels.
    Image mine = doc->renderer().render(1, 306, 396, 0.5, true);
    Image theirs;
    std::thread([&] { theirs = doc->renderer().render(1, 306, 396, 0.5, true); }).join();
    ASSERT_EQ(mine.byteCount(), theirs.byteCount());
    EXPECT_EQ(0, std::memcmp(mine.data(), theirs.data(), mine.byteCount()));

    doc->write(dir / "after.pdf");
    auto reopened = Document::open(dir / "after.pdf");
    ASSERT_NE(reopened, nullptr);
    std::size_t total = 0;
    for (int i = 0; i < reopened->pageCount(); ++i) {
        total += reopened->page(i)->annotations().size();
    }
    std::size_t expected = 0;
    for (int i = 0; i < doc->pageCount(); ++i) {
        expected += doc->page(i)->annotations().size();
    }
    EXPECT_EQ(total, expected);
}

TEST(Concurrency, SeparateDocumentsOnSeparateThreads) {
    fx::TempDir dir;
    fx::writePdf(fx::everyAnnotationDocument(), dir / "annots.pdf");
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 5; ++i) {
                auto doc = Document::open(dir / "annots.pdf");
                if (!doc || doc->page(0)->draw(122, 158, 0.2).isNull() ||
                    doc->find("squiggly", true).size() != 1) {
                    ++failures;
                }
            }
        });
    }
    for (auto& t : threads) {
        t.join();
    }
    EXPECT_EQ(failures.load(), 0);
}

} // namespace
} // namespace ombrix::pdfkit::test
