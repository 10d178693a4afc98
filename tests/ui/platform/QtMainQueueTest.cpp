#include "ui/platform/QtMainQueue.h"

#include "ui/support/UiTestSupport.h"

#include <QApplication>
#include <QtTest>
#include <atomic>
#include <thread>
#include <vector>

using namespace ombrix;

class QtMainQueueTest : public QObject {
    Q_OBJECT
private slots:
    void jobsRunOnTheGuiThreadInPostingOrder() {
        ui::QtMainQueue queue(qApp);
        std::vector<int> order;
        std::atomic<int> ran{0};
        const auto gui = QThread::currentThread();
        bool allOnGui = true;
        std::thread worker([&] {
            for (int i = 0; i < 50; ++i) {
                queue.post([&, i] {
                    allOnGui = allOnGui && QThread::currentThread() == gui;
                    order.push_back(i);
                    ++ran;
                });
            }
        });
        worker.join();
        QVERIFY(uitest::waitUntil([&] { return ran == 50; }));
        QVERIFY(allOnGui);
        for (int i = 0; i < 50; ++i) {
            QCOMPARE(order[i], i);
        }
    }

    void delayedJobsWaitTheirTurnEvenWhenPostedFromAWorker() {
        ui::QtMainQueue queue(qApp);
        std::vector<char> order;
        std::thread worker([&] {
            queue.postAfter(seconds(0.15), [&] { order.push_back('l'); });
            queue.postAfter(seconds(0.02), [&] { order.push_back('e'); });
            queue.post([&] { order.push_back('n'); });
        });
        worker.join();
        QVERIFY(uitest::waitUntil([&] { return order.size() == 3; }));
        QCOMPARE(order[0], 'n');
        QCOMPARE(order[1], 'e');
    }

    void jobsPostedAfterTheContextIsGoneAreDropped() {
        auto* context = new QObject;
        ui::QtMainQueue queue(context);
        bool ran = false;
        queue.post([&] { ran = true; });
        delete context;
        QCoreApplication::processEvents();
        queue.post([&] { ran = true; });
        QCoreApplication::processEvents();
        QVERIFY(!ran);
    }
};

QTEST_MAIN(QtMainQueueTest)
#include "QtMainQueueTest.moc"
