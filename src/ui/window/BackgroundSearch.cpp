#include "ui/window/BackgroundSearch.h"

#include "app/AppContainer.h"
#include "core/EventBus.h"
#include "document/PDFKitBridge.h"
#include "pdfkit/Document.h"
#include "tabs/TabSession.h"

#include <chrono>
#include <mutex>
#include <sys/resource.h>
#include <unistd.h>

namespace ombrix::ui {

namespace {
// Results reach the list at most this often (the first one at once), so the list and its
// observers redraw a few times a second however fast pages go by.
constexpr auto kDeliveryInterval = std::chrono::milliseconds(40);
constexpr int kNice = 10;
} // namespace

struct BackgroundSearch::Job {
    std::weak_ptr<TabSession> tab;
    std::shared_ptr<pdfkit::Document> engine;
    std::string query;
    Uuid documentID;
    int pageCount = 0;
    pdfkit::CancelToken token;

    std::mutex mutex;                // guards the fields below
    std::vector<SearchResult> found; // not yet delivered
    int pagesRead = 0;
    bool finished = false;
    bool deliveryQueued = false;
    bool anyDelivered = false;

    bool movedToFirst = false; // GUI thread
};

BackgroundSearch::BackgroundSearch(AppContainer& container, QObject* parent)
    : QObject(parent), container_(container) {
    pool_.setMaxThreadCount(1);
}

BackgroundSearch::~BackgroundSearch() {
    if (job_) {
        job_->token.cancel();
    }
    pool_.waitForDone();
}

std::shared_ptr<TabSession> BackgroundSearch::tab() const {
    return job_ ? job_->tab.lock() : nullptr;
}

void BackgroundSearch::stop() {
    if (!job_) {
        return;
    }
    job_->token.cancel();
    job_.reset();
    Q_EMIT progress(0, 0);
}

void BackgroundSearch::start(std::shared_ptr<TabSession> tab, const std::string& query) {
    stop();
    if (!tab || query.empty()) {
        return;
    }
    tab->searchResults = std::vector<SearchResult>{};
    auto engine = PDFKitBridge::engineDocument(*tab->document);
    if (!engine) {
        return;
    }
    auto job = std::make_shared<Job>();
    job->tab = tab;
    job->engine = std::move(engine);
    job->query = query;
    job->documentID = tab->document->id;
    job->pageCount = job->engine->pageCount();
    job_ = job;
    Q_EMIT progress(0, job->pageCount);

    pool_.start([this, job] {
        // Below the GUI thread and the page renders: on two cores a search at equal
        // priority takes turns with the event loop. The pool is ours alone, so the thread
        // may stay niced.
        ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), kNice);
        auto lastPost = std::chrono::steady_clock::time_point{};
        // Asks the GUI thread for a delivery unless one is queued or the last was too
        // recent; the first result and the end always go at once.
        auto post = [&] {
            const auto now = std::chrono::steady_clock::now();
            {
                std::lock_guard lock(job->mutex);
                const bool urgent = job->finished || (!job->anyDelivered && !job->found.empty());
                if (job->deliveryQueued || (!urgent && now - lastPost < kDeliveryInterval)) {
                    return;
                }
                job->deliveryQueued = true;
            }
            lastPost = now;
            QMetaObject::invokeMethod(
                this, [this, job] { deliver(job); }, Qt::QueuedConnection);
        };
        pdfkit::Document::FindProgress progress;
        progress.token = &job->token;
        progress.found = [&](pdfkit::Selection occurrence) {
            std::vector<SearchResult> results;
            for (const auto& part : occurrence.parts()) {
                const auto index = part.page ? job->engine->indexOf(*part.page) : std::nullopt;
                if (index) {
                    results.emplace_back(*index, occurrence.string().value_or(job->query),
                                         occurrence.bounds(*part.page));
                }
            }
            std::lock_guard lock(job->mutex);
            job->found.insert(job->found.end(), results.begin(), results.end());
        };
        progress.pagesRead = [&](int read) {
            {
                std::lock_guard lock(job->mutex);
                job->pagesRead = read;
            }
            post();
        };
        try {
            job->engine->find(job->query, true, progress);
        } catch (const std::exception&) {
            // A page that cannot be read ends the search with what was found.
        }
        {
            std::lock_guard lock(job->mutex);
            job->finished = true;
        }
        post();
    });
}

void BackgroundSearch::deliver(const std::shared_ptr<Job>& job) {
    if (job != job_) {
        return; // stopped or replaced
    }
    std::vector<SearchResult> batch;
    int pagesRead = 0;
    bool finished = false;
    {
        std::lock_guard lock(job->mutex);
        batch.swap(job->found);
        pagesRead = job->pagesRead;
        finished = job->finished;
        job->deliveryQueued = false;
        job->anyDelivered = job->anyDelivered || !batch.empty();
    }
    auto tab = job->tab.lock();
    if (!tab) {
        stop();
        return;
    }
    if (!batch.empty()) {
        tab->searchResults.mutate([&](std::vector<SearchResult>& results) {
            results.insert(results.end(), std::make_move_iterator(batch.begin()),
                           std::make_move_iterator(batch.end()));
        });
        if (!job->movedToFirst) {
            job->movedToFirst = true;
            tab->currentPage = tab->searchResults().front().pageIndex;
        }
    }
    if (!finished) {
        Q_EMIT progress(pagesRead, job->pageCount);
        return;
    }
    job_.reset();
    Q_EMIT progress(0, 0);
    container_.eventBus()->publish(SearchCompletedEvent(job->documentID, tab->searchResults(),
                                                        std::chrono::system_clock::now()));
}

} // namespace ombrix::ui
