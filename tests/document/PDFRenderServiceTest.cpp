#include "document/PDFRenderService.h"

#include "document/BridgeError.h"
#include "document/PDFKitBridge.h"
#include "support/Fixtures.h"
#include "support/TempDir.h"

#include <atomic>
#include <functional>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace ombrix {
namespace {

using testing::TempDir;

// The real bridge, counting renders and optionally running a hook inside each one.
class CountingBridge : public PDFBridge {
public:
    std::shared_ptr<PDFDocument> open(const std::filesystem::path& url) override {
        return real.open(url);
    }
    void close(PDFDocument& document) override { real.close(document); }
    Image renderPage(const PDFDocument& document, int pageIndex, Size targetSize) override {
        ++renders;
        if (duringRender) {
            duringRender();
        }
        return real.renderPage(document, pageIndex, targetSize);
    }

    PDFKitBridge real;
    std::atomic<int> renders{0};
    std::function<void()> duringRender;
};

class PDFRenderServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        ombrix::testing::FixtureDocument fixture;
        fixture.pages.resize(2);
        path = ombrix::testing::writePdf(fixture, dir / "doc.pdf");
        document = bridge->open(path);
    }

    TempDir dir;
    std::filesystem::path path;
    std::shared_ptr<CountingBridge> bridge = std::make_shared<CountingBridge>();
    PDFRenderService service{bridge};
    std::shared_ptr<PDFDocument> document;
};

TEST_F(PDFRenderServiceTest, TheSameRequestIsRenderedOnceAndAnsweredWithTheSameImage) {
    Image first = service.renderPage(*document, 0, {1600, 1600});
    Image second = service.renderPage(*document, 0, {1600, 1600});
    EXPECT_EQ(bridge->renders, 1);
    EXPECT_EQ(first.identity(), second.identity());
    EXPECT_EQ(first.width(), 1236);
    EXPECT_EQ(service.cachedCount(), 1u);
}

TEST_F(PDFRenderServiceTest, EveryPartOfTheKeyTellsEntriesApart) {
    Image square = service.renderPage(*document, 0, {1600, 1600});
    Image taller = service.renderPage(*document, 0, {1600, 1601});
    Image fraction = service.renderPage(*document, 0, {1600.4, 1600});
    Image otherPage = service.renderPage(*document, 1, {1600, 1600});
    EXPECT_EQ(bridge->renders, 4);
    EXPECT_EQ(service.cachedCount(), 4u);
    EXPECT_NE(square.identity(), taller.identity());
    EXPECT_NE(square.identity(), fraction.identity());
    EXPECT_NE(square.identity(), otherPage.identity());

    // A second opening of the same file is another document with entries of its own.
    auto again = bridge->open(path);
    Image other = service.renderPage(*again, 0, {1600, 1600});
    EXPECT_EQ(bridge->renders, 5);
    EXPECT_NE(other.identity(), square.identity());
    EXPECT_EQ(service.renderPage(*document, 0, {1600, 1600}).identity(), square.identity());
    EXPECT_EQ(bridge->renders, 5);
}

TEST_F(PDFRenderServiceTest, ClearingAndRemovingADocumentForgetTheirImages) {
    auto again = bridge->open(path);
    Image kept = service.renderPage(*again, 0, {200, 200});
    service.renderPage(*document, 0, {200, 200});
    service.renderPage(*document, 1, {200, 200});
    ASSERT_EQ(service.cachedCount(), 3u);

    service.removeDocument(document->id);
    EXPECT_EQ(service.cachedCount(), 1u);
    EXPECT_EQ(service.renderPage(*again, 0, {200, 200}).identity(), kept.identity());
    EXPECT_EQ(bridge->renders, 3);
    service.renderPage(*document, 0, {200, 200});
    EXPECT_EQ(bridge->renders, 4) << "a removed document renders again";

    service.clearCache();
    EXPECT_EQ(service.cachedCount(), 0u);
    EXPECT_NE(service.renderPage(*again, 0, {200, 200}).identity(), kept.identity());
    EXPECT_EQ(bridge->renders, 5);
}

TEST_F(PDFRenderServiceTest, FailedRendersAreNotRemembered) {
    for (int attempt = 1; attempt <= 2; ++attempt) {
        try {
            service.renderPage(*document, 2, {100, 100});
            ADD_FAILURE() << "page 2 of 2 rendered";
        } catch (const BridgeError& e) {
            EXPECT_EQ(e.kind(), BridgeError::Kind::pageOutOfRange);
        }
        EXPECT_EQ(bridge->renders, attempt);
    }
    EXPECT_EQ(service.cachedCount(), 0u);
}

TEST_F(PDFRenderServiceTest, TheLockIsFreeWhileTheEngineRenders) {
    Image cached = service.renderPage(*document, 0, {100, 100});
    // Reaching back into the service from inside a render would deadlock if the render
    // ran under the cache's lock.
    std::size_t seenDuringRender = 0;
    const void* hitDuringRender = nullptr;
    bridge->duringRender = [&] {
        seenDuringRender = service.cachedCount();
        hitDuringRender = service.renderPage(*document, 0, {100, 100}).identity();
    };
    service.renderPage(*document, 1, {100, 100});
    EXPECT_EQ(seenDuringRender, 1u);
    EXPECT_EQ(hitDuringRender, cached.identity());
    EXPECT_EQ(service.cachedCount(), 2u);
}

TEST_F(PDFRenderServiceTest, ConcurrentCallersAllGetTheirImage) {
    std::vector<std::thread> threads;
    std::vector<Image> images(8);
    for (std::size_t i = 0; i < images.size(); ++i) {
        threads.emplace_back([&, i] {
            images[i] = service.renderPage(*document, static_cast<int>(i % 2), {300, 300});
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    for (const auto& image : images) {
        EXPECT_EQ(image.height(), 300);
    }
    EXPECT_EQ(service.cachedCount(), 2u);
    EXPECT_GE(bridge->renders, 2);
    // Whatever raced, the cache now answers every later call without rendering.
    int before = bridge->renders;
    service.renderPage(*document, 0, {300, 300});
    service.renderPage(*document, 1, {300, 300});
    EXPECT_EQ(bridge->renders, before);
}

} // namespace
} // namespace ombrix
