#pragma once

#include "search/SearchResult.h"

#include <QObject>
#include <QThreadPool>
#include <memory>
#include <string>

namespace ombrix {
class AppContainer;
class TabSession;
} // namespace ombrix

namespace ombrix::ui {

// Searches a tab's document on a worker thread and appends the results to the tab's
// list as they are found, page by page, so the GUI thread never waits on the engine.
// One search at a time: starting another stops the one running. Create, call and
// destroy on the GUI thread; the destructor stops the search and waits for its worker.
class BackgroundSearch : public QObject {
    Q_OBJECT
public:
    explicit BackgroundSearch(AppContainer& container, QObject* parent = nullptr);
    ~BackgroundSearch() override;

    // Empties the tab's results, then fills them as the search goes; the first result
    // moves the tab to its page. An empty query only stops the running search.
    void start(std::shared_ptr<TabSession> tab, const std::string& query);
    void stop();

    bool running() const { return job_ != nullptr; }
    // The tab the running search fills (null when none runs).
    std::shared_ptr<TabSession> tab() const;

    // Worker: waits until the search ends (tests and the benchmark).
    bool waitForDone(int msecs = -1) { return pool_.waitForDone(msecs); }

signals:
    // Pages read so far of `pageCount`; sent with pageCount 0 once the search ends.
    void progress(int pagesRead, int pageCount);

private:
    struct Job;
    void deliver(const std::shared_ptr<Job>& job);

    AppContainer& container_;
    QThreadPool pool_;
    std::shared_ptr<Job> job_;
};

} // namespace ombrix::ui
