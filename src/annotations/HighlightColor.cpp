#include "annotations/HighlightColor.h"

#include "core/UnicodeText.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string_view>

namespace ombrix {

namespace {

std::optional<unsigned> hexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return static_cast<unsigned>(c - '0');
    }
    if (c >= 'a' && c <= 'f') {
        return static_cast<unsigned>(c - 'a' + 10);
    }
    if (c >= 'A' && c <= 'F') {
        return static_cast<unsigned>(c - 'A' + 10);
    }
    return std::nullopt;
}

// Reads a colour number the way a lenient scanner does: leading white space and an
// optional "0x" are skipped, then the longest run of hex digits is taken and whatever
// follows is ignored ("12zz" reads 0x12). Text with no leading digit reads 0, and so
// does a run whose value does not fit in 64 bits: it names no colour.
std::uint64_t readHex(std::string_view text) {
    const std::string trimmed = trimmingWhitespaceAndNewlines(text);
    std::string_view rest = trimmed;
    if (rest.size() > 2 && rest[0] == '0' && (rest[1] == 'x' || rest[1] == 'X') &&
        hexDigit(rest[2])) {
        rest.remove_prefix(2);
    }
    std::uint64_t value = 0;
    for (char c : rest) {
        auto digit = hexDigit(c);
        if (!digit) {
            break;
        }
        if (value > (UINT64_MAX >> 4)) {
            return 0;
        }
        value = (value << 4) | *digit;
    }
    return value;
}

} // namespace

HighlightColor::HighlightColor(const std::string& name, const std::string& hex)
    : id(lowercased(name)), name(name) {
    std::string digits = trimmingWhitespaceAndNewlines(hex);
    std::erase(digits, '#');
    const std::uint64_t value = readHex(digits);
    nsColor = Color{static_cast<double>((value >> 16) & 0xFF) / 255.0,
                    static_cast<double>((value >> 8) & 0xFF) / 255.0,
                    static_cast<double>(value & 0xFF) / 255.0, 0.5};
}

const std::vector<HighlightColor>& HighlightColor::defaults() {
    static const std::vector<HighlightColor> palette{
        HighlightColor("Yellow", "#ffd000"), HighlightColor("Red", "#ea5252"),
        HighlightColor("Blue", "#086ddd"),   HighlightColor("Green", "#04a802"),
        HighlightColor("Purple", "#bb61e5"),
    };
    return palette;
}

} // namespace ombrix
