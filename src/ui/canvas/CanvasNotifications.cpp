#include "ui/canvas/CanvasNotifications.h"

#include "core/NotificationCenter.h"

namespace ombrix::ui {

void postCanvasNotification(const char* name) {
    NotificationCenter::defaultCenter().post(name);
}

} // namespace ombrix::ui
