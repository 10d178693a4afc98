#include "ui/window/SessionGuard.h"

#include "app/AppContainer.h"
#include "core/Executor.h"
#include "tabs/RecoveryJournal.h"
#include "ui/window/MainWindow.h"

#include <QCoreApplication>
#include <QPointer>
#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace ombrix::ui {

namespace {

// Written by the handler, read on the GUI thread: the handler itself may call nothing
// but write().
int signalPipe[2] = {-1, -1};

void onSignal(int number) {
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(number);
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
    errno = saved;
}

const char* signalName(int number) {
    switch (number) {
    case SIGTERM:
        return "SIGTERM";
    case SIGHUP:
        return "SIGHUP";
    default:
        return "a signal";
    }
}

} // namespace

void guardUnsavedWork(MainWindow& window, bool offerRecovery) {
    if (signalPipe[0] < 0 && ::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) == 0) {
        struct sigaction action {};
        action.sa_handler = onSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        ::sigaction(SIGTERM, &action, nullptr);
        ::sigaction(SIGHUP, &action, nullptr);
    }
    if (signalPipe[0] >= 0) {
        auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &window);
        QObject::connect(notifier, &QSocketNotifier::activated, &window, [&window] {
            unsigned char byte = 0;
            int last = 0;
            while (::read(signalPipe[0], &byte, 1) == 1) {
                last = byte;
            }
            window.recoveryJournal().flush();
            window.container().logging().info(std::string("Ending on ") + signalName(last) +
                                              "; unsaved changes are kept for the next start");
            // exit(), not quit(): quit() would close the window, which asks about each
            // unsaved document and so blocks the logout that sent the signal.
            QCoreApplication::exit(0);
        });
    }
    if (offerRecovery) {
        window.container().mainQueue().post([alive = QPointer<MainWindow>(&window)] {
            if (alive) {
                alive->offerRecovery();
            }
        });
    }
}

} // namespace ombrix::ui
