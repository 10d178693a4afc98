#pragma once

#include "keyboard/KeyEvent.h"

class QKeyEvent;

namespace ombrix::ui {

// A Qt key press as the core's keyboard engine reads keys: Escape, Return/Enter,
// Backspace and Delete by their key codes; the characters as typed, and as typed with
// every modifier but Shift ignored (so Ctrl+J reads "j"). GUI thread only.
KeyEvent translateKeyEvent(const QKeyEvent& event);

} // namespace ombrix::ui
