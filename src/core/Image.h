#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include <cstdint>
#include <memory>
#include <vector>

namespace ombrix {

// A bitmap: 8-bit RGBA, alpha premultiplied and last, rows top to bottom without padding.
// Copies share the pixels; identity() tells whether two values are the same image.
class Image {
public:
    Image() = default;
    Image(int width, int height, std::vector<std::uint8_t> rgba)
        : width_(width), height_(height),
          pixels_(std::make_shared<const std::vector<std::uint8_t>>(std::move(rgba))) {}

    int width() const { return width_; }
    int height() const { return height_; }
    int stride() const { return width_ * 4; }
    bool isNull() const { return !pixels_; }
    const std::uint8_t* data() const { return pixels_ ? pixels_->data() : nullptr; }
    std::size_t byteCount() const { return pixels_ ? pixels_->size() : 0; }
    const void* identity() const { return pixels_.get(); }

    // Pixel at (x, y) from the top left, as {r, g, b, a}.
    std::uint32_t pixel(int x, int y) const {
        const std::uint8_t* p = data() + (static_cast<std::size_t>(y) * width_ + x) * 4;
        return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 |
               p[3];
    }

private:
    int width_ = 0;
    int height_ = 0;
    std::shared_ptr<const std::vector<std::uint8_t>> pixels_;
};

} // namespace ombrix

OMBRIX_API_END
