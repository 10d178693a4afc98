#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include <array>
#include <compare>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace ombrix {

// A random version-4 UUID, drawn from the kernel's random source.
class Uuid {
public:
    Uuid() = default; // the nil UUID
    static Uuid random();
    static std::optional<Uuid> parse(std::string_view text);

    std::string toString() const; // lower-case 8-4-4-4-12
    bool isNil() const;
    const std::array<std::uint8_t, 16>& bytes() const { return bytes_; }

    auto operator<=>(const Uuid&) const = default;

private:
    std::array<std::uint8_t, 16> bytes_{};
};

} // namespace ombrix

template <> struct std::hash<ombrix::Uuid> {
    std::size_t operator()(const ombrix::Uuid& u) const noexcept {
        std::size_t h = 0;
        for (auto b : u.bytes()) {
            h = h * 131 + b;
        }
        return h;
    }
};

OMBRIX_API_END
