#pragma once

namespace ombrix::ui {

// Posts a notification (no object) to the default notification centre. The centre's
// Signal has a member named like Qt's `emit` keyword, so Qt code reaches it through
// this file, which includes no Qt header.
void postCanvasNotification(const char* name);

} // namespace ombrix::ui
