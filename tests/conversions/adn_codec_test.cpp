#include <gtest/gtest.h>

#include "conversions/adn_codec.h"
#include "conversions/conversions.h"

namespace puolukka {
namespace {

const std::string kOk = HexToBytes("9000");
const std::string k20Digits = "21436587092143658709";
const std::string k20Entry = "A/81/12345678901234567890";

std::string ff(std::size_t n) { return std::string(n, '\xFF'); }
std::string fHex(std::size_t n) { return std::string(n, 'F'); }

// A record from its fields as hex: the number field is padded with F to its 10 bytes.
std::string record(const std::string& alpha, const std::string& length, const std::string& ton, std::string number,
                   const std::string& tail = "FFFF")
{
    number.resize(20, 'F');
    return HexToBytes(alpha + length + ton + number + tail);
}

TEST(RecordToEntry, TableOfRecords)
{
    const std::pair<std::string, std::string> rows[] = {
        {HexToBytes("4142FFFFFFFF059121436587FFFFFFFFFFFFFFFF"), "AB" + ff(4) + "/91/+12345678"},
        {record("4A4B", "04", "81", "214365"), "JK/81/123456"}, {record("41", "03", "90", "2143"), "A/90/+1234"},
        {record("41", "04", "91", "2143F5"), "A/91/+12345"}, {record("41", "03", "A1", "BACB"), "A/A1/ABBC"},
        {record("41", "02", "05", "21"), "A/5/12"}, {record("41", "00", "81", "2143"), "A/81/"},
        // Digits after an F are dropped.
        {record("41", "04", "81", "21F365"), "A/81/123"}, {ff(28), ff(14) + "/FF/"},
        // The number never runs into the capability/extension bytes or the status word.
        {record("41", "0B", "81", k20Digits), k20Entry}, {record("41", "0B", "81", k20Digits, "0102"), k20Entry},
        {record("41", "FE", "81", k20Digits, "1234"), k20Entry},
    };
    for (const auto& [rec, entry] : rows)
        EXPECT_EQ(RecordToEntry(rec + kOk), entry) << bytesToHex(rec);

    EXPECT_EQ(RecordToEntry(HexToBytes("A0B2010415") + kOk), HexToBytes("A0B2010415") + kOk);  // too short
}

TEST(EntryToRecord, TableOfEntries)
{
    // entry, record length, the hex the record starts with
    const std::tuple<std::string, int, std::string> rows[] = {
        {"AB" + ff(4) + "/91/+12345", 20, "4142FFFFFFFF" "04" "91" "2143F5" + fHex(14) + "FFFF"},
        {"Pekka/81/", 19, "50656B6B61" "01" "81" + fHex(24)}, {"Pekka/81", 19, "50656B6B61" "01" "81" + fHex(24)},
        {ff(4) + "/FF/12345", 28, fHex(56)}, {"/FF/", 16, fHex(32)},  // unused: no name, TON FF
        {"Nimi/FF/", 18, "4E696D69" + fHex(28)},  // a name-only contact keeps its name
        {"Nimi/FF/12", 14, fHex(28)},  // ... but a card without a name field has none to keep
        {"A/a1/12", 15, "41" "02" "A1" "21" + fHex(22)},
        // TON and number come from the last two "/": a name may hold "/" (Latin-1 or UCS2 byte 2F).
        {"Koti/Ty\xF6/81/12", 22, "4B6F74692F5479F6" "02" "81" "21" + fHex(22)},
        {"\x80\x04\x2F\x04\x30/91/+358", 19, "80042F0430" "03" "91" "53F8" + fHex(20)},
        {"A/81/*21#", 15, "41" "03" "81" "2AB1" + fHex(20)},
        {"A/81/1234567890123456789012345", 28, "41" + fHex(26) + "0B" "81" + k20Digits + "FFFF"},
        {"Just a name", 28, "4A7573742061206E616D65" "FFFFFF" "01"},
    };
    for (const auto& [entry, recLen, hexStart] : rows) {
        int warning = 1;
        const std::string rec = EntryToRecord(entry, recLen, warning);
        EXPECT_EQ(rec.size(), std::size_t(recLen)) << entry;
        EXPECT_EQ(bytesToHex(rec).substr(0, hexStart.size()), hexStart) << entry;
    }
}

TEST(EntryToRecord, FieldsComeFromTheLastTwoSeparators)
{
    const std::tuple<std::string, std::string, std::string, std::string, int> rows[] = {
        {"A/81/1", "A", "81", "1", 2},          {"Koti/Työ/81/040", "Koti/Työ", "81", "040", 2},
        {"a/b/c/d/e", "a/b/c", "d", "e", 2},     {"Pekka/81", "Pekka", "81", "", 1},
        {"Just a name", "Just a name", "", "", 0}, {"//", "", "", "", 2}, {"/", "", "", "", 1},
    };
    for (const auto& [entry, name, ton, number, separators] : rows) {
        const EntryFields f = splitEntry(entry);
        EXPECT_EQ(std::tuple(f.name, f.ton, f.number, f.separators), std::tuple(name, ton, number, separators)) << entry;
    }
    for (const auto& [ton, value] : {std::pair{"91", 0x91}, {"a1", 0xA1}, {"5", 5}, {"", -1}, {"1x", -1}, {"123", -1}})
        EXPECT_EQ(tonValue(ton), value) << ton;
    EXPECT_EQ(unpaddedName("Aino" + ff(10)), "Aino");
    EXPECT_EQ(unpaddedName(ff(3)), "");
}

TEST(EntryToRecord, RoundTripOfTwentyEightByteRecords)
{
    const std::string records[] = {
        record("4D61696A61" + fHex(18), "07", "91", "5340123456F7"), ff(28),
        record("4B6F746960" + fHex(18), "06", "81", "0940123456"), record("E4F6C5" + fHex(22), "01", "80", ""),
        record("41424344454647484950515253FF", "0B", "91", k20Digits),
        record("4B6F74692F5479F6" + fHex(12), "06", "81", "0940123456"),  // "Koti/Työ"
        record("80042F04300441" + fHex(14), "03", "91", "53F8"),            // UCS2 "Яас": "Я" is 04 2F
        HexToBytes("4E696D69" + fHex(20) + fHex(28)),                       // a name-only contact
    };
    int warning = 1;
    for (const auto& rec : records) {
        RecLenNotice notice = RecLenNotice::None;
        const std::string entry = RecordToEntry(rec + kOk);
        EXPECT_EQ(bytesToHex(EntryToRecord(entry, 28, warning, &notice)), bytesToHex(rec)) << entry;
        EXPECT_EQ(notice, RecLenNotice::None);
    }
    EXPECT_EQ(warning, 0);
}

TEST(EntryToRecord, FirstNonEmptyEntryDecidesTheRecordLengthWarning)
{
    const std::string maija = RecordToEntry(record("4D61696A61" + fHex(18), "07", "91", "5340123456F7") + kOk);
    const std::tuple<int, RecLenNotice, std::string> cases[] = {{30, RecLenNotice::Larger, "Maija" + ff(11)},
                                                                {26, RecLenNotice::Shorter, "Maija" + ff(7)},
                                                                {28, RecLenNotice::None, "Maija" + ff(9)}};
    for (const auto& [recLen, first, alpha] : cases) {
        SCOPED_TRACE(recLen);
        const std::size_t alphaLen = std::size_t(recLen) - 14;
        int warning = 1;
        RecLenNotice notice = RecLenNotice::Larger;
        EXPECT_EQ(EntryToRecord(ff(3) + "/FF/1", recLen, warning, &notice), ff(std::size_t(recLen)));
        EXPECT_EQ(warning, 1);  // an empty entry does not decide the warning
        EXPECT_EQ(notice, RecLenNotice::None);
        const std::string built = EntryToRecord(maija, recLen, warning, &notice);
        EXPECT_EQ(notice, first);
        EXPECT_EQ(warning, 0);
        EXPECT_EQ(built.substr(0, alphaLen), alpha);
        EXPECT_EQ(bytesToHex(built.substr(alphaLen)), "0791" "5340123456F7FFFFFFFF" "FFFF");
        EntryToRecord(maija, recLen, warning, &notice);
        EXPECT_EQ(notice, RecLenNotice::None);  // warned once
    }
    EXPECT_EQ(recLenWarningText(RecLenNotice::Larger),
              "\r\nWarning ! Destination records larger than source records \r\n"
              "          Record length will be automatically adjusted \r\n");
    EXPECT_EQ(recLenWarningText(RecLenNotice::Shorter),
              "\r\nWarning ! Destination records shorter than source records \r\n"
              "          Names will be truncated to maximum available space \r\n");
    EXPECT_EQ(recLenWarningText(RecLenNotice::None), "");
}

}  // namespace
}  // namespace puolukka
