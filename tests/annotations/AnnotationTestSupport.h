#pragma once

#include "annotations/AnnotationService.h"
#include "annotations/RedrawTargets.h"
#include "core/Clock.h"
#include "core/Executor.h"
#include "core/LogSink.h"
#include "core/Logging.h"
#include "core/RunLoop.h"
#include "document/PDFDocument.h"
#include "document/PDFKitBridge.h"
#include "pdfkit/Annotation.h"
#include "pdfkit/Document.h"
#include "pdfkit/Page.h"
#include "support/Fixtures.h"
#include "support/TempDir.h"
#include "tabs/TabManager.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace ombrix::annotations_test {

namespace fx = ombrix::testing;

inline bool isOn(const pdfkit::Page& page, const std::shared_ptr<pdfkit::Annotation>& a) {
    const auto list = page.annotations();
    return std::any_of(list.begin(), list.end(), [&](const auto& x) { return x.get() == a.get(); });
}

inline std::vector<Uuid> idsOf(const std::vector<AnnotationRecord>& records) {
    std::vector<Uuid> ids;
    for (const auto& r : records) {
        ids.push_back(r.id);
    }
    return ids;
}

// Real documents opened by the engine bridge, tabs from the real tab manager, a
// deterministic main queue, and counters standing in for the views' redisplay.
class AnnotationFixture : public ::testing::Test {
protected:
    void SetUp() override {
        loop = std::make_shared<RunLoop>(std::make_shared<ManualClock>());
        setMainQueue(loop);
        bridge = std::make_shared<PDFKitBridge>();
        service = std::make_shared<AnnotationService>(bridge);
        tabs.setAnnotationLoader([s = service](const PDFDocument& d) { return s->loadAll(d); });
        log = std::make_shared<Logging>(Logging::kSubsystem, Logging::kCategory, sink);
        redraw.pdfView = [this] { ++viewRedraws; };
        redraw.canvas = [this] { ++canvasRedraws; };
    }
    void TearDown() override { setMainQueue(nullptr); }

    std::shared_ptr<TabSession> openTab(const fx::FixtureDocument& fixture,
                                        const std::string& name = "doc.pdf") {
        return tabs.openDocument(bridge->open(fx::writePdf(fixture, dir / name)));
    }
    static std::shared_ptr<pdfkit::Page> page(const TabSession& tab, int index) {
        return PDFKitBridge::engineDocument(*tab.document)->page(index);
    }

    fx::TempDir dir;
    std::shared_ptr<RunLoop> loop;
    std::shared_ptr<PDFKitBridge> bridge;
    std::shared_ptr<AnnotationService> service;
    TabManager tabs;
    std::shared_ptr<MemorySink> sink = std::make_shared<MemorySink>();
    std::shared_ptr<Logging> log;
    RedrawTargets redraw;
    int viewRedraws = 0;
    int canvasRedraws = 0;
};

} // namespace ombrix::annotations_test
