#include "search/TextNormalisation.h"

#include <gtest/gtest.h>

using namespace ombrix;

namespace {
std::string join(std::string_view text, bool removeCJKSpaces = false) {
    return toSingleLine(text, removeCJKSpaces);
}
} // namespace

TEST(ToSingleLine, LatinLinesAreJoinedWithOneSpace) {
    EXPECT_EQ(join("Hello\nworld"), "Hello world");
    EXPECT_EQ(join("  Hello \t\n\tworld  "), "Hello world");
    EXPECT_EQ(join("one line"), "one line");
    EXPECT_EQ(join("inner  spaces\nstay  put"), "inner  spaces stay  put");
    EXPECT_EQ(join(""), "");
    EXPECT_EQ(join("\n\r\n"), "");
}

TEST(ToSingleLine, EveryKindOfLineBreakSplitsAndEmptyPiecesVanish) {
    EXPECT_EQ(join("a\r\n\r\nb"), "a b");
    EXPECT_EQ(join("a\vb\fc\rd"), "a b c d");
    EXPECT_EQ(join("a\u0085b\u2028c\u2029d"), "a b c d");
    EXPECT_EQ(join("\n\na\n\n\nb\n"), "a b");
}

TEST(ToSingleLine, LinesOfOnlySpacesAndTabsAreSkipped) {
    EXPECT_EQ(join("exam-\n   \t\nple"), "example");
    EXPECT_EQ(join(" \t \nHello\n\u3000\nworld"), "Hello world");
    EXPECT_EQ(join("漢\n  \n字"), "漢字");
    EXPECT_EQ(join(" \n\t\n"), "");
}

TEST(ToSingleLine, HyphenAtLineEndRejoinsWordsOfAnyScript) {
    EXPECT_EQ(join("exam-\nple"), "example");
    EXPECT_EQ(join("exam- \n  ple"), "example");
    EXPECT_EQ(join("при-\nмер"), "пример");
    EXPECT_EQ(join("Ärger-\nÖl"), "ÄrgerÖl");
    EXPECT_EQ(join("math-\n\U0001D400x"), "math\U0001D400x"); // a letter outside the BMP
    // Not a letter after it: the hyphen stays and a space follows.
    EXPECT_EQ(join("3-\n5"), "3- 5");
    EXPECT_EQ(join("well-\n(known)"), "well- (known)");
    // Only hyphen-minus counts, not the dashes that look like it.
    EXPECT_EQ(join("exam\u2010\nple"), "exam\u2010 ple");
    EXPECT_EQ(join("exam\u2013\nple"), "exam\u2013 ple");
    // A hyphen carrying a combining mark is no longer a hyphen.
    EXPECT_EQ(join("x-\u0301\nple"), "x-\u0301 ple");
}

TEST(ToSingleLine, CJKLinesRunOnWithoutASpace) {
    EXPECT_EQ(join("漢字の\n読み方"), "漢字の読み方");
    EXPECT_EQ(join("ひらがな\nカタカナ"), "ひらがなカタカナ");
    EXPECT_EQ(join("한국어\n문장"), "한국어문장");
    EXPECT_EQ(join("\u3400\n\u4dbf"), "\u3400\u4dbf"); // Extension A
    EXPECT_EQ(join("Latin\n漢字"), "Latin 漢字");
    EXPECT_EQ(join("漢字\nLatin"), "漢字 Latin");
    // CJK punctuation is outside the class.
    EXPECT_EQ(join("漢字。\n読む"), "漢字。 読む");
    // An ideograph with a variation selector is still an ideograph at the joint.
    EXPECT_EQ(join("葛\U000E0100\n飾"), "葛\U000E0100飾");
    // Ideographs are letters, so a hyphen before one is taken as a word split.
    EXPECT_EQ(join("漢-\n字"), "漢字");
}

TEST(ToSingleLine, SpacesBetweenIdeographsGoOnlyWhenAsked) {
    EXPECT_EQ(join("漢 字", true), "漢字");
    EXPECT_EQ(join("漢 字", false), "漢 字");
    EXPECT_EQ(join("漢 字 語 文", true), "漢字語文");
    // Only a single space between two ideographs; kana, Hangul and Latin keep theirs.
    EXPECT_EQ(join("漢  字", true), "漢  字");
    EXPECT_EQ(join("ひら がな", true), "ひら がな");
    EXPECT_EQ(join("漢 ひ", true), "漢 ひ");
    EXPECT_EQ(join("한 국", true), "한 국");
    EXPECT_EQ(join("A 漢 B", true), "A 漢 B");
    EXPECT_EQ(join("漢\u3000字", true), "漢\u3000字");
    // It applies to the joined result, joints included.
    EXPECT_EQ(join("中文 字\n英文", true), "中文字英文");
}

TEST(ToSingleLine, IllFormedUtf8BecomesReplacementCharacters) {
    EXPECT_EQ(join("a\xff\nb"), "a\uFFFD b");
    EXPECT_EQ(join("\xe6\xbc\n\xe5"), "\uFFFD \uFFFD");
    EXPECT_EQ(join("exam-\n\xc0\x80ple"), "exam- \uFFFD\uFFFDple");
    const std::string withNul("a\0b\nc", 5);
    EXPECT_EQ(join(withNul), std::string("a\0b c", 5));
}
