#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

namespace ombrix {

class AppContainer;

// Start and stop over one container.
class AppLifecycle {
public:
    explicit AppLifecycle(AppContainer& container) : container_(container) {}

    // The container's bootstrap(); its failure passes on.
    void start();
    void stop();

    AppContainer& container() const { return container_; }

private:
    AppContainer& container_;
};

// The one-call entry: starts the shared container, passing a failure on.
namespace AppBootstrap {
void run();
}

} // namespace ombrix

OMBRIX_API_END
