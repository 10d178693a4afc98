#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include <cstdint>
#include <string>

namespace ombrix {

// An RGBA colour, components from 0 to 1, not premultiplied.
struct Color {
    double red = 0;
    double green = 0;
    double blue = 0;
    double alpha = 1;

    bool operator==(const Color&) const = default;

    Color withAlpha(double a) const { return Color{red, green, blue, a}; }

    // "#RRGGBB" and "#RRGGBBAA", components rounded to the nearest byte.
    std::string hexRGB() const;
    std::string hexRGBA() const;

    static constexpr Color rgb(std::uint8_t r, std::uint8_t g, std::uint8_t b, double a = 1.0) {
        return Color{r / 255.0, g / 255.0, b / 255.0, a};
    }
};

// The named colours the annotation defaults and tools refer to. Fixed values, so
// documents look the same on every desktop theme.
namespace SystemColors {
inline constexpr Color yellow = Color::rgb(255, 204, 0);
inline constexpr Color red = Color::rgb(255, 59, 48);
inline constexpr Color blue = Color::rgb(0, 122, 255);
inline constexpr Color purple = Color::rgb(175, 82, 222);
inline constexpr Color orange = Color::rgb(255, 149, 0);
inline constexpr Color green = Color::rgb(52, 199, 89);
inline constexpr Color black = Color{0, 0, 0, 1};
inline constexpr Color white = Color{1, 1, 1, 1};
inline constexpr Color clear = Color{0, 0, 0, 0};
} // namespace SystemColors

} // namespace ombrix

OMBRIX_API_END
