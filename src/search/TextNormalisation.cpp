#include "search/TextNormalisation.h"

#include <cstdint>
#include <memory>
#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/regex.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <vector>

namespace ombrix {

namespace {

bool isLineBreak(char16_t c) {
    switch (c) {
    case u'\n':
    case u'\v':
    case u'\f':
    case u'\r':
    case u'\u0085':
    case u'\u2028':
    case u'\u2029':
        return true;
    default:
        return false;
    }
}

// Ideographs (with Extension A), hiragana, katakana and Hangul syllables: every range is
// in the BMP, so a character is tested by its first UTF-16 code unit.
bool isCJK(char16_t c) {
    return (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0x3400 && c <= 0x4DBF) ||
           (c >= 0x3040 && c <= 0x309F) || (c >= 0x30A0 && c <= 0x30FF) ||
           (c >= 0xAC00 && c <= 0xD7AF);
}

// The pieces between line breaks; a CR LF pair is two breaks, so it leaves an empty
// piece, which is dropped with the others.
std::vector<icu::UnicodeString> nonEmptyLines(const icu::UnicodeString& text) {
    std::vector<icu::UnicodeString> lines;
    std::int32_t start = 0;
    const std::int32_t length = text.length();
    for (std::int32_t i = 0; i <= length; ++i) {
        if (i == length || isLineBreak(text.charAt(i))) {
            if (i > start) {
                lines.emplace_back(text, start, i - start);
            }
            start = i + 1;
        }
    }
    return lines;
}

// Lines never hold a line break any more, so Unicode white space is exactly the spaces
// (of every width) and tabs.
icu::UnicodeString trimmedHorizontally(const icu::UnicodeString& line) {
    std::int32_t begin = 0;
    std::int32_t end = line.length();
    while (begin < end && u_isUWhiteSpace(line.char32At(begin))) {
        begin = line.moveIndex32(begin, 1);
    }
    while (end > begin && u_isUWhiteSpace(line.char32At(line.moveIndex32(end, -1)))) {
        end = line.moveIndex32(end, -1);
    }
    return icu::UnicodeString(line, begin, end - begin);
}

const icu::RegexPattern* spaceBetweenIdeographs() {
    static const std::unique_ptr<icu::RegexPattern> pattern = [] {
        UErrorCode status = U_ZERO_ERROR;
        UParseError parseError;
        std::unique_ptr<icu::RegexPattern> compiled(icu::RegexPattern::compile(
            icu::UnicodeString(u"(?<=[\\u4e00-\\u9fff]) (?=[\\u4e00-\\u9fff])"), 0, parseError,
            status));
        return U_SUCCESS(status) ? std::move(compiled) : nullptr;
    }();
    return pattern.get();
}

} // namespace

std::string toSingleLine(std::string_view utf8, bool removeWhitespaceBetweenCJKChars) {
    const auto input = icu::UnicodeString::fromUTF8(
        icu::StringPiece(utf8.data(), static_cast<std::int32_t>(utf8.size())));

    // The joint looks at the whole last character of the result, so an ideograph with a
    // variation selector or a combining mark still counts as an ideograph. The result
    // always ends with the piece appended last, so only that piece is segmented.
    icu::UnicodeString result;
    icu::UnicodeString lastPiece;
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> characters(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    if (U_FAILURE(status)) {
        characters.reset();
    }

    for (const auto& line : nonEmptyLines(input)) {
        icu::UnicodeString piece = trimmedHorizontally(line);
        if (piece.isEmpty()) {
            continue;
        }
        if (!result.isEmpty()) {
            std::int32_t lastStart = lastPiece.moveIndex32(lastPiece.length(), -1);
            if (characters) {
                characters->setText(lastPiece);
                lastStart = characters->preceding(lastPiece.length());
            }
            const bool lastIsHyphen =
                lastStart == lastPiece.length() - 1 && lastPiece.charAt(lastStart) == u'-';
            if (isCJK(lastPiece.charAt(lastStart)) && isCJK(piece.charAt(0))) {
                // Lines of CJK text run on without a space.
            } else if (lastIsHyphen && u_isalpha(piece.char32At(0))) {
                result.truncate(result.length() - 1);
            } else {
                result.append(u' ');
            }
        }
        result.append(piece);
        lastPiece = std::move(piece);
    }

    if (removeWhitespaceBetweenCJKChars && !result.isEmpty()) {
        if (const auto* pattern = spaceBetweenIdeographs()) {
            UErrorCode regexStatus = U_ZERO_ERROR;
            icu::UnicodeString joined;
            {
                std::unique_ptr<icu::RegexMatcher> matcher(pattern->matcher(result, regexStatus));
                if (U_SUCCESS(regexStatus)) {
                    joined = matcher->replaceAll(icu::UnicodeString(), regexStatus);
                }
            }
            if (U_SUCCESS(regexStatus)) {
                result = joined;
            }
        }
    }

    std::string out;
    result.toUTF8String(out);
    return out;
}

} // namespace ombrix
