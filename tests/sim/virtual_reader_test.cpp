// The reader on the line: echo, timing, reset lines, carrier detect, parity and convention, events.
#include "t0_driver.h"

namespace puolukka::test {
namespace {

const std::string kAtr = "3B1611800147534D31";

TEST(LineTiming, EveryByteTakesTwelveBitTimesAndTheEchoComesFirst)
{
    CardFixture f;
    ASSERT_EQ(f.port.characterTimeUs(), 1250);
    f.port.output(bytesOf("A0A4000002"));
    // Echo bytes end at 1.25, 2.5, 3.75, 5, 6.25 ms; the card thinks 1 ms and its procedure byte ends at 8.5 ms.
    for (const auto& [atUs, count] : {std::pair{6249, 4}, {6250, 5}, {8499, 5}, {8500, 6}}) {
        f.clock.advanceUs(atUs - f.clock.nowUs());
        EXPECT_EQ(f.port.inBufferCount(), count) << atUs;
    }
    EXPECT_EQ(hex(f.port.input()), "A0A4000002A4");
}

TEST(LineTiming, LateBytesComeLaterAndNothingIsLost)
{
    CardFixture f;
    T0Driver d(f.port, f.clock);
    runScript(f, d, {verify("01", "1234", "9000"), select("7F10", "9F16"), select("6F3A", "9F0F")});
    // READ RECORD: 5 echo + procedure + 28 data + 2 status = 36 bytes; the procedure byte
    // ends at 6.25 + 1 + 1.25 = 8.5 ms after the write, the last status byte 30 x 1.25 ms later.
    const std::int64_t start = f.clock.nowUs();
    f.port.output(bytesOf("A0B201041C"));
    f.clock.sleepMs(20);
    const std::string first = f.port.input();
    EXPECT_EQ(first.size(), 5u + 1u + 9u);  // card bytes ending at 8.5, 9.75, ... 18.5 ms
    f.clock.advanceUs(start + 46000 - f.clock.nowUs());
    const std::string all = first + f.port.input();
    EXPECT_EQ(all.size(), 36u);
    EXPECT_EQ(all.substr(6, 28), f.adnRecord(1));
    EXPECT_EQ(hex(all.substr(34)), "9000");
}

TEST(ResetLines, ReleasingResetSendsTheAtr)
{
    CardFixture f;
    f.port.setRTSEnable(true);
    EXPECT_TRUE(f.port.resetAsserted());
    f.clock.sleepMs(250);
    f.port.setRTSEnable(false);
    f.clock.advanceUs(2000 + 1250 * 9 - 1);  // 2 ms after release, then 9 bytes of 1.25 ms
    EXPECT_EQ(f.port.inBufferCount(), 8);
    f.clock.advanceUs(1);
    EXPECT_EQ(hex(f.port.input()), kAtr);
}

TEST(CarrierDetect, RemovedCardAnswersNothingButTheEcho)
{
    CardFixture f;
    T0Driver d(f.port, f.clock);
    f.port.removeCard();
    EXPECT_FALSE(f.port.cdHolding());
    EXPECT_EQ(f.port.pollEvents(), std::vector<int>{comm_event::Cd});
    EXPECT_EQ(hex(d.exchange("A0A4000002")), "A0A4000002");
    EXPECT_EQ(hex(d.resetByRts()), "");
    f.port.insertCard();
    EXPECT_TRUE(f.port.cdHolding());
    EXPECT_EQ(f.port.pollEvents(), std::vector<int>{comm_event::Cd});
    EXPECT_EQ(d.command("A0A4000002", "3F00").sw, "9F16");
}

TEST(Convention, InverseCardThroughEvenParityRaisesParityErrors)
{
    CardFixture f(CardOptions{.inverse = true});
    T0Driver d(f.port, f.clock);
    EXPECT_EQ(d.resetByRts(), std::string(9, '?'));  // every card byte replaced by ParityReplace
    EXPECT_EQ(f.port.pollEvents(), std::vector<int>{comm_event::RxParity});  // the bytes were already read
}

TEST(Convention, InverseCardThroughOddParityIsUnderstoodBothWays)
{
    CardFixture f(CardOptions{.inverse = true});
    T0Driver d(f.port, f.clock);
    ASSERT_TRUE(f.port.setPortOpen(false) && f.port.setSettings("9600,O,8,1") && f.port.setPortOpen(true));
    const std::string raw = d.resetByRts();
    EXPECT_EQ(hex(raw.substr(0, 1)), "03");
    d.inverse = true;  // as the program does under inverse convention
    EXPECT_EQ(d.resetByRts(), bytesOf("3F1611800147534D31"));
    EXPECT_TRUE(f.port.pollEvents().empty());
    EXPECT_EQ(d.command("A0A4000002", "3F00").sw, "9F16");
    EXPECT_EQ(hex(f.port.trace().back().command), "A0A40000023F00");
    EXPECT_EQ(d.command("A020000108", T0Driver::codeHex("1234")).sw, "9000");
    d.inverse = false;  // untransformed bytes reach the card as other bytes
    EXPECT_EQ(hex(d.exchange("A0A4000002").substr(5)), "89FF");  // 6E 00 as sent by an inverse card
    EXPECT_EQ(hex(f.port.trace().back().command), "FADAFFFFBF");
    EXPECT_EQ(f.port.trace().back().statusWord(), "6E00");
    EXPECT_TRUE(f.port.pollEvents().empty());
}

}  // namespace
}  // namespace puolukka::test
