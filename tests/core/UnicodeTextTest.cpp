#include "core/UnicodeText.h"

#include <gtest/gtest.h>

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
