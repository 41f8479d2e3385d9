#include <gtest/gtest.h>

#include "conversions/conversions.h"

namespace puolukka {
namespace {

TEST(HexToBytes, ConvertsPairsOddLengthAndForeignCharacters)
{
    EXPECT_EQ(HexToBytes("A0A4000002"), std::string("\xA0\xA4\x00\x00\x02", 5));
    EXPECT_EQ(HexToBytes("3F0"), std::string("\x3F\x00", 2));
    EXPECT_EQ(HexToBytes(""), "");
    EXPECT_EQ(HexToBytes("A"), "\xA0");
    EXPECT_EQ(HexToBytes("a0"), std::string("\x00", 1));  // lower case counts as 0
    EXPECT_EQ(HexToBytes("G1"), "\x01");
}

TEST(HexToValue, ReadsFirstTwoDigitsOnly)
{
    EXPECT_EQ(HexToValue("A0"), 160);
    EXPECT_EQ(HexToValue("9F1A"), 159);
    EXPECT_EQ(HexToValue(""), 0);
    EXPECT_EQ(HexToValue("F"), 240);
}

TEST(InverseByte, MatchesExamplesAndIsItsOwnInverse)
{
    EXPECT_EQ(InverseByte(0x03), 0x3F);
    EXPECT_EQ(InverseByte(0x3F), 0x03);
    EXPECT_EQ(InverseByte(0xA0), 0xFA);
    EXPECT_EQ(InverseByte(0x00), 0xFF);
    for (int b = 0; b < 256; ++b)
        EXPECT_EQ(InverseByte(InverseByte(static_cast<unsigned char>(b))), b);
    EXPECT_EQ(inverseBytes(HexToBytes("A0A4000002")), HexToBytes("FADAFFFFBF"));
}

}  // namespace
}  // namespace puolukka
