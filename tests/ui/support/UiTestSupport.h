#pragma once

// Shared helpers of the Qt Test programs.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <functional>

namespace ombrix::uitest {

// Runs the Qt event loop until `done` holds or `timeoutMs` passes; true when it held.
bool waitUntil(const std::function<bool()>& done, int timeoutMs = 5000);

} // namespace ombrix::uitest
