#include "store/gbk.h"
#include "base/text.h"

#include <gtest/gtest.h>

#include "support/fixture_bytes.h"

namespace lingchao {
namespace {

TEST(Gbk, ChineseRoundTripsThroughCodePage936) {
    EXPECT_EQ(Utf8ToGbk("升旗"), test::kGbkShengQi);
    EXPECT_EQ(GbkToUtf8(test::kGbkShengQi), "升旗");
    EXPECT_EQ(GbkToUtf8(Utf8ToGbk("D:\\铃声\\上课.mp3")), "D:\\铃声\\上课.mp3");
    EXPECT_EQ(GbkToUtf8(Utf8ToGbk("€")), "€");  // 0x80 in code page 936
}

TEST(Gbk, CharacterOutsideGbkBecomesQuestionMark) {
    EXPECT_EQ(Utf8ToGbk("a😀b"), "a?b");
    EXPECT_EQ(EncodeFixedGbk("😀", 3), "?  ");
}

TEST(Gbk, InvalidBytesDecodeToDefinedText) {
    EXPECT_EQ(GbkToUtf8(std::string("\xFF", 1)), "?");
    EXPECT_EQ(GbkToUtf8(std::string("\xC9", 1)), "?");  // lead byte cut off at the end
    EXPECT_EQ(GbkToUtf8(std::string("a\0b", 3)), "a b");
    EXPECT_EQ(GbkToUtf8(std::string("\xC9\x20", 2)), "? ");  // lead byte without a valid trail
}

// A stored name is taken for UTF-8 only when it is well formed, so GBK bytes of the same length are not.
TEST(Gbk, GbkBytesAreNotTakenForUtf8) {
    EXPECT_TRUE(IsValidUtf8("上课铃.wav"));
    EXPECT_TRUE(IsValidUtf8("a€😀"));
    EXPECT_FALSE(IsValidUtf8(test::kGbkShengQi));
    EXPECT_FALSE(IsValidUtf8("\xE4\xB8"));          // a character cut at the end
    EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));          // overlong
    EXPECT_FALSE(IsValidUtf8("\xF5\x80\x80\x80"));  // past U+10FFFF
}

TEST(Gbk, FixedFieldPadsAndCutsWithoutSplittingACharacter) {
    EXPECT_EQ(EncodeFixedGbk("ab", 5), "ab   ");
    EXPECT_EQ(EncodeFixedGbk("abcdefg", 5), "abcde");
    // "a升旗" is 5 bytes; cut at 4 the second character would be split: its half becomes a blank.
    EXPECT_EQ(EncodeFixedGbk("a升旗", 4), "a\xC9\xFD ");
    // The euro sign is the one byte 0x80, no lead byte: the character after it is not taken as its second half.
    EXPECT_EQ(EncodeFixedGbk("€升", 2), "\x80 ");
    EXPECT_EQ(EncodeFixedGbk("€升", 3), "\x80\xC9\xFD");
    const std::string twentyOne = "一二三四五六七八九十一二三四五六七八九十廿";
    const std::string field = EncodeFixedGbk(twentyOne, 40);
    EXPECT_EQ(field.size(), 40u);
    EXPECT_EQ(GbkToUtf8(field), "一二三四五六七八九十一二三四五六七八九十");
}

TEST(Gbk, DecodedFieldIsPaddedToItsWidthInCharacters) {
    EXPECT_EQ(DecodeFixedGbk(test::kGbkShengQi + std::string(36, ' '), 40), "升旗" + std::string(38, ' '));
    EXPECT_EQ(Utf8Length("升旗ab"), 4u);
    EXPECT_EQ(GbkByteLength("升旗ab"), 6u);
}

TEST(Gbk, TrimRemovesBlanksOnly) {
    EXPECT_EQ(Trim("  a b  "), "a b");
    EXPECT_EQ(Trim("     "), "");
    EXPECT_EQ(TrimRight("  a  "), "  a");
}

}  // namespace
}  // namespace lingchao
