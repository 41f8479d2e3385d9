// The card's side of T=0 and GSM 11.11, driven through the reader as the program drives it.
#include <gtest/gtest.h>

#include "card_fixture.h"
#include "t0_driver.h"

namespace puolukka::test {
namespace {

std::string hex(const std::string& bytes)
{
    return sim::toHex(bytes);
}

class SimCardTest : public ::testing::Test {
protected:
    explicit SimCardTest(CardOptions options = {}) : f(options), d(f.port, f.clock) {}
    void toAdn()
    {
        ASSERT_EQ(d.select("7F10"), "9F16");
        ASSERT_EQ(d.select("6F3A"), "9F0F");
    }
    CardFixture f;
    T0Driver d;
};

TEST_F(SimCardTest, SelectAnswersWithTheDescriptionLength)
{
    // Header chunk: echo and the procedure byte A4; data chunk: echo and 9F xx.
    auto a = d.command("A0A4000002", "3F00");
    EXPECT_EQ(hex(a.headerChunk), "A0A4000002A4");
    EXPECT_EQ(hex(a.dataChunk), "3F009F16");
    EXPECT_EQ(d.select("7F10"), "9F16");
    EXPECT_EQ(d.select("6F3A"), "9F0F");
    EXPECT_EQ(f.card().currentFileId(), 0x6F3A);
    EXPECT_EQ(f.card().currentDirectoryId(), 0x7F10);
}

TEST_F(SimCardTest, SelectionFollowsTheRulesOfTheFileTree)
{
    struct Step {
        const char* id;
        const char* sw;
    };
    // From the MF: ADN is not a child; DF TELECOM is. From TELECOM: its EFs, the sibling DF GSM,
    // the parent MF. From GSM: an EF of TELECOM is out of reach, ICCID (child of the MF) too.
    const Step steps[] = {{"6F3A", "9404"}, {"7F10", "9F16"}, {"6F3A", "9F0F"}, {"6F07", "9404"},
                          {"7F20", "9F16"}, {"6F07", "9F0F"}, {"6F3A", "9404"}, {"2FE2", "9404"},
                          {"7F20", "9F16"}, {"3F00", "9F16"}, {"2FE2", "9F0F"}, {"7F21", "9404"}};
    int n = 0;
    for (const Step& s : steps) {
        EXPECT_EQ(d.select(s.id), s.sw) << "step " << n << " select " << s.id;
        ++n;
    }
}

TEST_F(SimCardTest, DirectoryDescriptionByteByByte)
{
    ASSERT_EQ(d.select("3F00"), "9F16");
    auto a = d.command("A0C0000016", {}, 100);
    EXPECT_EQ(hex(a.procedure), "C0");
    EXPECT_EQ(a.sw, "9000");
    // RFU, free memory (16384 minus the 5641 bytes of all EFs), id, type MF, RFU x5,
    // 9 GSM bytes follow, characteristics 03 (CHV1 enabled: b8 clear), 2 DFs, 1 EF,
    // 4 codes, RFU, CHV1 83, UNBLOCK1 8A, CHV2 83, UNBLOCK2 8A.
    EXPECT_EQ(hex(a.data), "000029F73F0001000000000009030201040083" "8A838A");

    ASSERT_EQ(d.select("7F10"), "9F16");
    a = d.command("A0C0000016");
    EXPECT_EQ(hex(a.data), "000000007F100200000000000903000A040083" "8A838A");
}

TEST_F(SimCardTest, ElementaryFileDescriptionByteByByte)
{
    toAdn();
    auto a = d.command("A0C000000F");
    // Size 2800 = 0AF0, 6F3A, EF, RFU, READ/UPDATE CHV1, INCREASE never, REHABILITATE and
    // INVALIDATE CHV2, not invalidated, 2 bytes follow, linear fixed, 28-byte records.
    EXPECT_EQ(hex(a.data), "00000AF06F3A040011F022010201" "1C");
    ASSERT_EQ(d.select("7F20"), "9F16");
    ASSERT_EQ(d.select("6F07"), "9F0F");
    EXPECT_EQ(hex(d.command("A0C000000F").data), "000000096F07040014F044010200" "00");
    ASSERT_EQ(d.select("7F10"), "9F16");
    ASSERT_EQ(d.select("6F44"), "9F0F");  // LND, cyclic
    EXPECT_EQ(hex(d.command("A0C000000F").data).substr(26), "031C");
}

TEST_F(SimCardTest, GetResponseLengthMustFit)
{
    ASSERT_EQ(d.select("3F00"), "9F16");
    EXPECT_EQ(d.command("A0C0000017").sw, "6716");  // one byte more than the card holds
    EXPECT_EQ(hex(d.command("A0C0000004").data), "000029F7");  // a shorter read is allowed
    EXPECT_EQ(d.command("A0C0010016").sw, "6B00");
}

TEST_F(SimCardTest, HeaderFaultsAreAnsweredRightAfterTheHeader)
{
    struct Case {
        const char* header;
        const char* answer;  // everything after the echo
    };
    const Case cases[] = {
        {"A1A4000002", "6E00"},  // wrong class
        {"A0FF000000", "6D00"},  // unknown instruction
        {"A0A4000003", "6702"},  // SELECT takes 2 bytes
        {"A0A4010002", "6B00"},  // SELECT has no P1/P2 options
        {"A020000104", "6708"},  // VERIFY takes 8 bytes
        {"A020000308", "6B00"},  // no CHV3
        {"A02C000110", "6B00"},  // UNBLOCK CHV1 is P2 00 in GSM
        {"A0B0000001", "9400"},  // no EF selected
        {"A0B201041C", "9400"},
    };
    for (const Case& c : cases) {
        std::string chunk = d.exchange(c.header);
        EXPECT_EQ(hex(chunk.substr(5)), c.answer) << c.header;
        EXPECT_FALSE(f.card().commandPending()) << c.header;
    }
}

TEST_F(SimCardTest, RecordsNeedChv1AndVerifyOpensThem)
{
    toAdn();
    EXPECT_EQ(hex(d.exchange("A0B201041C").substr(5)), "9804");
    EXPECT_EQ(d.verifyChv1("1234"), "9000");
    auto a = d.command("A0B201041C", {}, 100);
    EXPECT_EQ(a.sw, "9000");
    EXPECT_EQ(a.data, f.adnRecord(1));
    EXPECT_EQ(a.data.substr(0, 13), "Aino Virtanen");
    // Length 6 (TON + 5 BCD bytes), TON 81, 0401234567 with the low nibble first.
    EXPECT_EQ(hex(a.data.substr(14)), "0681" "4010325476FFFFFFFFFFFFFF");
    EXPECT_EQ(d.command("A0B203041C").data, std::string(28, '\xFF'));  // an empty record
    EXPECT_EQ(d.command("A0B264041C").sw, "9000");                      // record 100
    EXPECT_EQ(hex(d.exchange("A0B265041C").substr(5)), "9402");         // record 101
    EXPECT_EQ(hex(d.exchange("A0B201041D").substr(5)), "671C");         // wrong length
    EXPECT_EQ(hex(d.exchange("A0B201051C").substr(5)), "6B00");         // no such mode
    EXPECT_EQ(hex(d.exchange("A0B0000001").substr(5)), "9408");         // not transparent
}

TEST_F(SimCardTest, NextAndPreviousWalkTheRecords)
{
    toAdn();
    ASSERT_EQ(d.verifyChv1("1234"), "9000");
    EXPECT_EQ(d.command("A0B200021C").data, f.adnRecord(1));  // no current record: next is the first
    EXPECT_EQ(d.command("A0B200021C").data, f.adnRecord(2));
    EXPECT_EQ(d.command("A0B200041C").data, f.adnRecord(2));  // current
    EXPECT_EQ(d.command("A0B200031C").data, f.adnRecord(1));
    EXPECT_EQ(d.command("A0B200031C").sw, "9402");  // nothing before the first
}

TEST_F(SimCardTest, WrongCodesCountDownAndBlock)
{
    EXPECT_EQ(d.verifyChv1("1111"), "9804");
    EXPECT_EQ(d.verifyChv1("2222"), "9804");
    EXPECT_EQ(f.card().description().chv1.attemptsLeft, 1);
    EXPECT_EQ(d.verifyChv1("1234"), "9000");  // the right code restores the counter
    EXPECT_EQ(f.card().description().chv1.attemptsLeft, 3);

    for (int i = 0; i < 2; ++i) EXPECT_EQ(d.verifyChv1("0000"), "9804");
    EXPECT_EQ(d.verifyChv1("0000"), "9840");  // third wrong code blocks
    EXPECT_EQ(d.verifyChv1("1234"), "9840");  // and even the right one is refused now
    ASSERT_EQ(d.select("3F00"), "9F16");
    EXPECT_EQ(hex(d.command("A0C0000016").data.substr(18, 1)), "80");  // CHV1 status: 0 attempts

    // PUK1 wrong once, then right with a new PIN1.
    EXPECT_EQ(d.command("A02C000010", T0Driver::codeHex("11111111") + T0Driver::codeHex("4321")).sw, "9804");
    EXPECT_EQ(f.card().description().unblockChv1.attemptsLeft, 9);
    EXPECT_EQ(d.command("A02C000010", T0Driver::codeHex("12345678") + T0Driver::codeHex("4321")).sw, "9000");
    EXPECT_EQ(f.card().description().unblockChv1.attemptsLeft, 10);
    EXPECT_EQ(f.card().description().chv1.attemptsLeft, 3);
    EXPECT_EQ(d.verifyChv1("1234"), "9804");
    EXPECT_EQ(d.verifyChv1("4321"), "9000");
}

TEST_F(SimCardTest, TenWrongUnblockCodesBlockTheUnblockCode)
{
    std::string data = T0Driver::codeHex("00000000") + T0Driver::codeHex("9999");
    for (int i = 0; i < 9; ++i) ASSERT_EQ(d.command("A02C000210", data).sw, "9804");
    EXPECT_EQ(d.command("A02C000210", data).sw, "9840");
    EXPECT_EQ(d.command("A02C000210", T0Driver::codeHex("87654321") + T0Driver::codeHex("9999")).sw, "9840");
    EXPECT_EQ(d.command("A020000208", T0Driver::codeHex("5678")).sw, "9000");  // CHV2 itself untouched
}

TEST_F(SimCardTest, UpdateRecordWritesAndIsRefusedAtOnceWithoutChv1)
{
    toAdn();
    // Refused right after the header: no procedure byte, the card waits for a new header.
    EXPECT_EQ(hex(d.exchange("A0DC01041C").substr(5)), "9804");
    EXPECT_FALSE(f.card().commandPending());

    ASSERT_EQ(d.verifyChv1("1234"), "9000");
    std::string record = "Uusi nimi" + std::string(5, '\xFF') + std::string("\x03\x81\x21\xF3", 4) +
                         std::string(10, '\xFF');
    auto a = d.command("A0DC07041C", hex(record), 80);
    EXPECT_EQ(hex(a.procedure), "DC");
    EXPECT_EQ(a.sw, "9000");
    EXPECT_EQ(f.adnRecord(7), record);
    EXPECT_EQ(d.command("A0B207041C").data, record);
    EXPECT_EQ(hex(d.exchange("A0DC00041C").substr(5)), "9402");  // no current record
}

TEST_F(SimCardTest, AccessConditionsOfOtherFiles)
{
    ASSERT_EQ(d.verifyChv1("1234"), "9000");
    ASSERT_EQ(d.select("7F10"), "9F16");
    ASSERT_EQ(d.select("6F3B"), "9F0F");  // FDN: update needs CHV2
    EXPECT_EQ(hex(d.exchange("A0DC01041C").substr(5)), "9804");
    ASSERT_EQ(d.command("A020000208", T0Driver::codeHex("5678")).sw, "9000");
    EXPECT_EQ(d.command("A0DC01041C", std::string(56, 'F')).sw, "9000");
    ASSERT_EQ(d.select("7F20"), "9F16");
    ASSERT_EQ(d.select("6F07"), "9F0F");  // IMSI: update is administrative
    EXPECT_EQ(hex(d.exchange("A0D6000001").substr(5)), "9804");
}

TEST_F(SimCardTest, TransparentFilesReadAndUpdate)
{
    ASSERT_EQ(d.select("2FE2"), "9F0F");  // ICCID is readable always
    auto a = d.command("A0B000000A");
    EXPECT_EQ(a.sw, "9000");
    EXPECT_EQ(a.data, f.card().binary(0x2FE2));
    EXPECT_EQ(hex(d.command("A0B0000802").data), "21F3");      // offset 8
    EXPECT_EQ(hex(d.exchange("A0B0000A01").substr(5)), "9402");  // offset past the end
    EXPECT_EQ(hex(d.exchange("A0B0000804").substr(5)), "6702");  // only two bytes left
    EXPECT_EQ(hex(d.exchange("A0B201040A").substr(5)), "9408");  // not a record file

    ASSERT_EQ(d.select("7F20"), "9F16");
    ASSERT_EQ(d.select("6F7E"), "9F0F");  // LOCI needs CHV1 both ways
    EXPECT_EQ(hex(d.exchange("A0B000000B").substr(5)), "9804");
    ASSERT_EQ(d.verifyChv1("1234"), "9000");
    EXPECT_EQ(d.command("A0D6000402", "1234").sw, "9000");
    EXPECT_EQ(hex(f.card().binary(0x6F7E).substr(4, 2)), "1234");
}

TEST_F(SimCardTest, ResetForgetsVerificationAndReturnsToMf)
{
    toAdn();
    ASSERT_EQ(d.verifyChv1("1234"), "9000");
    EXPECT_EQ(hex(d.resetByRts()), "3B1611800147534D31");
    EXPECT_FALSE(f.card().chv1Verified());
    EXPECT_EQ(f.card().currentDirectoryId(), 0x3F00);
    EXPECT_EQ(d.select("6F3A"), "9404");
}

TEST_F(SimCardTest, TraceRecordsCommandsAndAnswers)
{
    d.resetByRts();
    d.select("3F00");
    const auto& t = f.port.trace();
    ASSERT_EQ(t.size(), 2u);
    EXPECT_EQ(t[0].kind, sim::TraceEntry::Kind::Atr);
    EXPECT_EQ(hex(t[1].command), "A0A40000023F00");
    EXPECT_EQ(hex(t[1].answer), "A49F16");
    EXPECT_EQ(t[1].statusWord(), "9F16");
    f.port.clearTrace();
    EXPECT_TRUE(f.port.trace().empty());
}

TEST_F(SimCardTest, ChangeDisableAndStatus)
{
    // CHANGE CHV1: old code then new code, 8 bytes each.
    EXPECT_EQ(d.command("A024000110", T0Driver::codeHex("1234") + T0Driver::codeHex("2468")).sw, "9000");
    EXPECT_EQ(f.card().description().chv1.code, "2468");
    EXPECT_EQ(d.verifyChv1("1234"), "9804");
    // DISABLE CHV1 with the code; disabling again contradicts the state.
    EXPECT_EQ(d.command("A026000108", T0Driver::codeHex("2468")).sw, "9000");
    EXPECT_FALSE(f.card().description().chv1Enabled);
    EXPECT_EQ(d.command("A026000108", T0Driver::codeHex("2468")).sw, "9808");
    // STATUS: the current directory's description.
    ASSERT_EQ(d.select("7F20"), "9F16");
    auto a = d.command("A0F2000016");
    EXPECT_EQ(hex(a.data.substr(4, 2)), "7F20");
    EXPECT_EQ(hex(a.data.substr(13, 1)), "83");
    EXPECT_EQ(d.command("A0F2000017").sw, "6716");
}

TEST_F(SimCardTest, CyclicFileTakesUpdatesAsTheNewestRecord)
{
    ASSERT_EQ(d.verifyChv1("1234"), "9000");
    ASSERT_EQ(d.select("7F10"), "9F16");
    ASSERT_EQ(d.select("6F44"), "9F0F");  // LND, 5 records
    std::string first(28, '\x11'), second(28, '\x22');
    EXPECT_EQ(hex(d.exchange("A0DC01041C").substr(5)), "6B00");  // only PREVIOUS for a cyclic file
    EXPECT_EQ(d.command("A0DC00031C", hex(first)).sw, "9000");
    EXPECT_EQ(d.command("A0DC00031C", hex(second)).sw, "9000");
    EXPECT_EQ(d.command("A0B201041C").data, second);
    EXPECT_EQ(d.command("A0B202041C").data, first);
}

class Chv1DisabledTest : public SimCardTest {
protected:
    Chv1DisabledTest() : SimCardTest(CardOptions{.pin1Enabled = false}) {}
};

TEST_F(Chv1DisabledTest, RecordsOpenAndVerifyContradictsTheState)
{
    ASSERT_EQ(d.select("3F00"), "9F16");
    EXPECT_EQ(hex(d.command("A0C0000016").data.substr(13, 1)), "83");  // b8: CHV1 disabled
    toAdn();
    EXPECT_EQ(d.command("A0B201041C").sw, "9000");
    EXPECT_EQ(d.verifyChv1("1234"), "9808");
    EXPECT_EQ(f.card().description().chv1.attemptsLeft, 3);
    EXPECT_EQ(d.command("A028000108", T0Driver::codeHex("1111")).sw, "9804");  // ENABLE with a wrong code
    EXPECT_EQ(d.command("A028000108", T0Driver::codeHex("1234")).sw, "9000");
    EXPECT_TRUE(f.card().description().chv1Enabled);
    EXPECT_EQ(d.command("A0B201041C").sw, "9804");
}

}  // namespace
}  // namespace puolukka::test
