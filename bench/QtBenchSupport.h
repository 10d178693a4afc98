#pragma once

// Event-loop helpers shared by the Qt benchmark programs. GUI thread only.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <functional>

namespace ombrix::bench {

// How late a timer due every few milliseconds comes: the longest the event loop was kept
// from running. Runs from construction; reset() starts a new measurement.
class StallProbe {
public:
    explicit StallProbe(int intervalMs = 4) : interval_(intervalMs) {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(intervalMs);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            worst_ = std::max(worst_, clock_.nsecsElapsed() / 1e6 - interval_);
            clock_.restart();
        });
        clock_.start();
        timer_.start();
    }
    void reset() {
        worst_ = 0;
        clock_.restart();
    }
    double worstMs() const { return worst_; }

private:
    int interval_;
    QTimer timer_;
    QElapsedTimer clock_;
    double worst_ = 0;
};

// Runs the event loop until `done`, sleeping a little between rounds; false on timeout.
inline bool spinUntil(const std::function<bool()>& done, int timeoutMs = 30000) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > timeoutMs) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::usleep(300);
    }
    return true;
}

} // namespace ombrix::bench
