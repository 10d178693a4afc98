#include "ui/platform/QtMainQueue.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QTimer>
#include <chrono>

namespace ombrix::ui {

QtMainQueue::QtMainQueue(QObject* context) : context_(context) {}

void QtMainQueue::post(Job job) {
    QObject* context = context_.data();
    if (!context || !job) {
        return;
    }
    // A queued invocation is thread-safe and keeps posting order.
    QMetaObject::invokeMethod(context, std::move(job), Qt::QueuedConnection);
}

void QtMainQueue::postAfter(Duration delay, Job job) {
    QObject* context = context_.data();
    if (!context || !job) {
        return;
    }
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(std::max(delay, Duration::zero()));
    // Timers belong to the thread that starts them: start this one from the GUI thread.
    QMetaObject::invokeMethod(
        context,
        [context, ms, job = std::move(job)]() mutable {
            QTimer::singleShot(ms, Qt::PreciseTimer, context, std::move(job));
        },
        Qt::QueuedConnection);
}

std::shared_ptr<QtMainQueue> QtMainQueue::install() {
    auto queue = std::make_shared<QtMainQueue>(QCoreApplication::instance());
    setMainQueue(queue);
    return queue;
}

} // namespace ombrix::ui
