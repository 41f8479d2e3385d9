#include <gtest/gtest.h>

#include "conversions/conversions.h"

namespace puolukka {
namespace {

using namespace std::string_literals;

TEST(HexToBytes, PairsOddLengthAndForeignCharactersAndHexToValue)
{
    // Lower case and other characters count as 0.
    const std::pair<const char*, std::string> rows[] = {
        {"A0A4000002", "\xA0\xA4\x00\x00\x02"s}, {"3F0", "\x3F\x00"s}, {"", ""}, {"A", "\xA0"}, {"A0A", "\xA0\xA0"},
        {"FFFF", "\xFF\xFF"}, {"a0", "\x00"s}, {"3f00", "\x30\x00"s}, {"G1", "\x01"}, {"0 1 ", "\x00\x10"s}};
    for (const auto& [text, bytes] : rows)
        EXPECT_EQ(HexToBytes(text), bytes) << text;
    const std::pair<const char*, int> values[] = {{"A0", 160}, {"9F1A", 159}, {"", 0}, {"F", 240}, {"9f", 144}};
    for (const auto& [text, value] : values)
        EXPECT_EQ(HexToValue(text), value) << text;
}

TEST(BytesToHex, HexAndInverseRoundTripEveryByte)
{
    EXPECT_EQ(bytesToHex("\x00\x0A\xFF\x9F"s), "000AFF9F");
    EXPECT_EQ(hexByte(10) + hexByte(0x1FF), "0AFF");
    std::string all;
    for (int b = 0; b < 256; ++b)
        all += char(b);
    EXPECT_EQ(HexToBytes(bytesToHex(all)), all);
    for (int b = 0; b < 256; ++b)
        EXPECT_EQ(InverseByte(InverseByte(static_cast<unsigned char>(b))), b);
    EXPECT_EQ(InverseByte(0x03), 0x3F);
    EXPECT_EQ(inverseBytes(HexToBytes("A0A4000002")), HexToBytes("FADAFFFFBF"));
}

}  // namespace
}  // namespace puolukka
