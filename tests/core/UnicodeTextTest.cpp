#include "core/UnicodeText.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace ombrix;

TEST(UnicodeText, TrimsEveryKindOfWhiteSpaceAndLineBreakAtBothEnds) {
    EXPECT_EQ(trimmingWhitespaceAndNewlines(" \t\r\n iv \v\f"), "iv");
    EXPECT_EQ(trimmingWhitespaceAndNewlines("\u00a0\u2003\u3000A-1\u2028\u2029\u0085\u202f"),
              "A-1");
    EXPECT_EQ(trimmingWhitespaceAndNewlines("a  b\n c"), "a  b\n c");
    EXPECT_EQ(trimmingWhitespaceAndNewlines("   "), "");
    EXPECT_EQ(trimmingWhitespaceAndNewlines(""), "");
    // Format characters are not white space.
    EXPECT_EQ(trimmingWhitespaceAndNewlines("\u200bx\u200b"), "\u200bx\u200b");
}

TEST(UnicodeText, TrimmingKeepsIllFormedBytesAsTheyAre) {
    EXPECT_EQ(trimmingWhitespaceAndNewlines(" \xff x \xfe "), "\xff x \xfe");
    EXPECT_EQ(trimmingWhitespaceAndNewlines("\xe3\x80 "), "\xe3\x80"); // cut-off U+3000
    EXPECT_EQ(trimmingWhitespaceAndNewlines(" \x80"), "\x80");
    EXPECT_EQ(trimmingWhitespaceAndNewlines(std::string("\0 ", 2)), std::string("\0", 1));
}

TEST(UnicodeText, LowerCasingIsFullUnicode) {
    EXPECT_EQ(lowercased("IV"), "iv");
    EXPECT_EQ(lowercased("ÄÖÜ Straße"), "äöü straße");
    EXPECT_EQ(lowercased("ΣΑΣ"), "σας");
    EXPECT_EQ(lowercased("\u212A"), "k");
    EXPECT_EQ(lowercased("漢字 1-2"), "漢字 1-2");
    EXPECT_EQ(lowercased(""), "");
    EXPECT_EQ(lowercased("A\xff"
                         "B"),
              "a\uFFFDb");
}

TEST(UnicodeText, CodePointsAreReadWholeAndIllFormedSequencesAsOneUnitEach) {
    // One of each length, and the largest code point.
    const std::string text = "a\u00e9\u20ac\U0001F600\U0010FFFF";
    std::vector<char32_t> read;
    for (std::size_t at = 0; at < text.size();) {
        read.push_back(nextCodePoint(text, at).value_or(0));
    }
    EXPECT_EQ(read, (std::vector<char32_t>{U'a', 0xE9, 0x20AC, 0x1F600, 0x10FFFF}));
    EXPECT_TRUE(isWellFormedUTF8(text));
    EXPECT_EQ(codePointCount(text), 5u);
    EXPECT_TRUE(isWellFormedUTF8(""));
    EXPECT_EQ(codePointCount(""), 0u);
    EXPECT_EQ(codePointCount(std::string("\0\0", 2)), 2u);

    struct Case {
        std::string bytes;
        std::size_t units; // what the sequence counts as
    };
    const Case illFormed[] = {
        {"\xe2\x82", 1},         // cut off at the end: nothing past it is read
        {"\xf0\x9f\x98", 1},     // cut off, four-byte form
        {"\x80\xbf", 2},         // stray continuation bytes
        {"\xc0\x80", 2},         // overlong NUL
        {"\xe0\x80\xaf", 3},     // overlong slash
        {"\xed\xa0\x80", 3},     // a surrogate
        {"\xf4\x90\x80\x80", 4}, // past U+10FFFF
        {"\xff\xfe", 2},         // never in UTF-8
        {"\xe2\x82x", 2},        // cut off by an ASCII letter, which is kept
    };
    for (const Case& c : illFormed) {
        SCOPED_TRACE(::testing::PrintToString(c.bytes));
        EXPECT_FALSE(isWellFormedUTF8(c.bytes));
        EXPECT_FALSE(isWellFormedUTF8("ok " + c.bytes + " ok"));
        EXPECT_EQ(codePointCount(c.bytes), c.units);
        std::size_t at = 0;
        EXPECT_EQ(nextCodePoint(c.bytes, at), std::nullopt);
        EXPECT_GT(at, 0u);
        EXPECT_LE(at, c.bytes.size());
    }
    // A view ending inside a sequence stops at its end, whatever follows in memory.
    const std::string longer = "\xe2\x82\xac";
    std::size_t at = 0;
    EXPECT_EQ(nextCodePoint(std::string_view(longer).substr(0, 2), at), std::nullopt);
    EXPECT_EQ(at, 2u);
}
