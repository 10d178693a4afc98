#include "core/Color.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace ombrix {

namespace {
int toByte(double c) {
    return static_cast<int>(std::lround(std::clamp(c, 0.0, 1.0) * 255.0));
}
} // namespace

std::string Color::hexRGB() const {
    char buf[8];
    std::snprintf(buf, sizeof buf, "#%02X%02X%02X", toByte(red), toByte(green), toByte(blue));
    return buf;
}

std::string Color::hexRGBA() const {
    char buf[10];
    std::snprintf(buf, sizeof buf, "#%02X%02X%02X%02X", toByte(red), toByte(green), toByte(blue),
                  toByte(alpha));
    return buf;
}

} // namespace ombrix
