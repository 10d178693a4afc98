#pragma once

#include "pdfkit/Link.h"
#include "pdfkit/TextLayout.h"

#include <QObject>
#include <QThreadPool>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <vector>

namespace ombrix::pdfkit {
class CancelToken;
class Document;
} // namespace ombrix::pdfkit

namespace ombrix::ui {

// Text layouts and links of pages, fetched from the document on a worker thread of its own
// and kept for the most recently used pages, so the GUI thread hit-tests characters and
// links without calling the PDF engine. The API is for the GUI thread; pageReady is
// emitted on it. The layouts it hands out are immutable and shared.
class PageTextCache : public QObject {
    Q_OBJECT
public:
    static constexpr std::size_t kKeptPages = 32;

    explicit PageTextCache(QObject* parent = nullptr);
    ~PageTextCache() override; // stops the fetch under way and waits for it

    // Forgets everything of the previous document.
    void setDocument(std::shared_ptr<pdfkit::Document> document);
    // Fetches these pages, in this order, unless cached; replaces what was still queued.
    void request(const std::vector<int>& pages);
    // Adds pages to the front of the queue without dropping the rest.
    void requestNow(const std::vector<int>& pages);
    // What is cached for a page, else nullptr (fetch it with request()).
    std::shared_ptr<const pdfkit::TextLayout> textLayout(int page);
    const std::vector<pdfkit::Link>* links(int page);
    bool isCached(int page) const { return entries_.count(page) > 0; }
    bool idle() const { return running_ < 0 && queue_.empty(); }

signals:
    void pageReady(int page);

private:
    struct Entry {
        std::shared_ptr<const pdfkit::TextLayout> layout; // nullptr: the page has no text
        std::vector<pdfkit::Link> links;
        std::uint64_t lastUse = 0;
    };

    void startNext();
    void finished(std::uint64_t generation, int page, std::shared_ptr<Entry> entry);
    Entry* use(int page);

    std::shared_ptr<pdfkit::Document> document_;
    std::uint64_t generation_ = 0;
    std::uint64_t clock_ = 0;
    std::map<int, Entry> entries_;
    std::deque<int> queue_;
    int running_ = -1;
    std::shared_ptr<pdfkit::CancelToken> runningToken_;
    QThreadPool pool_; // one thread: text extraction never crowds out rendering
};

} // namespace ombrix::ui
