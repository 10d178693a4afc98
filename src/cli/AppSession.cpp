#include "cli/AppSession.h"

#include "app/AppContainer.h"
#include "app/AppLifecycle.h"
#include "cli/Arguments.h"
#include "contracts/ContractRegistry.h"
#include "core/Error.h"
#include "core/LogSink.h"
#include "core/RunLoop.h"
#include "core/UserInteraction.h"
#include "document/PDFDocument.h"
#include "document/PDFKitBridge.h"
#include "pdfkit/Document.h"
#include "pdfkit/Page.h"
#include "pdfkit/ResourceLimits.h"
#include "tabs/TabManager.h"
#include "tabs/TabSession.h"

namespace ombrix::cli {

// The log on stderr when verbose; nothing otherwise.
class AppSession::Sink final : public LogSink {
public:
    explicit Sink(bool verbose) : verbose_(verbose), stderr_(false) {}

    bool isEnabled(LogLevel level) const override { return verbose_ && stderr_.isEnabled(level); }
    void write(LogLevel level, const std::string& subsystem, const std::string& category,
               const std::string& line) override {
        if (verbose_) {
            stderr_.write(level, subsystem, category, line);
        }
    }

private:
    bool verbose_;
    StderrSink stderr_;
};

AppSession::AppSession(bool verbose)
    : sink_(std::make_shared<Sink>(verbose)), loop_(std::make_shared<RunLoop>()) {
    setMainQueue(loop_);
    AppContainer::Options options;
    options.logSink = sink_;
    options.userInteraction = std::make_shared<HeadlessUserInteraction>();
    options.mainQueue = loop_;
    // A container of its own rather than the shared one, so that every document is
    // closed and released when the command ends instead of living on to the exit.
    container_ = std::make_unique<AppContainer>(std::move(options));
    AppLifecycle(*container_).start();
}

AppSession::~AppSession() {
    // Redraw requests and the like that are still queued; nobody is left to see them.
    loop_->runPending();
    container_.reset();
    setMainQueue(nullptr);
}

Outcome AppSession::dispatch(ActionID action, DispatchParams params) {
    return container_->registry().dispatch(action, "API", std::move(params));
}

std::shared_ptr<TabSession> AppSession::open(const std::filesystem::path& file,
                                             const std::optional<std::string>& password) {
    container_->bridge()->setPassword(password);
    auto tabs = container_->tabManager();
    const std::size_t before = tabs->tabs.get().size();
    dispatch(ActionID::docOpen, {{"url", file}});
    auto tab = tabs->activeTab();
    if (!tab || tabs->tabs.get().size() == before) {
        throw Error("ombrix", 1, "could not open " + file.string());
    }
    return tab;
}

std::shared_ptr<pdfkit::Document> AppSession::engine(const std::shared_ptr<TabSession>& tab) const {
    auto engine = PDFKitBridge::engineDocument(*tab->document);
    if (!engine) {
        throw Error("ombrix", 1, "could not read " + tab->document->url.string());
    }
    return engine;
}

std::shared_ptr<pdfkit::Page> AppSession::page(const std::shared_ptr<TabSession>& tab,
                                               std::string_view pageText) const {
    const int index = checkedPageIndex(pageText, tab->document->pageCount);
    auto page = engine(tab)->page(index);
    if (!page) {
        throw Error("ombrix", 1, "page " + std::string(pageText) + " could not be read");
    }
    return page;
}

void AppSession::save(const std::shared_ptr<TabSession>& tab,
                      const std::optional<std::filesystem::path>& output) {
    const std::filesystem::path target = output.value_or(tab->document->url);
    // Something on the way was cut short by a limit (the first page's render, the text
    // under a mark): the command fails, so it must not have changed the file.
    if (pdfkit::memoryLimitReached() || pdfkit::deadlineReached() ||
        pdfkit::inflationLimitReached()) {
        throw Error("ombrix", 1, target.string() + " was left unchanged");
    }
    if (output) {
        auto engine = PDFKitBridge::engineDocument(*tab->document);
        if (!engine) {
            throw Error("ombrix", 1, "could not write " + output->string());
        }
        engine->write(*output);
        return;
    }
    if (Outcome saved = dispatch(ActionID::docSave); !saved.isDone()) {
        throw Error("ombrix", 1, saved.reason());
    }
}

} // namespace ombrix::cli
