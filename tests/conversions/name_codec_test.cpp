#include <gtest/gtest.h>

#include "conversions/conversions.h"
#include "conversions/name_codec.h"
#include "conversions/text_encoding.h"

namespace puolukka {
namespace {

std::string hex(const std::string& bytes) { return bytesToHex(bytes); }
std::string bytes(const std::string& hexText) { return HexToBytes(hexText); }

// The default alphabet of TS 23.038 6.2.1 in code order, 1B (escape) left out.
const char* const kGsmTable =
    "@£$¥èéùìòÇ\nØø\rÅåΔ_ΦΓΛΩΠΨΣΘΞ" "ÆæßÉ !\"#¤%&'()*+,-./0123456789:;<=>?"
    "¡ABCDEFGHIJKLMNOPQRSTUVWXYZÄÖÑÜ§¿abcdefghijklmnopqrstuvwxyzäöñüà";

TEST(NameCodec, EveryGsmCharacterBothWays)
{
    const std::u32string table = utf8ToCodePoints(kGsmTable);
    ASSERT_EQ(table.size(), 127u);
    for (int code = 0, i = 0; code < 128; ++code) {
        if (code == 0x1B)
            continue;
        const std::string c = codePointsToUtf8(std::u32string(1, table[std::size_t(i++)]));
        const std::string b(1, char(code));
        EXPECT_EQ(decodeName(b).text, c) << code;
        const EncodedName e = encodeName(c);
        EXPECT_TRUE(e.coding == NameCoding::Gsm && e.bytes == b) << code;
    }
    const std::pair<const char*, const char*> extension[] = {
        {"€", "1B65"}, {"[", "1B3C"}, {"]", "1B3E"}, {"{", "1B28"}, {"}", "1B29"},
        {"\\", "1B2F"}, {"^", "1B14"}, {"~", "1B3D"}, {"|", "1B40"},
    };
    for (const auto& [c, code] : extension) {
        EXPECT_EQ(hex(encodeName(c).bytes), code) << c;
        EXPECT_EQ(decodeName(bytes(code)).text, c) << code;
    }
    // TS 23.038 6.2.1.1: an escape before a code the extension lacks shows the
    // default character; the escape twice shows a space; the page break reads as LF.
    EXPECT_EQ(decodeName(bytes("1B41" "1B1B" "1B0A")).text, "A \n");
}

TEST(NameCodec, PublishedAndOwnVectors)
{
    // name, hex of the shortest encoding
    const std::pair<const char*, const char*> rows[] = {
        {"Äiti", "5B697469"},
        {"Mäkelä", "4D7B6B656C7B"},
        {"€100 {x}", "1B65313030201B28781B29"},
        {"Мама", "8104089CB0BCB0"},         // 81: half-page 0400 (byte 08), offsets 1C 30 3C 30
        {"Sকদ", "8103135395A6"},            // TS 102 221 annex A example 2, Bengali half-page 0980
        {"-Բփ-1", "820505322D80D12D31"},    // Armenian 0532 and 0583 span two half-pages: 82
        {"Я", "80042F"},                    // one character: 80 (3 bytes) is shorter than 81 (4)
        {"Мa", "80041C0061"},               // a tie of 80 and 81 goes to 80
        {"a\uFFFF", "8202FFFF6180"},         // FFFF would end form 80 early: 82 holds it
        {"", ""},
    };
    for (const auto& [text, code] : rows) {
        const EncodedName e = encodeName(text);
        EXPECT_EQ(hex(e.bytes), code) << text;
        EXPECT_EQ(decodeName(e.bytes).text, text) << text;
    }
}

TEST(NameCodec, TheThreeUcs2FormsAndPaddingDecodeAlike)
{
    const std::pair<const char*, NameCoding> forms[] = {
        {"80041C0430043C0430FFFFFF", NameCoding::Ucs2},
        {"8104089CB0BCB0FFFFFFFFFF", NameCoding::Ucs2HalfPage},
        {"820404108CA0ACA0FF", NameCoding::Ucs2Base},  // base 0410: any value, not only a multiple of 128
    };
    for (const auto& [code, coding] : forms) {
        const DecodedName d = decodeName(bytes(code));
        EXPECT_EQ(d.text, "Мама") << code;
        EXPECT_TRUE(d.coding == coding && d.clean) << code;
    }
    EXPECT_EQ(decodeName(bytes("820505302D82D32D31")).text, "-Բփ-1");
    // Inside the count FF is a character (base + 7F); after it, padding.
    EXPECT_EQ(decodeName(bytes("8105135395A661FFFF")).text, "Sকদa\u09FF");
    EXPECT_EQ(decodeName(bytes("5B697469FFFFFFFF")).text, "Äiti");
    EXPECT_EQ(decodeName(bytes("5BFF69")).text, "Ä") << "GSM text ends at the first FF";
    EXPECT_EQ(decodeName(bytes("80FFFF0041")).text, "");
}

TEST(NameCodec, BytesOfOtherToolsAreMarkedNotClean)
{
    const std::pair<const char*, const char*> rows[] = {
        {"4DE46B656CE4", "M\uFFFDkel\uFFFD"},  // Latin-1 "Mäkelä"
        {"810A089C", "М"},                    // a count past the field shows what is there
        {"8004", ""},                         // an odd last byte that is not FF
        {"80D800", "\uFFFD"},                 // a lone surrogate
        {"411B", "A"},                        // an escape with nothing after it
    };
    for (const auto& [code, text] : rows) {
        const DecodedName d = decodeName(bytes(code));
        EXPECT_EQ(d.text, text) << code;
        EXPECT_FALSE(d.clean) << code;
    }
}

TEST(NameCodec, FitSaysWhatIsLeftAndWhatDoesNotFit)
{
    // text, capacity, fits, characters left (negative: too many)
    const std::tuple<const char*, int, bool, int> rows[] = {
        {"Mäkelä", 14, true, 8},
        {"Alexander Graham Bell", 14, false, -7},
        {"Мама", 14, true, 7},   // 81: 3 header bytes + 4
        {"Я", 14, true, 5},      // 80: (14 - 3) / 2
        {"ЯЖ", 4, false, -1},    // 80: 5 bytes in 4
        {"€uro", 4, false, -1},  // the euro takes two bytes
        {"A", 0, false, -1},     // a card without a name field
    };
    for (const auto& [text, capacity, fits, left] : rows) {
        const NameFit fit = fitName(text, capacity);
        EXPECT_EQ(fit.fits, fits) << text;
        EXPECT_EQ(fit.left, left) << text;
    }
    EXPECT_EQ(fitName("Мама", 14).maxCharacters(), 11);

    const NameFit emoji = fitName("Äiti \U0001F600", 14);
    EXPECT_FALSE(emoji.fits || emoji.name.encodable);
    EXPECT_EQ(emoji.name.unencodable, U'\U0001F600');

    EXPECT_EQ(hex(padName(encodeName("Äiti").bytes, 8)), "5B697469FFFFFFFF");
    EXPECT_EQ(shortenName("Alexander Graham Bell", 14), "Alexander Grah");
    EXPECT_EQ(shortenName("Alexander Graham Bell", 10), "Alexander") << "no blank at the end";
    EXPECT_EQ(shortenName("Мама Мия", 6), "Мам");
    // A name of any length (a broken contacts file) is shortened at once, not one character at a time.
    const std::string endless = "Äiti " + std::string(300000, 'a');
    EXPECT_EQ(shortenName(endless, 14), "Äiti aaaaaaaaa");
    EXPECT_EQ(shortenName("Мама " + endless, 9), "Мама Ä");  // form 81: 3 bytes before the characters
}

TEST(TextEncoding, Utf8CodePageAndFileEncodings)
{
    bool valid = true;
    EXPECT_EQ(utf8ToCodePoints("a\xC3\xA4\xF0\x9F\x98\x80", &valid), U"aä\U0001F600");
    EXPECT_TRUE(valid);
    for (const char* bad : {"\xC3", "\xC0\x80", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE4\x69"}) {
        utf8ToCodePoints(bad, &valid);
        EXPECT_FALSE(valid) << hex(bad);
    }
    EXPECT_EQ(utf8ToCodePoints("\xE4" "iti"), U"\uFFFDiti");
    EXPECT_EQ(windows1252ToUtf8("\x80 \xE4\x8A"), "€ äŠ");
    EXPECT_EQ(latin1ToUtf8("\xC4iti"), "Äiti");
    std::string text;
    EXPECT_TRUE(charsetToUtf8("iso-8859-15", "\xA4", text) && text == "€");
    EXPECT_FALSE(charsetToUtf8("KOI8-R", "x", text));

    EXPECT_EQ(textFileToUtf8("\xEF\xBB\xBF" "Äiti"), "Äiti");
    EXPECT_EQ(textFileToUtf8(std::string("\xFF\xFE\xC4\x00i\x00\x3D\xD8\x00\xDE", 10)), "Äi\U0001F600");
    EXPECT_EQ(textFileToUtf8(std::string("\xFE\xFF\x04\x1C\x00" "a", 6)), "Мa");
    EXPECT_EQ(textFileToUtf8("M\xE4kel\xE4;040"), "Mäkelä;040") << "not UTF-8: the Windows code page";
}

}  // namespace
}  // namespace puolukka
