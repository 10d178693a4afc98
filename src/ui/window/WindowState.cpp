#include "ui/window/WindowState.h"

namespace ombrix::ui {

void WindowState::toggleTextMode() {
    isTextMode = !isTextMode();
    if (isTextMode()) {
        isShapeMode = false;
    }
}

void WindowState::toggleShapeMode() {
    isShapeMode = !isShapeMode();
    if (isShapeMode()) {
        isTextMode = false;
    }
}

} // namespace ombrix::ui
