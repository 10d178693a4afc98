#pragma once

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

} // namespace ombrix
