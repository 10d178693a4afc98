#include "ui/support/InstanceLaunch.h"

#include "ui/support/UiTestSupport.h"
#include "ui/window/SingleInstance.h"

#include <QUuid>
#include <atomic>
#include <thread>

namespace ombrix::uitest {

QString freshInstanceName() {
    return "ombrix-test-" + QUuid::createUuid().toString(QUuid::Id128);
}

bool forwardFromAnotherLaunch(const QString& name, std::vector<std::filesystem::path> files) {
    std::atomic<int> answer{-1};
    std::thread launch([&] {
        ui::SingleInstance second(name);
        answer = second.forward(files, 2000) ? 1 : 0;
    });
    waitUntil([&] { return answer >= 0; }, 5000);
    launch.join();
    return answer == 1;
}

} // namespace ombrix::uitest
