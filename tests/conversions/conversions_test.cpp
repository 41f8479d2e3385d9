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

TEST(HexToBytes, OddLengthAndLowerCaseInLongerTexts)
{
    // The header text built from ClassByte and INS P1 P2 P3.
    EXPECT_EQ(HexToBytes(std::string("A0") + "A4000002"), std::string("\xA0\xA4\x00\x00\x02", 5));
    EXPECT_EQ(HexToBytes("A0A"), "\xA0\xA0");
    EXPECT_EQ(HexToBytes("3f00"), std::string("\x30\x00", 2));  // only digits keep their value
    EXPECT_EQ(HexToBytes("FFFF"), "\xFF\xFF");
    EXPECT_EQ(HexToBytes("0 1 "), std::string("\x00\x10", 2));
}

TEST(BytesToHex, IsTheInverseOfHexToBytesForUpperCaseText)
{
    EXPECT_EQ(bytesToHex(std::string("\x00\x0A\xFF\x9F", 4)), "000AFF9F");
    EXPECT_EQ(hexByte(10), "0A");
    EXPECT_EQ(hexByte(0x1FF), "FF");
    std::string all;
    for (int b = 0; b < 256; ++b)
        all += char(b);
    EXPECT_EQ(HexToBytes(bytesToHex(all)), all);
}

TEST(HexToValue, ReadsFirstTwoDigitsOnly)
{
    EXPECT_EQ(HexToValue("A0"), 160);
    EXPECT_EQ(HexToValue("9F1A"), 159);
    EXPECT_EQ(HexToValue(""), 0);
    EXPECT_EQ(HexToValue("F"), 240);
    EXPECT_EQ(HexToValue("9f"), 144);  // lower case counts as 0
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
