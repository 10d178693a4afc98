#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace ombrix {

// Small Unicode-aware string helpers over UTF-8. Ill-formed UTF-8 never crashes them.

// Full Unicode lower-casing, language-neutral ("Ä" gives "ä", "ΣΑΣ" gives "σας").
// Ill-formed sequences come out as U+FFFD.
std::string lowercased(std::string_view utf8);

// Removes Unicode white space (spaces of every width, tabs, and line breaks of every
// kind) from both ends. The bytes in between are kept as they are, well-formed or not.
std::string trimmingWhitespaceAndNewlines(std::string_view utf8);

// Text someone else sent, made fit to print on one line of a terminal or a message:
// control characters (escape sequences among them) and bidirectional controls removed,
// line breaks and tabs turned into single spaces, ill-formed sequences shown as U+FFFD,
// trimmed, and cut to `maxCharacters` code points with "…" standing for the rest.
std::string printableLine(std::string_view utf8, std::size_t maxCharacters);

// The code point starting at byte `at` (below the size), moving `at` past it. None for an
// ill-formed sequence, which is passed over as the one unit U+FFFD would replace: a cut-off
// sequence, a stray continuation byte, an overlong form, a surrogate, or past U+10FFFF.
std::optional<char32_t> nextCodePoint(std::string_view utf8, std::size_t& at);

// Appends `c` as UTF-8; a surrogate or a value past U+10FFFF goes in as U+FFFD.
void appendCodePoint(std::string& utf8, char32_t c);
// The UTF-32 text as UTF-8, each invalid value as U+FFFD.
std::string utf8From(std::u32string_view text);

// Whether the bytes are well-formed UTF-8 throughout.
bool isWellFormedUTF8(std::string_view utf8);

// The number of code points, each ill-formed sequence counting as one.
std::size_t codePointCount(std::string_view utf8);

} // namespace ombrix

OMBRIX_API_END
