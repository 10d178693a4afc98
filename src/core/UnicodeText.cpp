#include "core/UnicodeText.h"

#include <cstdint>
#include <unicode/locid.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

namespace ombrix {

std::string lowercased(std::string_view utf8) {
    auto text = icu::UnicodeString::fromUTF8(
        icu::StringPiece(utf8.data(), static_cast<std::int32_t>(utf8.size())));
    text.toLower(icu::Locale::getRoot());
    std::string out;
    text.toUTF8String(out);
    return out;
}

std::string trimmingWhitespaceAndNewlines(std::string_view utf8) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(utf8.data());
    const auto length = static_cast<std::int32_t>(utf8.size());

    std::int32_t begin = 0;
    while (begin < length) {
        std::int32_t next = begin;
        UChar32 c;
        U8_NEXT(bytes, next, length, c);
        if (c < 0 || !u_isUWhiteSpace(c)) {
            break;
        }
        begin = next;
    }
    std::int32_t end = length;
    while (end > begin) {
        std::int32_t previous = end;
        UChar32 c;
        U8_PREV(bytes, begin, previous, c);
        if (c < 0 || !u_isUWhiteSpace(c)) {
            break;
        }
        end = previous;
    }
    return std::string(
        utf8.substr(static_cast<std::size_t>(begin), static_cast<std::size_t>(end - begin)));
}

std::string printableLine(std::string_view utf8, std::size_t maxCharacters) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(utf8.data());
    const auto length = static_cast<std::int32_t>(utf8.size());
    std::string out;
    std::size_t characters = 0;
    bool pendingSpace = false;
    for (std::int32_t at = 0; at < length;) {
        UChar32 c;
        U8_NEXT(bytes, at, length, c);
        if (c < 0) {
            c = 0xFFFD;
        }
        if (u_isUWhiteSpace(c) || c == '\t') {
            pendingSpace = !out.empty();
            continue;
        }
        if (u_charType(c) == U_CONTROL_CHAR || u_hasBinaryProperty(c, UCHAR_BIDI_CONTROL)) {
            continue;
        }
        const std::size_t needed = pendingSpace ? 2 : 1;
        if (characters + needed > maxCharacters) {
            out += "\u2026";
            return out;
        }
        if (pendingSpace) {
            out += ' ';
            pendingSpace = false;
        }
        char buffer[U8_MAX_LENGTH];
        std::int32_t n = 0;
        U8_APPEND_UNSAFE(buffer, n, c);
        out.append(buffer, std::size_t(n));
        characters += needed;
    }
    return out;
}

} // namespace ombrix
