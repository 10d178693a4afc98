#include "document/PDFRenderService.h"

#include "document/BridgeError.h"
#include "document/PDFKitBridge.h"
#include "support/Fixtures.h"
#include "support/TempDir.h"

#include <atomic>
#include <functional>
#include <gtest/gtest.h>
#include <thread>

namespace ombrix {
namespace {

// The real bridge, counting renders and running a hook inside each one.
class CountingBridge : public PDFKitBridge {
public:
    Image renderPage(const PDFDocument& document, int pageIndex, Size targetSize) override {
        ++renders;
        if (duringRender) {
            duringRender();
        }
        return PDFKitBridge::renderPage(document, pageIndex, targetSize);
    }
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
    const void* render(const PDFDocument& d, int page, Size size) {
        return service.renderPage(d, page, size).identity();
    }

    ombrix::testing::TempDir dir;
    std::filesystem::path path;
    std::shared_ptr<CountingBridge> bridge = std::make_shared<CountingBridge>();
    PDFRenderService service{bridge};
    std::shared_ptr<PDFDocument> document;
};

TEST_F(PDFRenderServiceTest, EachKeyIsRenderedOnceAndAnsweredWithTheSameImage) {
    const void* square = render(*document, 0, {1600, 1600});
    EXPECT_EQ(render(*document, 0, {1600, 1600}), square);
    EXPECT_EQ(bridge->renders, 1);
    EXPECT_EQ(service.renderPage(*document, 0, {1600, 1600}).width(), 1236);

    // Size compared exactly, page, and document all tell entries apart.
    EXPECT_NE(render(*document, 0, {1600, 1601}), square);
    EXPECT_NE(render(*document, 0, {1600.4, 1600}), square);
    EXPECT_NE(render(*document, 1, {1600, 1600}), square);
    auto sameFileAgain = bridge->open(path);
    EXPECT_NE(render(*sameFileAgain, 0, {1600, 1600}), square);
    EXPECT_EQ(bridge->renders, 5);
    EXPECT_EQ(service.cachedCount(), 5u);
}

TEST_F(PDFRenderServiceTest, ClearingAndRemovingADocumentForgetTheirImages) {
    auto other = bridge->open(path);
    Image kept = service.renderPage(*other, 0, {200, 200}); // held, so its address stays its own
    render(*document, 0, {200, 200});
    render(*document, 1, {200, 200});

    service.removeDocument(document->id);
    EXPECT_EQ(service.cachedCount(), 1u);
    EXPECT_EQ(render(*other, 0, {200, 200}), kept.identity());
    render(*document, 0, {200, 200});
    EXPECT_EQ(bridge->renders, 4);

    service.clearCache();
    EXPECT_EQ(service.cachedCount(), 0u);
    EXPECT_NE(render(*other, 0, {200, 200}), kept.identity());
    EXPECT_EQ(bridge->renders, 5);
}

TEST_F(PDFRenderServiceTest, FailedRendersAreNotRemembered) {
    for (int attempt = 1; attempt <= 2; ++attempt) {
        EXPECT_THROW(service.renderPage(*document, 2, {100, 100}), BridgeError);
        EXPECT_EQ(bridge->renders, attempt);
    }
    EXPECT_EQ(service.cachedCount(), 0u);
}

TEST_F(PDFRenderServiceTest, TheLockIsFreeWhileTheEngineRendersAndAcrossThreads) {
    const void* cached = render(*document, 0, {100, 100});
    // Reaching back into the service from inside a render deadlocks if the lock is held.
    const void* hitInside = nullptr;
    bridge->duringRender = [&] { hitInside = render(*document, 0, {100, 100}); };
    render(*document, 1, {100, 100});
    EXPECT_EQ(hitInside, cached);
    bridge->duringRender = nullptr;

    std::vector<std::thread> threads;
    std::vector<int> heights(8);
    for (std::size_t i = 0; i < heights.size(); ++i) {
        threads.emplace_back([&, i] {
            heights[i] = service.renderPage(*document, int(i % 2), {300, 300}).height();
        });
    }
    for (auto& t : threads) {
        t.join();
    }
    EXPECT_EQ(heights, std::vector<int>(8, 300));
    EXPECT_EQ(service.cachedCount(), 4u);
}

} // namespace
} // namespace ombrix
