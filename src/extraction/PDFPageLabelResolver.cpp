#include "extraction/PDFPageLabelResolver.h"

#include "core/UnicodeText.h"
#include "pdfkit/Document.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <memory>
#include <unicode/regex.h>
#include <unicode/unistr.h>

namespace ombrix::PDFPageLabelResolver {

namespace {

// How many leading pages decide whether a document numbers its front matter in roman.
constexpr int kRomanProbePages = 10;

const std::shared_ptr<pdfkit::Document>& engineDocument(const PDFDocument& document) {
    return document.handle;
}

std::optional<std::string> trimmedLabel(const pdfkit::Document& engine, int index) {
    if (index < 0 || index >= engine.pageCount()) {
        return std::nullopt;
    }
    auto page = engine.page(index);
    if (!page) {
        return std::nullopt;
    }
    auto label = page->label();
    if (!label) {
        return std::nullopt;
    }
    auto trimmed = trimmingWhitespaceAndNewlines(*label);
    if (trimmed.empty()) {
        return std::nullopt;
    }
    return trimmed;
}

// An optional sign and ASCII digits only, within 64 bits; anything else is not a number
// (and is then looked up as a label).
std::optional<std::int64_t> decimalInteger(std::string_view text) {
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && text.front() == '-') {
            return std::nullopt;
        }
    }
    if (text.empty()) {
        return std::nullopt;
    }
    std::int64_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

bool isRomanNumeral(const std::string& lowerLabel) {
    static const std::unique_ptr<icu::RegexPattern> pattern = [] {
        UErrorCode status = U_ZERO_ERROR;
        UParseError parseError;
        std::unique_ptr<icu::RegexPattern> compiled(
            icu::RegexPattern::compile(icu::UnicodeString(u"^[ivxlcdm]+$"), 0, parseError, status));
        return U_SUCCESS(status) ? std::move(compiled) : nullptr;
    }();
    if (!pattern) {
        return false;
    }
    UErrorCode status = U_ZERO_ERROR;
    const auto text = icu::UnicodeString::fromUTF8(lowerLabel);
    std::unique_ptr<icu::RegexMatcher> matcher(pattern->matcher(text, status));
    return U_SUCCESS(status) && matcher->find(status) && U_SUCCESS(status);
}

} // namespace

std::optional<std::string> pageLabel(const PDFDocument& document, int index) {
    auto engine = engineDocument(document);
    if (!engine) {
        return std::nullopt;
    }
    return trimmedLabel(*engine, index);
}

std::string displayLabel(const PDFDocument& document, int index) {
    if (auto label = pageLabel(document, index)) {
        return *label;
    }
    return std::to_string(static_cast<std::int64_t>(index) + 1);
}

std::optional<int> pageIndexForInput(const PDFDocument& document, std::string_view text) {
    auto engine = engineDocument(document);
    if (!engine) {
        return std::nullopt;
    }
    const std::string input = trimmingWhitespaceAndNewlines(text);
    if (input.empty()) {
        return std::nullopt;
    }
    const int pageCount = engine->pageCount();
    if (auto number = decimalInteger(input); number && *number > 0) {
        if (*number <= pageCount) {
            return static_cast<int>(*number - 1);
        }
        return std::nullopt;
    }
    // Labels are compared as they are shown, trimmed, so whatever the bottom bar displays
    // can be typed back.
    const std::string wanted = lowercased(input);
    for (int index = 0; index < pageCount; ++index) {
        auto label = trimmedLabel(*engine, index);
        if (label && lowercased(*label) == wanted) {
            return index;
        }
    }
    return std::nullopt;
}

bool hasCustomLabels(const PDFDocument& document) {
    auto engine = engineDocument(document);
    if (!engine) {
        return false;
    }
    for (int index = 0; index < engine->pageCount(); ++index) {
        if (trimmedLabel(*engine, index)) {
            return true;
        }
    }
    return false;
}

bool usesRomanLabels(const PDFDocument& document) {
    auto engine = engineDocument(document);
    if (!engine) {
        return false;
    }
    const int probe = std::min(engine->pageCount(), kRomanProbePages);
    for (int index = 0; index < probe; ++index) {
        auto label = trimmedLabel(*engine, index);
        if (label && isRomanNumeral(lowercased(*label))) {
            return true;
        }
    }
    return false;
}

} // namespace ombrix::PDFPageLabelResolver
