#include "extraction/HighlightRegionActions.h"

#include "core/Error.h"
#include "core/Executor.h"
#include "core/SerialQueue.h"
#include "core/UserInteraction.h"
#include "document/ActiveViews.h"
#include "document/PDFKitBridge.h"
#include "extraction/BacklinkHighlightManager.h"
#include "extraction/CropWriter.h"
#include "extraction/FormulaRecognizer.h"
#include "extraction/RegionCapture.h"
#include "pdfkit/Document.h"
#include "pdfkit/Page.h"
#include "pdfkit/ViewPort.h"
#include "tabs/TabSession.h"

#include <algorithm>

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
    : services_(withDefaults(std::move(services))), table_({}, *services_.logging),
      worker_(services_.background ? std::make_unique<SerialQueue>("com.ombrix.regionactions")
                                   : nullptr) {}

HighlightRegionActions::~HighlightRegionActions() {
    *alive_ = false;
    if (formulaCancel_) {
        *formulaCancel_ = true;
    }
}

void HighlightRegionActions::run(std::function<void()> job) {
    if (worker_) {
        worker_->post(std::move(job));
    } else {
        job();
    }
}

void HighlightRegionActions::toMain(std::function<void()> job) {
    if (!worker_) {
        job();
        return;
    }
    mainQueue().post([alive = std::weak_ptr<bool>(alive_), job = std::move(job)] {
        auto token = alive.lock();
        if (token && *token) {
            job();
        }
    });
}

void HighlightRegionActions::alert(const std::string& title, const std::string& message,
                                   AlertStyle style) {
    toMain([ui = services_.userInteraction, title, message, style] {
        ui->showAlert(title, message, style);
    });
}

std::shared_ptr<pdfkit::Page>
HighlightRegionActions::pageOrBeep(const ExtractedHighlight& highlight,
                                   const std::shared_ptr<TabSession>& tab) {
    auto page = pageOf(tab, highlight.pageNumber);
    if (!page) {
        services_.userInteraction->beep();
    }
    return page;
}

bool HighlightRegionActions::begin(const ExtractedHighlight& highlight) {
    if (extractingID.get()) {
        services_.userInteraction->beep();
        return false;
    }
    extractingID = highlight.id;
    return true;
}

bool HighlightRegionActions::viewsReady() {
    if (!services_.views->pdfView || !services_.views->canvas) {
        services_.logging->error(kMissingViews);
        services_.userInteraction->beep();
        return false;
    }
    return true;
}

void HighlightRegionActions::writeBack(const ExtractedHighlight& highlight,
                                       const std::shared_ptr<TabSession>& tab,
                                       const std::string& result) {
    const auto& list = services_.manager->extractedHighlights.get();
    auto current = std::find_if(list.begin(), list.end(),
                                [&](const ExtractedHighlight& e) { return e.id == highlight.id; });
    if (current == list.end()) {
        // Deleted while the action ran: another annotation over the place must not get it.
        return;
    }
    ExtractedHighlight updated = *current;
    updated.resultData = result;
    services_.manager->saveToAnnotation(updated, *tab);
    services_.manager->updateHighlight(updated);
}

