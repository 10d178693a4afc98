// The desktop executable: `ombrix-pdf FILE…`.
#include "ui/platform/QtMainQueue.h"

#include <QApplication>
#include <QLabel>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Ombrix PDF");
    QApplication::setOrganizationName("ombrix-pdf");
    QApplication::setApplicationVersion(OMBRIX_VERSION);
    ombrix::ui::QtMainQueue::install();

    QLabel window("Ombrix PDF");
    window.resize(1024, 768);
    window.show();
    return app.exec();
}
