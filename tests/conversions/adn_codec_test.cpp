#include <gtest/gtest.h>

#include "conversions/adn_codec.h"
#include "conversions/conversions.h"

namespace puolukka {
namespace {

const std::string kOk = HexToBytes("9000");

std::string ff(std::size_t n)
{
    return std::string(n, '\xFF');
}

// Encodes with a fresh write's warning flag; the notice is returned through *notice.
std::string encode(const std::string& entry, int recLen, RecLenNotice* notice = nullptr)
{
    int warning = 1;
    return EntryToRecord(entry, recLen, warning, notice);
}

TEST(RecordToEntry, DecodesTheTwentyByteExample)
{
    const std::string record = HexToBytes("4142FFFFFFFF059121436587FFFFFFFFFFFFFFFF");
    ASSERT_EQ(record.size(), 20u);
    EXPECT_EQ(RecordToEntry(record + kOk), "AB" + ff(4) + "/91/+12345678");
}

// A record from its fields as hex: the number field is padded with F to its 10 bytes.
std::string record(const std::string& alphaHex, const std::string& lengthHex, const std::string& tonHex,
                   std::string numberHex)
{
    numberHex.resize(20, 'F');
    return HexToBytes(alphaHex + lengthHex + tonHex + numberHex + "FFFF");
}

TEST(RecordToEntry, TableOfRecords)
{
    struct Row {
        const char* what;
        std::string record;
        std::string entry;
    };
    const Row rows[] = {
        {"all FF", ff(28), ff(14) + "/FF/"},
        {"national number, no plus", record("4A4B", "04", "81", "214365"), "JK/81/123456"},
        {"TON 90 gets a plus", record("41", "03", "90", "2143"), "A/90/+1234"},
        {"odd digit count", record("41", "04", "91", "2143F5"), "A/91/+12345"},
        {"BCD A-E shown as letters", record("41", "03", "A1", "BACB"), "A/A1/ABBC"},
        {"single-digit TON", record("41", "02", "05", "21"), "A/5/12"},
        {"length byte 0", record("41", "00", "81", "2143"), "A/81/"},
        {"digits after an F are dropped", record("41", "04", "81", "21F365"), "A/81/123"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(RecordToEntry(row.record + kOk), row.entry) << row.what;
}

TEST(RecordToEntry, FullTwentyDigitNumberStopsAtTheNumberField)
{
    // 20 digits fill all 10 number bytes; the length byte says 11.
    const std::string full = "41" "0B" "81" "21436587092143658709" "FFFF";
    EXPECT_EQ(RecordToEntry(HexToBytes(full) + kOk), "A/81/12345678901234567890");
    // Capability and extension bytes that are not FF stay out of the number, and so
    // does the status word when the length byte is larger than the field.
    const std::string busy = "41" "0B" "81" "21436587092143658709" "0102";
    EXPECT_EQ(RecordToEntry(HexToBytes(busy) + kOk), "A/81/12345678901234567890");
    const std::string wild = "41" "FE" "81" "21436587092143658709" "1234";
    EXPECT_EQ(RecordToEntry(HexToBytes(wild) + kOk), "A/81/12345678901234567890");
}

TEST(RecordToEntry, TooShortAnswerIsLeftAsItArrived)
{
    const std::string shortAnswer = HexToBytes("A0B2010415") + kOk;
    EXPECT_EQ(RecordToEntry(shortAnswer), shortAnswer);
    EXPECT_EQ(RecordToEntry(""), "");
}

TEST(EntryToRecord, OddDigitCountAndPlus)
{
    const std::string record = encode("AB" + ff(4) + "/91/+12345", 20);
    EXPECT_EQ(bytesToHex(record), "4142FFFFFFFF" "04" "91" "2143F5" "FFFFFFFFFFFFFF" "FFFF");
}

TEST(EntryToRecord, EmptyNumberWithTonGivesLengthOne)
{
    EXPECT_EQ(bytesToHex(encode("Pekka/81/", 19)), "50656B6B61" "01" "81" + std::string(24, 'F'));
    EXPECT_EQ(bytesToHex(encode("Pekka/81", 19)), "50656B6B61" "01" "81" + std::string(24, 'F'));
}

TEST(EntryToRecord, TonFFGivesAnEmptyRecordWhateverTheName)
{
    int warning = 1;
    RecLenNotice notice = RecLenNotice::Larger;
    EXPECT_EQ(EntryToRecord("Somebody/FF/12345", 28, warning, &notice), ff(28));
    EXPECT_EQ(warning, 1);  // an empty entry does not decide the warning
    EXPECT_EQ(notice, RecLenNotice::None);
    EXPECT_EQ(encode(ff(14) + "/FF/", 28), ff(28));
}

TEST(EntryToRecord, TonTextIsHex)
{
    EXPECT_EQ(encode("A/A1/12", 15).substr(1, 2), "\x02\xA1");
    // A single-digit TON as RecordToEntry writes it keeps its value (05, not 50).
    EXPECT_EQ(encode("A/5/12", 15).substr(1, 2), std::string("\x02\x05", 2));
}

TEST(EntryToRecord, StarAndHashBecomeBcdAAndB)
{
    EXPECT_EQ(bytesToHex(encode("A/81/*21#", 15)), "41" "03" "81" "2AB1" + std::string(20, 'F'));
}

TEST(EntryToRecord, LongNumbersAreCutToTheRecord)
{
    const std::string record = encode("A/81/1234567890123456789012345", 28);
    ASSERT_EQ(record.size(), 28u);
    EXPECT_EQ(bytesToHex(record.substr(14)), "0B" "81" "21436587092143658709" "FFFF");
    EXPECT_EQ(RecordToEntry(record + kOk), "A" + ff(13) + "/81/12345678901234567890");
}

TEST(EntryToRecord, EntryWithoutSeparatorsKeepsItsName)
{
    const std::string record = encode("Just a name", 28);
    ASSERT_EQ(record.size(), 28u);
    EXPECT_EQ(record.substr(0, 14), "Just a name" + ff(3));
    EXPECT_EQ(record[14], '\x01');  // no number
}

TEST(EntryToRecord, RoundTripOfTwentyEightByteRecords)
{
    const std::string records[] = {
        HexToBytes("4D61696A61FFFFFFFFFFFFFFFFFF" "07" "91" "5340123456F7FFFFFFFF" "FFFF"),
        HexToBytes("4B6F746960FFFFFFFFFFFFFFFFFF" "06" "81" "0940123456FFFFFFFFFF" "FFFF"),
        HexToBytes("FFFFFFFFFFFFFFFFFFFFFFFFFFFF" "FF" "FF" "FFFFFFFFFFFFFFFFFFFF" "FFFF"),
        HexToBytes("546F696D69737461FFFFFFFFFFFF" "02" "A1" "12FFFFFFFFFFFFFFFFFF" "FFFF"),
        HexToBytes("E4F6C5FFFFFFFFFFFFFFFFFFFFFF" "01" "80" "FFFFFFFFFFFFFFFFFFFF" "FFFF"),
        HexToBytes("41424344454647484950515253FF" "0B" "91" "21436587092143658709" "FFFF"),
    };
    int warning = 1;
    for (const auto& record : records) {
        ASSERT_EQ(record.size(), 28u);
        RecLenNotice notice = RecLenNotice::None;
        const std::string entry = RecordToEntry(record + kOk);
        EXPECT_EQ(bytesToHex(EntryToRecord(entry, 28, warning, &notice)), bytesToHex(record)) << entry;
        EXPECT_EQ(notice, RecLenNotice::None);
    }
    EXPECT_EQ(warning, 0);
}

TEST(EntryToRecord, RecordLengthChangeWarnsOnce)
{
    const std::string entries[] = {
        RecordToEntry(HexToBytes("4D61696A61FFFFFFFFFFFFFFFFFF" "07" "91" "5340123456F7FFFFFFFF" "FFFF") + kOk),
        RecordToEntry(HexToBytes("4B6F746960FFFFFFFFFFFFFFFFFF" "06" "81" "0940123456FFFFFFFFFF" "FFFF") + kOk),
    };
    struct Case {
        int recLen;
        RecLenNotice first;
        std::string alpha;
    } cases[] = {{30, RecLenNotice::Larger, "Maija" + ff(11)}, {26, RecLenNotice::Shorter, "Maija" + ff(7)}};
    for (const auto& c : cases) {
        int warning = 1;
        std::vector<RecLenNotice> notices;
        std::vector<std::string> built;
        for (const auto& entry : entries) {
            RecLenNotice notice = RecLenNotice::None;
            built.push_back(EntryToRecord(entry, c.recLen, warning, &notice));
            notices.push_back(notice);
        }
        EXPECT_EQ(notices, (std::vector<RecLenNotice>{c.first, RecLenNotice::None})) << c.recLen;
        EXPECT_EQ(built[0].size(), std::size_t(c.recLen));
        EXPECT_EQ(built[0].substr(0, std::size_t(c.recLen) - 14), c.alpha);
        EXPECT_EQ(bytesToHex(built[0].substr(std::size_t(c.recLen) - 14)), "0791" "5340123456F7FFFFFFFF" "FFFF");
        EXPECT_EQ(warning, 0);
    }
}

TEST(EntryToRecord, FirstEntryWithMatchingLengthSilencesTheWarning)
{
    int warning = 1;
    RecLenNotice notice = RecLenNotice::None;
    EntryToRecord("ABCDEFGHIJKLMN/81/1", 28, warning, &notice);
    EXPECT_EQ(warning, 0);
    EntryToRecord("A/81/1", 28, warning, &notice);
    EXPECT_EQ(notice, RecLenNotice::None);
}

TEST(RecLenWarningText, HasTheTwoLines)
{
    EXPECT_EQ(recLenWarningText(RecLenNotice::Larger),
              "\r\nWarning ! Destination records larger than source records \r\n"
              "          Record length will be automatically adjusted \r\n");
    EXPECT_EQ(recLenWarningText(RecLenNotice::Shorter),
              "\r\nWarning ! Destination records shorter than source records \r\n"
              "          Names will be truncated to maximum available space \r\n");
    EXPECT_EQ(recLenWarningText(RecLenNotice::None), "");
}

TEST(TonText, HasNoLeadingZero)
{
    EXPECT_EQ(tonText(0x05), "5");
    EXPECT_EQ(tonText(0x00), "0");
    EXPECT_EQ(tonText(0x91), "91");
    EXPECT_EQ(tonText(0xFF), "FF");
}

}  // namespace
}  // namespace puolukka
