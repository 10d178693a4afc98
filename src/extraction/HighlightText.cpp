#include "extraction/HighlightText.h"

#include <array>
#include <charconv>
#include <cmath>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

namespace ombrix {

std::string collapseWhitespace(std::string_view utf8) {
    icu::UnicodeString text = icu::UnicodeString::fromUTF8(
        icu::StringPiece(utf8.data(), static_cast<std::int32_t>(utf8.size())));
    icu::UnicodeString joined;
    bool pendingSpace = false;
    for (std::int32_t i = 0; i < text.length(); i = text.moveIndex32(i, 1)) {
        UChar32 c = text.char32At(i);
        // u_isUWhiteSpace covers line feed, carriage return and the Unicode line breaks.
        if (u_isUWhiteSpace(c)) {
            pendingSpace = !joined.isEmpty();
            continue;
        }
        if (pendingSpace) {
            joined.append(u' ');
            pendingSpace = false;
        }
        joined.append(c);
    }
    std::string out;
    joined.toUTF8String(out);
    return out;
}

std::string shortestDecimal(double value) {
    if (std::isnan(value)) {
        return "nan";
    }
    if (std::isinf(value)) {
        return value < 0 ? "-inf" : "inf";
    }
    std::array<char, 64> buffer{};
    auto [end, ec] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    std::string text(buffer.data(), ec == std::errc() ? end : buffer.data());
    if (text.find_first_of(".e") == std::string::npos) {
        text += ".0";
    }
    return text;
}

} // namespace ombrix