void HighlightRegionActions::extractFormula(const ExtractedHighlight& highlight,
                                            const std::shared_ptr<TabSession>& tab) {
    auto page = pageOrBeep(highlight, tab);
    if (!page) {
        return;
    }
    if (!begin(highlight)) {
        return;
    }
    auto cancelled = std::make_shared<std::atomic<bool>>(false);
    formulaCancel_ = cancelled;
    std::weak_ptr<bool> alive = alive_;
    auto completion = [this, alive, cancelled, highlight, tab](MathOCROutcome outcome) {
        auto token = alive.lock();
        if (!token || !*token || *cancelled) {
            return;
        }
        formulaCancel_.reset();
        extractingID = std::nullopt;
        if (auto* error = std::get_if<std::exception_ptr>(&outcome)) {
            const std::string description = describe(*error);
            mathError = description;
            services_.userInteraction->showAlert(kMathErrorTitle, description, AlertStyle::warning);
            return;
        }
        mathError = std::nullopt;
        const auto& result = std::get<MathOCRResult>(outcome);
        if (result.mathml) {
            mathML_[highlight.id] = *result.mathml;
        } else {
            mathML_.erase(highlight.id);
        }
        writeBack(highlight, tab, result.latex);
    };
    const FormulaSource source = services_.formulaSource;
    run([this, page, bounds = highlight.bounds, cancelled, completion, source] {
        if (source != FormulaSource::server) {
            // A born-digital page holds the formula's glyphs: no request needed.
            if (auto found = FormulaRecognizer::recognize(*page, bounds)) {
                MathOCRExtractor::onMainQueue(completion)(MathOCROutcome{std::move(*found)});
                return;
            }
        }
        auto image = region::formulaImage(*page, bounds);
        if (!image) {
            toMain([this, cancelled] {
                if (!*cancelled) {
                    formulaCancel_.reset();
                    extractingID = std::nullopt;
                }
            });
            return;
        }
        MathOCRExtractor::Completion answer = completion;
        if (source == FormulaSource::automatic) {
            // Neither the page nor the server: say both, so the user knows what to do. The
            // server's error keeps its domain and code.
            answer = [completion,
                      url = services_.mathExtractor->serverURL()](MathOCROutcome outcome) {
                if (auto* error = std::get_if<std::exception_ptr>(&outcome)) {
                    std::string domain = MathOCRExtractor::kTransportErrorDomain;
                    int code = 0;
                    try {
                        std::rethrow_exception(*error);
                    } catch (const Error& e) {
                        domain = e.domain();
                        code = e.code();
                    } catch (...) {
                    }
                    outcome = std::make_exception_ptr(
                        Error(domain, code, noFormulaMessage(url, describe(*error))));
                }
                completion(std::move(outcome));
            };
        }
        services_.mathExtractor->extractMath(*image, MathOCRExtractor::onMainQueue(answer),
                                             cancelled);
    });
}

void HighlightRegionActions::cancelFormula() {
    if (!formulaCancel_) {
        return;
    }
    *formulaCancel_ = true;
    formulaCancel_.reset();
    extractingID = std::nullopt;
}

HighlightRegionActions::TableOutcome
HighlightRegionActions::computeTable(const pdfkit::Page& page, const Rect& bounds) const {
    // The bounds would go to view space, to canvas space and back to the page again; the
    // round trip is the identity, so the extractor gets them as they are. It draws the
    // region without annotations, and the page keeps its own.
    try {
        auto grid = table_.extractGrid(const_cast<pdfkit::Page&>(page), bounds);
        if (!grid) {
            return {};
        }
        return {table::toHTML(*grid), table::toTabSeparated(*grid), std::nullopt};
    } catch (const std::exception& e) {
        services_.logging->error("❌ Table extraction failed", e);
        return {"", "", describe(e)};
    }
}

std::string HighlightRegionActions::finishTable(const ExtractedHighlight& highlight,
                                                const std::shared_ptr<TabSession>& tab,
                                                const TableOutcome& outcome) {
    if (outcome.failure) {
        alert(kTableFailedTitle, *outcome.failure, AlertStyle::warning);
        return {};
    }
    if (outcome.html.empty()) {
        alert(kNoTableTitle, kNoTableMessage, AlertStyle::warning);
        return {};
    }
    // Pasted as text, a table keeps its cells apart; where HTML is taken, its styles too.
    services_.userInteraction->copyToClipboard(outcome.text, outcome.html);
    writeBack(highlight, tab, outcome.html);
    alert(kTableExtractedTitle, table::successMessage(outcome.html), AlertStyle::informational);
    return outcome.html;
}

