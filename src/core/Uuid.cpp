#include "core/Uuid.h"

#include <cerrno>
#include <stdexcept>
#include <sys/random.h>

namespace ombrix {

Uuid Uuid::random() {
    Uuid u;
    std::size_t filled = 0;
    while (filled < u.bytes_.size()) {
        ssize_t n = getrandom(u.bytes_.data() + filled, u.bytes_.size() - filled, 0);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw std::runtime_error("getrandom failed");
        }
        filled += static_cast<std::size_t>(n);
    }
    u.bytes_[6] = static_cast<std::uint8_t>((u.bytes_[6] & 0x0F) | 0x40); // version 4
    u.bytes_[8] = static_cast<std::uint8_t>((u.bytes_[8] & 0x3F) | 0x80); // RFC 4122 variant
    return u;
}

std::string Uuid::toString() const {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string s;
    s.reserve(36);
    for (std::size_t i = 0; i < bytes_.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) {
            s.push_back('-');
        }
        s.push_back(kHex[bytes_[i] >> 4]);
        s.push_back(kHex[bytes_[i] & 0x0F]);
    }
    return s;
}

std::optional<Uuid> Uuid::parse(std::string_view text) {
    if (text.size() != 36) {
        return std::nullopt;
    }
    auto nibble = [](char c) -> int {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    };
    Uuid u;
    std::size_t byte = 0;
    for (std::size_t i = 0; i < text.size();) {
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (text[i] != '-') {
                return std::nullopt;
            }
            ++i;
            continue;
        }
        int hi = nibble(text[i]);
        int lo = nibble(text[i + 1]);
        if (hi < 0 || lo < 0) {
            return std::nullopt;
        }
        u.bytes_[byte++] = static_cast<std::uint8_t>(hi << 4 | lo);
        i += 2;
    }
    return u;
}

bool Uuid::isNil() const {
    for (auto b : bytes_) {
        if (b != 0) {
            return false;
        }
    }
    return true;
}

} // namespace ombrix
