// The card's side of T=0 and GSM 11.11, driven through the reader as the program drives it.
#include "t0_driver.h"

namespace puolukka::test {
namespace {

const std::string kFF = "FFFFFFFFFFFFFF";
const std::string kRecord1 = "41696E6F2056697274616E656E" "FF" "0681" "4010325476" + kFF;  // Aino Virtanen 0401234567
const std::string kRecord2 = "4D61747469204B6F72686F6E656E" "07" "91" "535810325476" "FFFFFFFFFFFF";

struct Card {
    CardFixture f;
    T0Driver d{f.port, f.clock};
};

TEST(SimCard, HeaderFaultsSelectionAndDescriptionsByteByByte)
{
    Card c;
    EXPECT_EQ(hex(c.d.exchange("A0A4000002")), "A0A4000002A4");  // echo, procedure byte
    EXPECT_EQ(hex(c.d.exchange("3F00")), "3F009F16");          // echo, 9F and the description's length
    runScript(c.f, c.d, {
        // Wrong class, unknown instruction, SELECT's length and P1; VERIFY's length, no CHV3, UNBLOCK P2.
        {"A1A4000002", "", "6E00"}, {"A0FF000000", "", "6D00"}, {"A0A4000003", "", "6702"}, {"A0A4010002", "", "6B00"},
        {"A020000104", "", "6708"}, {"A020000308", "", "6B00"}, {"A02C000110", "", "6B00"},
        {"A0B0000001", "", "9400"}, {"A0B201041C", "", "9400"},
        // Only children, siblings and the parent are in reach.
        select("6F3A", "9404"), select("7F10", "9F16"), select("6F3A", "9F0F"), select("6F07", "9404"),
        select("7F20", "9F16"), select("6F07", "9F0F"), select("6F3A", "9404"), select("2FE2", "9404"),
        select("7F20", "9F16"), select("3F00", "9F16"), select("2FE2", "9F0F"), select("7F21", "9404"),
        // Free memory 16384 - 5641, characteristics 03 (CHV1 enabled), 2 DFs, 1 EF, 4 codes, their states.
        select("3F00", "9F16"), {"A0C0000016", "", "9000", "000029F73F0001000000000009030201040083" "8A838A"},
        {"A0C0000017", "", "6716"}, {"A0C0000004", "", "9000", "000029F7"}, {"A0C0010016", "", "6B00"},
        select("7F10", "9F16"), {"A0C0000016", "", "9000", "000000007F100200000000000903000A040083" "8A838A"},
        // ADN: 2800 bytes, READ/UPDATE CHV1, INCREASE never, linear fixed, 28-byte records.
        select("6F3A", "9F0F"), {"A0C000000F", "", "9000", "00000AF06F3A040011F022010201" "1C"},
        select("6F44", "9F0F"), {"A0C000000F", "", "9000", "0000008C6F44040011F022010203" "1C"},  // LND, cyclic
        select("7F20", "9F16"), select("6F07", "9F0F"), {"A0C000000F", "", "9000", "000000096F07040014F044010200" "00"},
        // STATUS: the current directory's description.
        {"A0F2000016", "", "9000", "000000007F200200000000000903000D040083" "8A838A"}, {"A0F2000017", "", "6716"},
    });
}

TEST(SimCard, ReadAndUpdateFollowTheAccessConditions)
{
    Card c;
    const std::string record = "55757369206E696D69FFFFFFFFFF" "038121F3" "FFFFFFFFFFFFFFFFFFFF";  // Uusi nimi, 123
    runScript(c.f, c.d, {
        select("7F20", "9F16"), select("6F7E", "9F0F"), {"A0B000000B", "", "9804"},  // LOCI needs CHV1
        select("7F10", "9F16"), select("6F3A", "9F0F"),
        // Refused right after the header: no procedure byte, the card waits for a new header.
        {"A0B201041C", "", "9804"}, {"A0DC01041C", "", "9804"}, verify("01", "1234", "9000"),
        {"A0B201041C", "", "9000", kRecord1}, {"A0B203041C", "", "9000", std::string(56, 'F')},
        {"A0B264041C", "", "9000"}, {"A0B265041C", "", "9402"},  // records 100 and 101
        {"A0B201041D", "", "671C"}, {"A0B201051C", "", "6B00"}, {"A0B0000001", "", "9408"},  // length, mode, not transparent
        {"A0DC07041C", record, "9000"}, {"A0B207041C", "", "9000", record}, {"A0DC00041C", "", "9402"},  // no current record
        // NEXT, NEXT, CURRENT, PREVIOUS from a fresh selection; nothing before the first.
        select("6F3A", "9F0F"), {"A0B200021C", "", "9000", kRecord1}, {"A0B200021C", "", "9000", kRecord2},
        {"A0B200041C", "", "9000", kRecord2}, {"A0B200031C", "", "9000", kRecord1}, {"A0B200031C", "", "9402"},
        // FDN: update needs CHV2. IMSI: update is administrative.
        select("6F3B", "9F0F"), {"A0DC01041C", "", "9804"}, verify("02", "5678", "9000"),
        {"A0DC01041C", std::string(56, 'F'), "9000"}, select("7F20", "9F16"), select("6F07", "9F0F"), {"A0D6000001", "", "9804"},
        select("6F7E", "9F0F"), {"A0D6000402", "1234", "9000"},
        // ICCID is readable always: from offset 8, past the end, too long.
        select("3F00", "9F16"), select("2FE2", "9F0F"), {"A0B000000A", "", "9000", "985308214365870921F3"},
        {"A0B0000802", "", "9000", "21F3"}, {"A0B0000A01", "", "9402"}, {"A0B0000804", "", "6702"},
    });
    EXPECT_EQ(hex(c.f.adnRecord(7)), record);
    EXPECT_EQ(hex(c.f.card().binary(0x6F7E).substr(4, 2)), "1234");
    // A reset forgets the verification and returns to the MF.
    EXPECT_EQ(hex(c.d.resetByRts()), "3B1611800147534D31");
    EXPECT_FALSE(c.f.card().chv1Verified());
    runScript(c.f, c.d, {select("6F3A", "9404"), select("7F10", "9F16"), select("6F3A", "9F0F"), {"A0B201041C", "", "9804"}});
}

TEST(SimCard, WrongCodesCountDownAndBlockAndUnblockCodesRestore)
{
    Card c;
    const sim::CardDescription& codes = c.f.card().description();
    runScript(c.f, c.d, {verify("01", "1111", "9804"), verify("01", "2222", "9804")});
    EXPECT_EQ(codes.chv1.attemptsLeft, 1);
    runScript(c.f, c.d, {verify("01", "1234", "9000")});  // the right code restores the counter
    EXPECT_EQ(codes.chv1.attemptsLeft, 3);
    runScript(c.f, c.d, {verify("01", "0000", "9804"), verify("01", "0000", "9804"),
                         verify("01", "0000", "9840"), verify("01", "1234", "9840"),  // blocked, even for the right one
                         select("3F00", "9F16"), {"A0C0000016", "", "9000", "000029F73F0001000000000009030201040080" "8A838A"},
                         {"A02C000010", T0Driver::codeHex("11111111") + T0Driver::codeHex("4321"), "9804"}});
    EXPECT_EQ(codes.unblockChv1.attemptsLeft, 9);
    runScript(c.f, c.d, {{"A02C000010", T0Driver::codeHex("12345678") + T0Driver::codeHex("4321"), "9000"}});
    EXPECT_EQ(codes.unblockChv1.attemptsLeft * 10 + codes.chv1.attemptsLeft, 103);
    // The new code counts; ten wrong unblock codes block CHV2's unblock code, but not CHV2 itself.
    const std::string wrongPuk2 = T0Driver::codeHex("00000000") + T0Driver::codeHex("9999");
    runScript(c.f, c.d, {verify("01", "1234", "9804"), verify("01", "4321", "9000")});
    for (int i = 0; i < 9; ++i)
        runScript(c.f, c.d, {{"A02C000210", wrongPuk2, "9804"}});
    runScript(c.f, c.d, {{"A02C000210", wrongPuk2, "9840"},
                         {"A02C000210", T0Driver::codeHex("87654321") + T0Driver::codeHex("9999"), "9840"},
                         verify("02", "5678", "9000"),
                         // CHANGE CHV1: old code then new; DISABLE with the code, and again contradicts the state.
                         {"A024000110", T0Driver::codeHex("4321") + T0Driver::codeHex("2468"), "9000"},
                         verify("01", "4321", "9804"), {"A026000108", T0Driver::codeHex("2468"), "9000"},
                         {"A026000108", T0Driver::codeHex("2468"), "9808"}});
    EXPECT_EQ(codes.chv1.code, "2468");
    EXPECT_FALSE(codes.chv1Enabled);
}

TEST(SimCard, DisabledChv1OpensRecordsUntilEnabled)
{
    Card c{CardFixture(CardOptions{.pin1Enabled = false})};
    runScript(c.f, c.d, {
        select("3F00", "9F16"), {"A0C0000016", "", "9000", "000029F73F0001000000000009830201040083" "8A838A"},  // b8 set
        select("7F10", "9F16"), select("6F3A", "9F0F"), {"A0B201041C", "", "9000"}, verify("01", "1234", "9808"),
    });
    EXPECT_EQ(c.f.card().description().chv1.attemptsLeft, 3);
    runScript(c.f, c.d, {{"A028000108", T0Driver::codeHex("1111"), "9804"}, {"A028000108", T0Driver::codeHex("1234"), "9000"},
                         {"A0B201041C", "", "9804"}});
    EXPECT_TRUE(c.f.card().description().chv1Enabled);
}

}  // namespace
}  // namespace puolukka::test
