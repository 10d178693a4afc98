#include "ui/view/PageTextCache.h"

#include "pdfkit/CancelToken.h"
#include "pdfkit/Document.h"

#include <algorithm>

namespace ombrix::ui {

PageTextCache::PageTextCache(QObject* parent) : QObject(parent) {
    pool_.setMaxThreadCount(1);
}

PageTextCache::~PageTextCache() {
    if (runningToken_) {
        runningToken_->cancel();
    }
    pool_.waitForDone();
}

void PageTextCache::setDocument(std::shared_ptr<pdfkit::Document> document) {
    if (runningToken_) {
        runningToken_->cancel();
    }
    ++generation_;
    document_ = std::move(document);
    entries_.clear();
    queue_.clear();
    running_ = -1;
    runningToken_.reset();
}

void PageTextCache::request(const std::vector<int>& pages) {
    queue_.clear();
    for (int page : pages) {
        if (!entries_.count(page) && page != running_) {
            queue_.push_back(page);
        }
    }
    startNext();
}

void PageTextCache::requestNow(const std::vector<int>& pages) {
    for (auto it = pages.rbegin(); it != pages.rend(); ++it) {
        if (!entries_.count(*it) && *it != running_ &&
            std::find(queue_.begin(), queue_.end(), *it) == queue_.end()) {
            queue_.push_front(*it);
        }
    }
    startNext();
}

PageTextCache::Entry* PageTextCache::use(int page) {
    const auto it = entries_.find(page);
    if (it == entries_.end()) {
        return nullptr;
    }
    it->second.lastUse = ++clock_;
    return &it->second;
}

std::shared_ptr<const pdfkit::TextLayout> PageTextCache::textLayout(int page) {
    const Entry* entry = use(page);
    return entry ? entry->layout : nullptr;
}

const std::vector<pdfkit::Link>* PageTextCache::links(int page) {
    const Entry* entry = use(page);
    return entry ? &entry->links : nullptr;
}

void PageTextCache::startNext() {
    if (running_ >= 0 || queue_.empty() || !document_) {
        return;
    }
    running_ = queue_.front();
    queue_.pop_front();
    runningToken_ = std::make_shared<pdfkit::CancelToken>();
    pool_.start([this, document = document_, page = running_, token = runningToken_,
                 generation = generation_] {
        auto entry = std::make_shared<Entry>();
        entry->layout = document->textLayout(page, token.get());
        if (!token->isCancelled()) {
            entry->links = document->links(page);
        }
        // The destructor waits for this job, so `this` is alive; a result posted to an
        // object being destroyed is dropped with its other events.
        QMetaObject::invokeMethod(
            this, [this, generation, page, entry] { finished(generation, page, entry); },
            Qt::QueuedConnection);
    });
}

void PageTextCache::finished(std::uint64_t generation, int page, std::shared_ptr<Entry> entry) {
    if (generation != generation_) {
        return; // a job of the previous document; its successor was started already
    }
    running_ = -1;
    const bool cancelled = runningToken_ && runningToken_->isCancelled();
    runningToken_.reset();
    if (!cancelled) {
        entry->lastUse = ++clock_;
        entries_[page] = std::move(*entry);
        while (entries_.size() > kKeptPages) {
            const auto oldest = std::min_element(
                entries_.begin(), entries_.end(),
                [](const auto& a, const auto& b) { return a.second.lastUse < b.second.lastUse; });
            entries_.erase(oldest);
        }
    }
    startNext();
    if (!cancelled) {
        Q_EMIT pageReady(page);
    }
}

} // namespace ombrix::ui