std::string HighlightRegionActions::extractTable(const ExtractedHighlight& highlight,
                                                 const std::shared_ptr<TabSession>& tab) {
    if (!viewsReady()) {
        return {};
    }
    auto page = pageOrBeep(highlight, tab);
    if (!page) {
        return {};
    }
    return finishTable(highlight, tab, computeTable(*page, highlight.bounds));
}

void HighlightRegionActions::startTable(const ExtractedHighlight& highlight,
                                        const std::shared_ptr<TabSession>& tab, TableDone done) {
    if (!viewsReady()) {
        return;
    }
    auto page = pageOrBeep(highlight, tab);
    if (!page) {
        return;
    }
    if (!begin(highlight)) {
        return;
    }
    run([this, page, highlight, tab, done = std::move(done)] {
        auto outcome = computeTable(*page, highlight.bounds);
        toMain([this, highlight, tab, done, outcome = std::move(outcome)] {
            extractingID = std::nullopt;
            auto html = finishTable(highlight, tab, outcome);
            if (done) {
                done(html);
            }
        });
    });
}

HighlightRegionActions::CropOutcome
HighlightRegionActions::computeCrop(const pdfkit::Page& page, const Rect& bounds,
                                    const PDFDocument& document) const {
    // Drawn from the document in memory: its file is never written and it stays as
    // changed or unchanged as it was.
    try {
        auto output = crop::cropToFile(page, bounds, document.url, page.index() + 1);
        services_.logging->info("✅ Cropped region saved to " + output.filename().string());
        return {output, std::nullopt};
    } catch (const std::exception& e) {
        services_.logging->error("❌ Crop failed", e);
        return {std::nullopt, describe(e)};
    }
}

std::optional<std::filesystem::path>
HighlightRegionActions::finishCrop(const CropOutcome& outcome) {
    if (!outcome.output) {
        alert(kCropFailedTitle, "The crop could not be saved: " + outcome.failure.value_or(""),
              AlertStyle::warning);
        return std::nullopt;
    }
    const std::filesystem::path output = *outcome.output;
    toMain([ui = services_.userInteraction, output] {
        if (ui->showAlertWithAction(kCropSavedTitle, "The region was saved to " + output.string(),
                                    kShowInFolder)) {
            ui->showFolder(output.parent_path());
        }
    });
    return output;
}

std::optional<std::filesystem::path>
HighlightRegionActions::crop(const ExtractedHighlight& highlight,
                             const std::shared_ptr<TabSession>& tab) {
    auto page = pageOrBeep(highlight, tab);
    if (!page) {
        return std::nullopt;
    }
    return finishCrop(computeCrop(*page, highlight.bounds, *tab->document));
}

void HighlightRegionActions::startCrop(const ExtractedHighlight& highlight,
                                       const std::shared_ptr<TabSession>& tab, CropDone done) {
    auto page = pageOrBeep(highlight, tab);
    if (!page) {
        return;
    }
    if (!begin(highlight)) {
        return;
    }
    run([this, page, bounds = highlight.bounds, tab, done = std::move(done)] {
        auto outcome = computeCrop(*page, bounds, *tab->document);
        toMain([this, done, outcome = std::move(outcome)] {
            extractingID = std::nullopt;
            auto output = finishCrop(outcome);
            if (done) {
                done(output);
            }
        });
    });
}

} // namespace ombrix

namespace ombrix {

std::optional<std::string>
HighlightRegionActions::mathMLOf(const ExtractedHighlight& highlight,
                                 const std::shared_ptr<TabSession>& tab) const {
    if (auto it = mathML_.find(highlight.id); it != mathML_.end()) {
        return it->second;
    }
    if (!highlight.resultData) {
        return std::nullopt;
    }
    if (auto page = pageOf(tab, highlight.pageNumber)) {
        if (auto read = FormulaRecognizer::recognize(*page, highlight.bounds);
            read && read->latex == *highlight.resultData) {
            return read->mathml;
        }
    }
    return std::nullopt;
}

} // namespace ombrix
