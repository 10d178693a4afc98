#pragma once

#include "core/Color.h"

#include <QColor>

namespace ombrix::ui {

// The core's colour as Qt paints it, alpha included.
inline QColor toQColor(const Color& c) {
    return QColor::fromRgbF(float(c.red), float(c.green), float(c.blue), float(c.alpha));
}

} // namespace ombrix::ui
