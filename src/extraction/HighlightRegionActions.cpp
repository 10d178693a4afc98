#include "extraction/HighlightRegionActions.h"

#include "app/ActiveViews.h"
#include "app/UserInteraction.h"
#include "core/Error.h"
#include "document/PDFKitBridge.h"
#include "document/TabSession.h"
#include "extraction/BacklinkHighlightManager.h"
#include "extraction/CropWriter.h"
#include "extraction/RegionCapture.h"
#include "pdfkit/Document.h"
#include "pdfkit/Page.h"
#include "pdfkit/ViewPort.h"

namespace ombrix {

namespace {

std::shared_ptr<pdfkit::Page> pageOf(const std::shared_ptr<TabSession>& tab, int pageNumber) {
    auto engine = tab && tab->document ? PDFKitBridge::engineDocument(*tab->document) : nullptr;
    return engine ? engine->page(pageNumber - 1) : nullptr;
}

HighlightRegionActions::Services withDefaults(HighlightRegionActions::Services services) {
    if (!services.manager) {
        services.manager = std::make_shared<BacklinkHighlightManager>();
    }
    if (!services.userInteraction) {
        services.userInteraction = std::make_shared<HeadlessUserInteraction>();
    }
    if (!services.views) {
        services.views = std::make_shared<ActiveViews>();
    }
    if (!services.bridge) {
        services.bridge = std::make_shared<PDFKitBridge>();
    }
    if (!services.mathExtractor) {
        services.mathExtractor = std::make_shared<MathOCRExtractor>();
    }
    if (!services.logging) {
        services.logging = std::make_shared<Logging>(Logging::kSubsystem, Logging::kCategory);
    }
    return services;
}

} // namespace

HighlightRegionActions::HighlightRegionActions(Services services)
    : services_(withDefaults(std::move(services))),
      table_(
          [ui = services_.userInteraction](const std::string& html, const std::string& text) {
              ui->copyToClipboard(text, html);
          },
          *services_.logging) {}

HighlightRegionActions::~HighlightRegionActions() {
    *alive_ = false;
}

void HighlightRegionActions::extractFormula(const ExtractedHighlight& highlight,
                                            const std::shared_ptr<TabSession>& tab) {
    auto page = pageOf(tab, highlight.pageNumber);
    if (!page) {
        services_.userInteraction->beep();
        return;
    }
    extractingID = highlight.id;
    auto image = region::formulaImage(*page, highlight.bounds);
    if (!image) {
        extractingID = std::nullopt;
        return;
    }
    std::weak_ptr<bool> alive = alive_;
    auto completion = [this, alive, highlight, tab](MathOCROutcome outcome) {
        auto token = alive.lock();
        if (!token || !*token) {
            return;
        }
        extractingID = std::nullopt;
        if (auto* error = std::get_if<std::exception_ptr>(&outcome)) {
            const std::string description = describe(*error);
            mathError = description;
            services_.userInteraction->showAlert(kMathErrorTitle, description, AlertStyle::warning);
            return;
        }
        mathError = std::nullopt;
        ExtractedHighlight updated = highlight;
        updated.resultData = std::get<MathOCRResult>(outcome).latex;
        services_.manager->saveToAnnotation(updated, *tab);
        services_.manager->updateHighlight(updated);
    };
    services_.mathExtractor->extractMath(*image, MathOCRExtractor::onMainQueue(completion));
}

std::string HighlightRegionActions::extractTable(const ExtractedHighlight& highlight,
                                                 const std::shared_ptr<TabSession>& tab) {
    auto& ui = *services_.userInteraction;
    if (!services_.views->pdfView || !services_.views->canvas) {
        services_.logging->error(kMissingViews);
        ui.beep();
        return {};
    }
    auto page = pageOf(tab, highlight.pageNumber);
    if (!page) {
        ui.beep();
        return {};
    }
    // The bounds would go to view space, to canvas space and back to the page again; the
    // round trip is the identity, so the extractor gets them as they are. It draws the
    // region without annotations, and the page keeps its own.
    std::string html;
    try {
        html = table_.extractTable(*page, highlight.bounds);
    } catch (const std::exception& e) {
        services_.logging->error("❌ Table extraction failed", e);
        ui.showAlert(kTableFailedTitle, describe(e), AlertStyle::warning);
        return {};
    }
    if (html.empty()) {
        ui.showAlert(kNoTableTitle, kNoTableMessage, AlertStyle::warning);
        return {};
    }
    ExtractedHighlight updated = highlight;
    updated.resultData = html;
    services_.manager->saveToAnnotation(updated, *tab);
    services_.manager->updateHighlight(updated);
    ui.showAlert(kTableExtractedTitle, table::successMessage(html), AlertStyle::informational);
    return html;
}

std::optional<std::filesystem::path>
HighlightRegionActions::crop(const ExtractedHighlight& highlight,
                             const std::shared_ptr<TabSession>& tab) {
    auto page = pageOf(tab, highlight.pageNumber);
    if (!page) {
        services_.userInteraction->beep();
        return std::nullopt;
    }
    auto raster =
        region::rasterize(*page, region::paddedRegion(highlight.bounds, page->mediaBox()));
    if (!raster) {
        return std::nullopt;
    }
    PDFDocument& document = *tab->document;
    document.markDirty();
    try {
        // Written by rename, so a failure leaves the file as it was and the document dirty.
        services_.bridge->saveAnnotations(document);
        document.markClean();
    } catch (const std::exception& e) {
        services_.logging->error("❌ Failed to save PDF", e);
    }
    if (auto view = services_.views->pdfView) {
        view->setNeedsDisplay();
    }
    try {
        const auto output = crop::nextOutputPath(document.url, highlight.pageNumber);
        crop::writeImagePDF(*raster, output);
        services_.logging->info("✅ Cropped region saved to " + output.filename().string());
        return output;
    } catch (const std::exception& e) {
        services_.logging->error("❌ Crop failed", e);
        return std::nullopt;
    }
}

} // namespace ombrix
