// Searching on a worker: the results equal a whole search's, arrive in page order as the
// pages are read, and a new query or the stop button ends the running search.
#include "ui/window/BackgroundSearch.h"

#include "search/SearchService.h"
#include "support/AppHarness.h"
#include "tabs/TabSession.h"
#include "ui/support/UiTestSupport.h"

#include <QSignalSpy>
#include <QtTest>

using namespace ombrix;
using namespace ombrix::testing;

namespace {

// Page, text and bounds of each result (ids are fresh every time).
std::vector<std::tuple<int, std::string, Rect>> essence(const std::vector<SearchResult>& results) {
    std::vector<std::tuple<int, std::string, Rect>> out;
    for (const auto& r : results) {
        out.emplace_back(r.pageIndex, r.text, r.bounds);
    }
    return out;
}

bool waitForEnd(ui::BackgroundSearch& search, int timeoutMs = 30000) {
    return uitest::waitUntil([&] { return !search.running(); }, timeoutMs);
}

} // namespace

class BackgroundSearchTest : public QObject {
    Q_OBJECT
private slots:
    void resultsEqualAWholeSearchIncludingMatchesAcrossPages() {
        AppHarness harness;
        ui::BackgroundSearch search(harness.app());
        for (const auto& [document, query] :
             {std::pair{textDocument(25), std::string("alpha")},
              std::pair{pageBreakDocument(), std::string("brown fox")}}) {
            auto tab = harness.open(harness.pdf(document, "search.pdf"));
            QSignalSpy progress(&search, &ui::BackgroundSearch::progress);
            search.start(tab, query);
            QVERIFY(search.running());
            QVERIFY(waitForEnd(search));
            const auto whole = SearchService().search(query, *tab->document);
            QVERIFY(!whole.empty());
            QCOMPARE(essence(tab->searchResults()), essence(whole));
            // The tab went to the first result; the last report says the search ended.
            QCOMPARE(tab->currentPage(), whole.front().pageIndex);
            QVERIFY(progress.size() >= 2);
            QCOMPARE(progress.first().at(1).toInt(), int(tab->document->pageCount));
            QCOMPARE(progress.last().at(1).toInt(), 0);
        }
    }

    void aNewQueryStopsTheRunningOne() {
        AppHarness harness;
        auto tab = harness.open(harness.pdf(textDocument(300), "long.pdf"));
        ui::BackgroundSearch search(harness.app());
        search.start(tab, "alpha");
        search.start(tab, "beta");
        QVERIFY(waitForEnd(search));
        QCOMPARE(tab->searchResults().size(), std::size_t(600)); // twice on each page
        for (const auto& result : tab->searchResults()) {
            QCOMPARE(result.text, std::string("beta"));
        }
    }

    void stoppingKeepsWhatWasFoundAndNothingMoreArrives() {
        AppHarness harness;
        auto tab = harness.open(harness.pdf(textDocument(300), "long.pdf"));
        ui::BackgroundSearch search(harness.app());
        QSignalSpy progress(&search, &ui::BackgroundSearch::progress);
        search.start(tab, "the");
        QVERIFY(uitest::waitUntil([&] { return !tab->searchResults().empty(); }));
        search.stop();
        QVERIFY(!search.running());
        QCOMPARE(progress.last().at(1).toInt(), 0);
        const auto found = tab->searchResults().size();
        QVERIFY(search.waitForDone(10000));
        QTest::qWait(100);
        QCOMPARE(tab->searchResults().size(), found);
        QVERIFY(found < std::size_t(300 * 6));
    }

    void aClosedTabEndsItsSearch() {
        AppHarness harness;
        auto tab = harness.open(harness.pdf(textDocument(300), "long.pdf"));
        ui::BackgroundSearch search(harness.app());
        search.start(tab, "alpha");
        std::weak_ptr<TabSession> weak = tab;
        harness.app().tabManager()->closeTab(*tab);
        tab.reset();
        QVERIFY(weak.expired());
        QVERIFY(waitForEnd(search));
        QVERIFY(!search.tab());
    }
};

QTEST_MAIN(BackgroundSearchTest)
#include "BackgroundSearchTest.moc"
