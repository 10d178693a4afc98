#include "app/AppLifecycle.h"

#include "app/AppContainer.h"

namespace ombrix {

void AppLifecycle::start() {
    container_.bootstrap();
}

void AppLifecycle::stop() {
    container_.shutdown();
}

void AppBootstrap::run() {
    AppLifecycle(AppContainer::shared()).start();
}

} // namespace ombrix
