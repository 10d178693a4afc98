#pragma once

#include "core/Executor.h"

#include <QObject>
#include <QPointer>

namespace ombrix::ui {

// The core's main queue on the Qt event loop: jobs run on the GUI thread, in posting
// order, after the current event. Any thread may post; a job posted after the
// application object is gone is dropped.
class QtMainQueue final : public Executor {
public:
    // `context` lives on the GUI thread (normally the QApplication); jobs die with it.
    explicit QtMainQueue(QObject* context);

    void post(Job job) override;
    void postAfter(Duration delay, Job job) override;

    // Installs a queue on qApp as the process's main queue and returns it.
    static std::shared_ptr<QtMainQueue> install();

private:
    QPointer<QObject> context_;
};

} // namespace ombrix::ui
