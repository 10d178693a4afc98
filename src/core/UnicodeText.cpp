#include "core/UnicodeText.h"

#include <algorithm>
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

std::optional<char32_t> nextCodePoint(std::string_view utf8, std::size_t& at) {
    // A code point takes at most four bytes: ICU never looks past them, whatever the size.
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(utf8.data() + at);
    const auto length = static_cast<std::int32_t>(std::min<std::size_t>(utf8.size() - at, 4));
    std::int32_t next = 0;
    UChar32 c;
    U8_NEXT(bytes, next, length, c);
    at += static_cast<std::size_t>(next);
    return c < 0 ? std::nullopt : std::optional<char32_t>(static_cast<char32_t>(c));
}

bool isWellFormedUTF8(std::string_view utf8) {
    for (std::size_t at = 0; at < utf8.size();) {
        if (!nextCodePoint(utf8, at)) {
            return false;
        }
    }
    return true;
}

std::size_t codePointCount(std::string_view utf8) {
    std::size_t count = 0;
    for (std::size_t at = 0; at < utf8.size(); ++count) {
        nextCodePoint(utf8, at);
    }
    return count;
}

void appendCodePoint(std::string& utf8, char32_t c) {
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        c = 0xFFFD;
    }
    char bytes[U8_MAX_LENGTH];
    std::int32_t length = 0;
    U8_APPEND_UNSAFE(bytes, length, c);
    utf8.append(bytes, std::size_t(length));
}

std::string utf8From(std::u32string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char32_t c : text) {
        appendCodePoint(out, c);
    }
    return out;
}

} // namespace ombrix
